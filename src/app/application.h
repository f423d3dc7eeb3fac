// The application: the process-wide state, the windows, start-up and layout.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <filesystem>
#include <memory>
#include <vector>

#include "monitor/crawl_rules.h"
#include "monitor/monitor.h"
#include "storage/configuration.h"
#include "storage/database.h"
#include "storage/stored_posts.h"
#include "ui/settings_window.h"
#include "webview/web_view.h"

namespace qnl {

class MainWindow;
class ReminderWindow;
class LoginCentreWindow;
class MonitorHost;
class ReaderHost;
class JdHost;
class DesktopAlerts;

// Everything that lives as long as the process.
struct AppState {
  Database db;
  ConfigStore config;
  RuleGrid rules;
  WebView reader_view;
  WebView login_view;
  StoredPostIndex stored{db};
  int login_mode = 0;  // 0 none, 1 JD web site, 2 JD mobile site
};

// The database file of the program in `program_directory`: in its data/
// directory, or in the user's data directory when the program's own is not
// writable (an installed package); named as the platform names files (UTF-16 on Windows, where
// narrow text would be read in the ANSI code page).
std::filesystem::path database_path(const QString& program_directory);

// How start-up ended. `closed`: the user closed the main window before
// start-up was done.
enum class StartupResult { running, database_missing, database_unopenable, incompatible, closed };

class Application : public QObject {
  Q_OBJECT

 public:
  // `program_directory` holds data/qnl6.sdb (see database_path).
  explicit Application(QString program_directory);
  ~Application() override;

  // Creates and shows the main window and runs the start-up checks. Anything
  // but `running` has already told the user and closed the main window; the
  // process then ends with exit code 0.
  StartupResult start();
  // The main window was closed: the program is ending.
  bool closed() const { return closed_; }

  AppState& state() { return *state_; }
  MainWindow& main_window() { return *main_window_; }
  ReminderWindow& reminder_window() { return *reminder_window_; }
  SettingsWindow* settings_window() const { return settings_window_; }

  void layout_main_window();
  void open_settings_window();
  // Ticks or unticks every plan as the "全选" box stands.
  void select_all();
  // Rule ids of the ticked plans, in tree order. On the window's thread only.
  std::vector<int> ticked_plans();
  // "开始" starts the monitor on the ticked plans, "暂停" stops it.
  void toggle_monitor();
  Monitor* monitor() const { return monitor_.get(); }
  ReaderHost& reader_host() { return *reader_host_; }
  JdHost& jd_host() { return *jd_host_; }
  DesktopAlerts* desktop_alerts() const { return desktop_alerts_.get(); }

 private:
  StartupResult on_main_window_created();
  void fill_plan_tree(const std::vector<Plan>& plans);
  StartupResult fatal(StartupResult result);

  QString program_directory_;
  std::unique_ptr<AppState> state_;
  std::unique_ptr<MainWindow> main_window_;
  std::unique_ptr<ReminderWindow> reminder_window_;
  QPointer<SettingsWindow> settings_window_;
  std::unique_ptr<ReaderHost> reader_host_;
  std::unique_ptr<MonitorHost> monitor_host_;
  std::unique_ptr<JdHost> jd_host_;
  std::unique_ptr<Monitor> monitor_;
  std::unique_ptr<DesktopAlerts> desktop_alerts_;  // tray, notifications, more push channels
  bool web_view_ready_ = false;
  bool in_layout_wait_ = false;
  bool closed_ = false;
};

}  // namespace qnl
