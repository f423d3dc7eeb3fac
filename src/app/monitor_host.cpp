#include "app/monitor_host.h"

#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>

#include "storage/configuration.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/reminder_window.h"

namespace qnl {
namespace {

// Runs `fn` on the thread of `context`; dropped when `context` is gone.
template <typename Fn>
void on_ui(QObject* context, Fn&& fn) {
  QMetaObject::invokeMethod(context, std::forward<Fn>(fn), Qt::QueuedConnection);
}

}  // namespace

MonitorHost::MonitorHost(MainWindow& main_window, ReminderWindow& reminder_window)
    : main_window_(main_window), reminder_window_(reminder_window) {}

QIcon MonitorHost::special_mark() {
  QPixmap mark(14, 14);
  mark.fill(Qt::transparent);
  QPainter painter(&mark);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xFF, 0x50, 0x50));
  painter.drawEllipse(1, 1, 12, 12);
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setPixelSize(10);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(1, 1, 12, 12), Qt::AlignCenter, QStringLiteral("!"));
  return QIcon(mark);
}

void MonitorHost::show_status(const Text& text) {
  on_ui(&main_window_, [w = &main_window_, text] { w->show_status(text); });
}

void MonitorHost::add_article_row(const ArticleRow& row) {
  on_ui(&main_window_, [w = &main_window_, row] {
    auto* item = new QTreeWidgetItem();
    item->setText(0, QString::number(row.rule_id));
    item->setText(1, to_qstring(row.url));
    item->setText(2, to_qstring(row.site));
    item->setText(3, to_qstring(row.title));
    item->setText(4, to_qstring(row.time));
    if (row.special) {
      static const QIcon mark = special_mark();
      item->setIcon(3, mark);
    }
    w->文章列表框->insertTopLevelItem(0, item);
  });
}

void MonitorHost::add_reminder_row(const Text& title, const Text& url, const Text& time) {
  on_ui(&reminder_window_, [w = &reminder_window_, title, url, time] {
    w->add_reminder_row(to_qstring(title), to_qstring(url), to_qstring(time));
  });
}

void MonitorHost::clear_reminders() {
  wave_alerts_.begin_wave();  // the worker empties the reminders as each wave starts
  on_ui(&reminder_window_, [w = &reminder_window_] { w->clear_reminders(); });
}

}  // namespace qnl

namespace qnl {

void MonitorHost::alert_post(const ArticleRow& row) {
  wave_alerts_.add_post({row.title, row.url, row.special});
}

void MonitorHost::wave_finished(const Configuration& config, HttpConnection* connection) {
  std::vector<PushPost> posts = wave_alerts_.wave_posts();
  if (!posts.empty() && on_wave_found_posts) {
    on_ui(&main_window_, [this, posts = std::move(posts), popup = config.tx_tc] {
      on_wave_found_posts(posts, popup);
    });
  }
  const WaveAlerts::Outcome outcome = wave_alerts_.finish_wave(config.tx_onlygz, connection);
  if (!outcome.failed.empty() && !outcome.stopped)
    show_status(failed_channels_status(outcome.failed));
}

}  // namespace qnl
