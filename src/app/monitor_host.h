// The monitor's view of the screen: carries every call of the worker thread
// to the UI thread, in order, without waiting for it.
#pragma once

#include <QIcon>
#include <QObject>

#include "monitor/monitor_view.h"

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

  // The mark of a special post in the title cell.
  static QIcon special_mark();

 private:
  MainWindow& main_window_;
  ReminderWindow& reminder_window_;
};

}  // namespace qnl
