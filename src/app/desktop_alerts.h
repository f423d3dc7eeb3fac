// Alerts where the user is: the tray icon, desktop notifications for waves
// that found posts, and the "更多推送" dialog with its stored settings.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

#include "monitor/push_channels.h"
#include "text/text.h"
#include "ui/push_dialog.h"

namespace qnl {

class Application;
class AppTray;
class DesktopNotifier;
class MonitorHost;

class DesktopAlerts : public QObject {
  Q_OBJECT

 public:
  // `settings_path` is the INI file of the push channels.
  DesktopAlerts(Application& app, MonitorHost& host, QString settings_path,
                QObject* parent = nullptr);
  ~DesktopAlerts() override;

  // Menu item "更多推送": the dialog, not modal, one at a time.
  void open_push_dialog();
  // Shows the main window on the article list and reads the post with this
  // address into the reader (when it is still listed).
  void open_post(const Text& url);
  // A wave found posts (newest first): a notification when the pop-up's
  // switch is on, and the tray's count.
  void wave_found_posts(const std::vector<PushPost>& posts, bool popup_on);
  // Tooltip and menu after a change of state.
  void refresh_tray();

  AppTray& tray() { return *tray_; }
  DesktopNotifier& notifier() { return *notifier_; }
  PushDialog* push_dialog() const { return dialog_; }

 private:
  void show_main_window();

  Application& app_;
  MonitorHost& host_;
  QString settings_path_;
  std::unique_ptr<AppTray> tray_;
  std::unique_ptr<DesktopNotifier> notifier_;
  QPointer<PushDialog> dialog_;
};

}  // namespace qnl
