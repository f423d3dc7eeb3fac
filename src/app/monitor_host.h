// The monitor's view of the screen: carries every call of the worker thread
// to the UI thread, in order, without waiting for it.
#pragma once

#include <QIcon>
#include <QObject>
#include <functional>
#include <vector>

#include "monitor/monitor_view.h"
#include "monitor/push_channels.h"

namespace qnl {

class MainWindow;
class ReminderWindow;

class MonitorHost : public MonitorView {
 public:
  MonitorHost(MainWindow& main_window, ReminderWindow& reminder_window);

  void show_status(const Text& text) override;
  void add_article_row(const ArticleRow& row) override;
  void add_reminder_row(const Text& title, const Text& url, const Text& time) override;
  void clear_reminders() override;
  void alert_post(const ArticleRow& row) override;
  void wave_finished(const Configuration& config, HttpConnection* connection) override;

  // The other push channels; their settings may be replaced at any time.
  WaveAlerts& wave_alerts() { return wave_alerts_; }
  // On the UI thread, for a wave that found posts (newest first), with the
  // pop-up switch as it stood. Set before the monitor starts.
  std::function<void(const std::vector<PushPost>& posts, bool popup_on)> on_wave_found_posts;

  // The mark of a special post in the title cell.
  static QIcon special_mark();

 private:
  MainWindow& main_window_;
  ReminderWindow& reminder_window_;
  WaveAlerts wave_alerts_;
};

}  // namespace qnl
