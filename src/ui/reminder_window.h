// The reminder window: a small pop-up near the taskbar listing new posts.
#pragma once

#include <QPoint>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "ui_reminder_window.h"

namespace qnl {

// Where the reminder window goes. `taskbar_top` is the top edge of the
// taskbar on a display `screen` high; a taskbar along the bottom leaves
// screen height - taskbar_top <= 200, any other edge has its top at 0.
QPoint reminder_position(QSize screen, int taskbar_top, QSize window);

// Brings `window` back out of minimised, to the state it had before (a
// maximised window stays maximised); any other state is kept.
void restore_from_minimised(QWidget& window);

class ReminderWindow : public QWidget, public Ui::ReminderWindowForm {
  Q_OBJECT

 public:
  explicit ReminderWindow(QWidget* parent = nullptr);

  // Places the window, frame included, from the primary screen and its work
  // area.
  void place_reminder_window();

  // A new post at the top of the list; shows the window when hidden. A
  // visible window keeps its running count-down.
  void add_reminder_row(const QString& title, const QString& url, const QString& time);
  // Empties the list; the window stays as it is.
  void clear_reminders();
  // Counts five seconds down in the caption, then hides the window.
  void start_countdown();

  // Restores the main window when the user clicks a column header.
  std::function<void()> on_show_main_window;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void count_down();
  QTimer countdown_;
  int remaining_ = 0;
  QSize placed_frame_;  // the frame size the placement was computed for
};

}  // namespace qnl
