// The tray icon: the program's state in its tooltip and a menu to reach the
// main window, start or pause the monitor, and quit. Closing the main window
// still ends the program; the tray only reaches it.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

namespace qnl {

class AppTray : public QObject {
  Q_OBJECT

 public:
  explicit AppTray(QObject* parent = nullptr);

  // Tooltip and the start/pause item for the monitor's state and the number
  // of posts found since the program started.
  void refresh(bool monitoring, int found);
  static QString tooltip_for(bool monitoring, int found);

  QSystemTrayIcon& icon() { return icon_; }
  QMenu& menu() { return menu_; }
  QAction* show_action() const { return show_; }
  QAction* toggle_action() const { return toggle_; }
  QAction* quit_action() const { return quit_; }

  std::function<void()> on_show;
  std::function<void()> on_toggle;
  std::function<void()> on_quit;

 private:
  QSystemTrayIcon icon_;
  QMenu menu_;
  QAction* show_ = nullptr;
  QAction* toggle_ = nullptr;
  QAction* quit_ = nullptr;
};

// The program's small icon, drawn (no picture file is shipped).
QIcon quenlo_icon();

}  // namespace qnl
