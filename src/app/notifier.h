// Desktop notifications: one per wave that found posts, through the desktop's
// notification service on the session bus (org.freedesktop.Notifications),
// or as a tray balloon where there is none. Clicking it opens the newest post.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "monitor/push_channels.h"

class QSystemTrayIcon;

namespace qnl {

class DesktopNotifier : public QObject {
  Q_OBJECT

 public:
  // `fallback` shows the balloon when the bus has no notification service.
  explicit DesktopNotifier(QSystemTrayIcon* fallback, QObject* parent = nullptr);

  // Posts newest first; nothing for none.
  void notify(const std::vector<PushPost>& posts);

  // "Quenlo：3 条新线报" with ", 1 条特别关注" when there are special ones.
  static QString title_for(const std::vector<PushPost>& posts);
  // The first titles, one a line, and how many more. Angle brackets and "&"
  // become full-width so that a title never turns into markup.
  static QString body_for(const std::vector<PushPost>& posts);
  static constexpr int kBodyTitles = 5;

  // The address of the post to open (on the UI thread).
  std::function<void(const Text& url)> on_open;

  // True when the last notification went over the bus (false: balloon).
  bool used_bus() const { return used_bus_; }

 private slots:
  void action_invoked(uint id, const QString& action);
  void notification_closed(uint id, uint reason);

 private:
  void show_balloon(const QString& title, const QString& body, bool special, const Text& url);

  QSystemTrayIcon* fallback_;
  QHash<uint, Text> urls_;  // notification id -> newest post's address
  Text balloon_url_;
  bool used_bus_ = false;
};

}  // namespace qnl
