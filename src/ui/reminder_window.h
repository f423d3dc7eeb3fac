// The reminder window: a small pop-up near the taskbar listing new posts.
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>
#include <functional>

#include "ui_reminder_window.h"

namespace qnl {

// Where the reminder window goes. `taskbar_top` is the top edge of the
// taskbar on a display `screen` high; a taskbar along the bottom leaves
// screen height - taskbar_top <= 200, any other edge has its top at 0.
QPoint reminder_position(QSize screen, int taskbar_top, QSize window);

class ReminderWindow : public QWidget, public Ui::ReminderWindowForm {
  Q_OBJECT

 public:
  explicit ReminderWindow(QWidget* parent = nullptr);

  // Places the window from the primary screen and its work area.
  void place_reminder_window();

  // Restores the main window when the user clicks a column header.
  std::function<void()> on_show_main_window;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace qnl
