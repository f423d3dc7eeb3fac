#include "app/notifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSystemTrayIcon>
#include <QVariantMap>

#include "ui/qt_text.h"

namespace qnl {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

int special_count(const std::vector<PushPost>& posts) {
  int n = 0;
  for (const PushPost& p : posts) n += p.special ? 1 : 0;
  return n;
}

QString plain(const Text& title) {
  QString s = to_qstring(title);
  s.replace(QLatin1Char('&'), QChar(0xFF06));
  s.replace(QLatin1Char('<'), QChar(0xFF1C));
  s.replace(QLatin1Char('>'), QChar(0xFF1E));
  s.replace(QLatin1Char('\r'), QLatin1Char(' '));
  s.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return s;
}

}  // namespace

DesktopNotifier::DesktopNotifier(QSystemTrayIcon* fallback, QObject* parent)
    : QObject(parent), fallback_(fallback) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) {
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                SLOT(action_invoked(uint, QString)));
    bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                SLOT(notification_closed(uint, uint)));
  }
  if (fallback_) {
    connect(fallback_, &QSystemTrayIcon::messageClicked, this, [this] {
      if (!balloon_url_.empty() && on_open) on_open(balloon_url_);
    });
  }
}

QString DesktopNotifier::title_for(const std::vector<PushPost>& posts) {
  QString title = QStringLiteral("Quenlo：%1 条新线报").arg(posts.size());
  if (const int special = special_count(posts))
    title += QStringLiteral("，%1 条特别关注").arg(special);
  return title;
}

QString DesktopNotifier::body_for(const std::vector<PushPost>& posts) {
  QStringList lines;
  for (size_t i = 0; i < posts.size() && i < static_cast<size_t>(kBodyTitles); ++i)
    lines << (posts[i].special ? QStringLiteral("★ ") : QStringLiteral("• ")) +
                 plain(posts[i].title);
  if (posts.size() > static_cast<size_t>(kBodyTitles))
    lines << QStringLiteral("…另有 %1 条").arg(posts.size() - kBodyTitles);
  return lines.join(QLatin1Char('\n'));
}

void DesktopNotifier::notify(const std::vector<PushPost>& posts) {
  if (posts.empty()) return;
  const QString title = title_for(posts);
  const QString body = body_for(posts);
  const bool special = special_count(posts) > 0;
  const Text url = posts.front().url;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    show_balloon(title, body, special, url);
    return;
  }
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(special ? 2 : 1));
  hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));
  call << QStringLiteral("Quenlo") << uint(0) << QString() << title << body
       << QStringList{QStringLiteral("default"), QStringLiteral("查看")} << hints << int(-1);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, watcher, title, body, special, url] {
            watcher->deleteLater();
            QDBusPendingReply<uint> reply = *watcher;
            if (reply.isError()) {
              show_balloon(title, body, special, url);  // no notification service
              return;
            }
            used_bus_ = true;
            urls_.insert(reply.value(), url);
          });
}

void DesktopNotifier::show_balloon(const QString& title, const QString& body, bool special,
                                   const Text& url) {
  used_bus_ = false;
  if (!fallback_) return;
  balloon_url_ = url;
  fallback_->showMessage(title, body,
                         special ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information, 10000);
}

void DesktopNotifier::action_invoked(uint id, const QString& action) {
  const auto it = urls_.constFind(id);
  if (it == urls_.constEnd() || action != QStringLiteral("default")) return;
  const Text url = it.value();
  if (on_open) on_open(url);
}

void DesktopNotifier::notification_closed(uint id, uint) {
  urls_.remove(id);
}

}  // namespace qnl
