// Alerts where the user is: the desktop notification of a wave (against a
// stand-in notification service on a private session bus), opening the newest
// post from it, the tray's tooltip and menu, and the "更多推送" dialog.
//
// Run under dbus-run-session (CTest does); without a session bus the
// notification cases are skipped. With QNL_SCREENSHOT_DIR set, pictures of
// the tray menu, the dialog and a clicked notification's effect are saved.
#include "app/desktop_alerts.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "app/application.h"
#include "app/monitor_host.h"
#include "app/notifier.h"
#include "app/push_settings_store.h"
#include "app/tray.h"
#include "gui_test_main.h"
#include "support/fixture_server.h"
#include "support/listing_pages.h"
#include "support/test_database.h"
#include "text/encoding.h"
#include "ui/main_window.h"
#include "ui/message.h"
#include "ui/push_dialog.h"
#include "ui/qt_text.h"

using namespace qnl;
using qnl::test::FixtureRequest;
using qnl::test::FixtureResponse;
using qnl::test::FixtureServer;

// Records Notify calls the way a desktop's notification service receives them.
class NotificationsStandIn : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Call {
    QString app, summary, body;
    QStringList actions;
    QVariantMap hints;
    int timeout = 0;
  };
  QList<Call> calls;

  // Clicks notification `id` as a desktop does.
  void click(uint id) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
    signal << id << QStringLiteral("default");
    QDBusConnection::sessionBus().send(signal);
  }

 public slots:
  uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
              const QStringList& actions, const QVariantMap& hints, int timeout) {
    calls.append({app, summary, body, actions, hints, timeout});
    return static_cast<uint>(100 + calls.size());
  }
  QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
};

namespace {

void save_picture(QWidget& widget, const char* name) {
  const QByteArray dir = qgetenv("QNL_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  widget.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
}

Text L(const char* utf8) {
  return utf8_to_local(utf8);
}

}  // namespace

class DesktopAlertsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    set_message_presenter([](QWidget*, const ShownMessage&) {});
  }
  void cleanupTestCase() { set_message_presenter({}); }

  // Title and body of a notification; titles never become markup.
  void notificationTexts() {
    std::vector<PushPost> posts;
    for (int i = 0; i < 7; ++i)
      posts.push_back({L("帖子") + std::to_string(i), "http://x/" + std::to_string(i), i == 2});
    posts[0].title = L("<a href=\"file:///etc\">点</a> & <img src=x>");
    QCOMPARE(DesktopNotifier::title_for(posts), QStringLiteral("Quenlo：7 条新线报，1 条特别关注"));
    QCOMPARE(DesktopNotifier::title_for({posts[1]}), QStringLiteral("Quenlo：1 条新线报"));
    const QString body = DesktopNotifier::body_for(posts);
    const QStringList lines = body.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 6);
    QVERIFY(!body.contains(QLatin1Char('<')) && !body.contains(QLatin1Char('&')));
    QCOMPARE(lines[0], QStringLiteral("• ＜a href=\"file:///etc\"＞点＜/a＞ ＆ ＜img src=x＞"));
    QCOMPARE(lines[2], QStringLiteral("★ 帖子2"));
    QCOMPARE(lines[5], QStringLiteral("…另有 2 条"));
  }

  // A wave that found posts raises one notification; a click on it opens the
  // newest post in the reader; the pop-up's switch turns them off.
  void waveNotificationOverTheBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) QSKIP("no session bus (run under dbus-run-session)");
    NotificationsStandIn stand_in;
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &stand_in,
                               QDBusConnection::ExportAllSlots));

    test::ShippedDatabase shipped;
    QVERIFY(shipped.ok());
    FixtureServer forum([](const FixtureRequest&) {
      return FixtureResponse::ok(test::discuz_listing({{"6699009", "京东PLUS会员 领券", "线报"},
                                                       {"6699008", "工行 话费"}}),
                                 {"Content-Type: text/html; charset=gbk"});
    });
    forum.route("/thread-6699009-1-1.html", [](const FixtureRequest&) {
      return FixtureResponse::ok(
          L("<html><body><div><a href=\"space-uid-1.html\" target=\"_blank\" "
            "class=\"xw1\">楼主甲</a></div><table><tr><td class=\"t_f\" "
            "id=\"postmessage_100\">京东PLUS会员 领券：进入活动页，领 20-10 券。</td></tr></table>"
            "</body></html>"));
    });
    // Two more push channels: ntfy takes the wave, the WeCom robot refuses.
    FixtureServer ntfy([](const FixtureRequest&) { return FixtureResponse::ok(R"({"id":"1"})"); });
    FixtureServer wecom(
        [](const FixtureRequest&) {
          return FixtureResponse::ok(R"({"errcode":93000,"errmsg":"invalid webhook url"})");
        },
        FixtureServer::Transport::kTls);
    test::ScopedNetOverrides overrides(
        {forum.connect_to("www.zuanke8.com", 80), wecom.connect_to("qyapi.weixin.qq.com", 443)});
    PushSettings channels;
    channels[PushChannel::ntfy] = {true, "quenlo_wave", {}, ntfy.base_url()};
    channels[PushChannel::wecom] = {true, "robot-key", {}, {}};
    QVERIFY(save_push_settings(
        QString::fromStdString((shipped.dir() / "data" / "push.ini").string()), channels));
    Application app(QString::fromStdString(shipped.dir().string()));
    QCOMPARE(app.start(), StartupResult::running);
    Configuration config = *app.state().config.current();
    config.pl_kuai = 600;
    config.keywords = {"PLUS"};
    config.tx_tc = true;
    config.tx_wx = false;  // the other channels do not need the WeChat push
    app.state().config.replace(config);
    MainWindow& w = app.main_window();
    DesktopAlerts& alerts = *app.desktop_alerts();
    QCOMPARE(alerts.tray().icon().toolTip(),
             QStringLiteral("Quenlo - 已暂停\n本次运行抓到 0 条新帖"));

    w.线报按钮1->click();
    QTRY_COMPARE_WITH_TIMEOUT(stand_in.calls.size(), 1, 15000);
    const NotificationsStandIn::Call call = stand_in.calls.first();
    QCOMPARE(call.app, QStringLiteral("Quenlo"));
    QCOMPARE(call.summary, QStringLiteral("Quenlo：2 条新线报，1 条特别关注"));
    QCOMPARE(call.body, QStringLiteral("★ 京东PLUS会员 领券\n• 工行 话费"));
    QCOMPARE(call.actions, (QStringList{QStringLiteral("default"), QStringLiteral("查看")}));
    QCOMPARE(call.hints.value(QStringLiteral("urgency")).toInt(), 2);  // critical: a special post
    QCOMPARE(call.timeout, -1);
    QTRY_VERIFY(alerts.notifier().used_bus());
    QCOMPARE(alerts.tray().icon().toolTip(),
             QStringLiteral("Quenlo - 监控中\n本次运行抓到 2 条新帖"));
    QCOMPARE(alerts.tray().toggle_action()->text(), QStringLiteral("暂停监控"));
    // The failed channel is named in the status bar; the other one went out.
    QTRY_COMPARE_WITH_TIMEOUT(w.状态条1->part_text(1), QStringLiteral(" 推送失败：企业微信"),
                              10000);
    QCOMPARE(ntfy.request_count(), 1u);
    QVERIFY(ntfy.last_request().body.find("工行 话费") != std::string::npos);
    QCOMPARE(wecom.request_count(), 1u);
    QCOMPARE(QString::fromStdString(wecom.last_request().target),
             QStringLiteral("/cgi-bin/webhook/send?key=robot-key"));

    // The click: the main window comes up on the article list and the reader
    // fetches the newest post.
    w.选择夹1->setCurrentIndex(2);
    w.showMinimized();
    forum.clear_requests();
    stand_in.click(101);
    QTRY_VERIFY_WITH_TIMEOUT(w.文章列表框->currentItem() == w.文章列表框->topLevelItem(0), 5000);
    QCOMPARE(w.选择夹1->currentIndex(), 0);
    QVERIFY(!w.isMinimized());
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
          for (const FixtureRequest& r : forum.requests())
            if (r.target.find("6699009") != std::string::npos) return true;
          return false;
        }(),
        5000);
    QTRY_VERIFY_WITH_TIMEOUT(
        w.状态条1->part_text(1) != QStringLiteral(" 本轮执行完毕，下一波将在 600s 后采集.."), 8000);
    QTest::qWait(1500);
    save_picture(w, "notification-clicked.png");

    // A click on somebody else's notification does nothing.
    w.文章列表框->setCurrentItem(w.文章列表框->topLevelItem(1));
    stand_in.click(999);
    QTest::qWait(300);
    QCOMPARE(w.文章列表框->currentItem(), w.文章列表框->topLevelItem(1));

    // The pop-up's switch off: no notification.
    alerts.wave_found_posts({{L("标题"), "http://www.zuanke8.com/t", false}}, false);
    QTest::qWait(300);
    QCOMPARE(stand_in.calls.size(), 1);
    // An ordinary wave asks for normal urgency.
    alerts.wave_found_posts({{L("标题"), "http://www.zuanke8.com/t", false}}, true);
    QTRY_COMPARE(stand_in.calls.size(), 2);
    QCOMPARE(stand_in.calls[1].hints.value(QStringLiteral("urgency")).toInt(), 1);
    w.线报按钮->click();
    bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  }

  // After a restart the first wave lists posts stored by an earlier run but
  // alerts only the new ones.
  void storedPostsDoNotAlertAgain() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) QSKIP("no session bus (run under dbus-run-session)");
    NotificationsStandIn stand_in;
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &stand_in,
                               QDBusConnection::ExportAllSlots));
    test::ShippedDatabase shipped;
    QVERIFY(shipped.ok());
    FixtureServer forum([](const FixtureRequest&) {
      return FixtureResponse::ok(test::discuz_listing({{"6699009", "京东PLUS会员 领券", "线报"},
                                                       {"6699008", "工行 话费"}}),
                                 {"Content-Type: text/html; charset=gbk"});
    });
    test::ScopedNetOverrides overrides({forum.connect_to("www.zuanke8.com", 80)});
    Application app(QString::fromStdString(shipped.dir().string()));
    QCOMPARE(app.start(), StartupResult::running);
    QVERIFY(app.state().db.insert_found_post(L("赚客大家谈"), 1, L("工行 话费"),
                                             "http://www.zuanke8.com/thread-6699008-1-1.html",
                                             "12/9 10:00", 0));
    Configuration config = *app.state().config.current();
    config.pl_kuai = 600;
    config.tx_tc = true;
    app.state().config.replace(config);
    MainWindow& w = app.main_window();
    w.线报按钮1->click();
    QTRY_COMPARE_WITH_TIMEOUT(stand_in.calls.size(), 1, 15000);
    QCOMPARE(w.文章列表框->topLevelItemCount(), 2);  // both listed
    QCOMPARE(stand_in.calls[0].summary, QStringLiteral("Quenlo：1 条新线报"));
    QCOMPARE(stand_in.calls[0].body, QStringLiteral("• 京东PLUS会员 领券"));
    QCOMPARE(stand_in.calls[0].hints.value(QStringLiteral("urgency")).toInt(), 1);
    w.线报按钮->click();
    bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  }

  // Without a notification service the tray balloon stands in.
  void balloonWithoutService() {
    AppTray tray;
    DesktopNotifier notifier(&tray.icon());
    notifier.notify({{L("标题"), "http://www.zuanke8.com/t", false}});
    QTest::qWait(QDBusConnection::sessionBus().isConnected() ? 1500 : 0);
    QVERIFY(!notifier.used_bus());
  }

  // The dialog: fields from the settings, a test message with the service's
  // answer shown as plain text, and saving to the settings file.
  void pushDialog() {
    test::ShippedDatabase shipped;
    QVERIFY(shipped.ok());
    FixtureServer ntfy([](const FixtureRequest&) {
      return FixtureResponse::ok(R"({"id":"abc","event":"message","note":"<b>hi</b>"})",
                                 {"Content-Type: application/json"});
    });
    const QString path = QString::fromStdString((shipped.dir() / "data" / "push.ini").string());
    PushSettings stored;
    stored[PushChannel::telegram] = {true, "1:abc", "42", {}};
    QVERIFY(save_push_settings(path, stored));

    Application app(QString::fromStdString(shipped.dir().string()));
    QCOMPARE(app.start(), StartupResult::running);
    MainWindow& w = app.main_window();
    DesktopAlerts& alerts = *app.desktop_alerts();
    // The settings menu of 超级按钮3 holds the item.
    QStringList menu_items;
    QTimer::singleShot(300, [&] {
      QMenu* menu = nullptr;
      for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMenu*>(top); m && m->isVisible() && m->parent() == &w) menu = m;
      if (!menu) return;
      save_picture(*menu, "settings-menu.png");
      for (QAction* a : menu->actions()) menu_items << a->text();
      for (QAction* a : menu->actions())
        if (a->text() == QStringLiteral("更多推送")) a->trigger();
      menu->close();
    });
    w.超级按钮3->click();
    QVERIFY(menu_items.contains(QStringLiteral("更多推送")));
    QVERIFY(menu_items.contains(QStringLiteral("软件设置")));
    PushDialog* dialog = alerts.push_dialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("更多推送"));
    QVERIFY(dialog->row(PushChannel::telegram).on->isChecked());
    QCOMPARE(dialog->row(PushChannel::telegram).key->text(), QStringLiteral("1:abc"));
    QCOMPARE(dialog->row(PushChannel::telegram).target->text(), QStringLiteral("42"));

    const PushDialog::Row& row = dialog->row(PushChannel::ntfy);
    row.key->setText(QStringLiteral("quenlo_test"));
    row.server->setText(QString::fromStdString(ntfy.base_url()));
    row.test->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        dialog->answer_box()->toPlainText().contains(QStringLiteral("发送成功")), 10000);
    QVERIFY(dialog->answer_box()->toPlainText().contains(QStringLiteral("HTTP 200")));
    QVERIFY(dialog->answer_box()->toPlainText().contains(QStringLiteral("<b>hi</b>")));
    QCOMPARE(ntfy.request_count(), 1u);
    const FixtureRequest sent = ntfy.last_request();
    QCOMPARE(QString::fromStdString(sent.method), QStringLiteral("POST"));
    QVERIFY(sent.body.find(R"("topic":"quenlo_test")") != std::string::npos);
    QVERIFY(sent.body.find("测试消息") != std::string::npos);
    QVERIFY(!row.on->isChecked());  // a test does not switch the channel on
    save_picture(*dialog, "push-dialog.png");

    // A test against a service that refuses says so.
    dialog->row(PushChannel::webhook)
        .server->setText(QString::fromStdString(ntfy.base_url()) + QStringLiteral("nothing"));
    ntfy.set_handler(
        [](const FixtureRequest&) { return FixtureResponse::with_status(403, {}, "denied"); });
    dialog->row(PushChannel::webhook).test->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        dialog->answer_box()->toPlainText().contains(QStringLiteral("发送失败")), 10000);
    QVERIFY(dialog->answer_box()->toPlainText().contains(QStringLiteral("HTTP 403")));

    row.on->setChecked(true);
    QDialogButtonBox* buttons = dialog->findChild<QDialogButtonBox*>();
    QVERIFY(buttons);
    buttons->buttons().first()->click();  // 保存
    QTRY_VERIFY(!alerts.push_dialog());
    const PushSettings saved = load_push_settings(path);
    QVERIFY(saved[PushChannel::ntfy].on);
    QCOMPARE(saved[PushChannel::ntfy].key, Text("quenlo_test"));
    QCOMPARE(saved[PushChannel::telegram].target, Text("42"));
    QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
  }

  // The tray: tooltip, start/pause, show the main window, quit by closing it.
  // Last: the quit ends the application's event loops.
  void trayMenu() {
    test::ShippedDatabase shipped;
    QVERIFY(shipped.ok());
    FixtureServer forum([](const FixtureRequest&) { return FixtureResponse::ok("<html></html>"); });
    test::ScopedNetOverrides overrides({forum.connect_to("www.zuanke8.com", 80)});
    Application app(QString::fromStdString(shipped.dir().string()));
    QCOMPARE(app.start(), StartupResult::running);
    MainWindow& w = app.main_window();
    AppTray& tray = app.desktop_alerts()->tray();
    const QStringList items = [&] {
      QStringList texts;
      for (QAction* a : tray.menu().actions())
        if (!a->isSeparator()) texts << a->text();
      return texts;
    }();
    QCOMPARE(items, (QStringList{QStringLiteral("显示主窗口"), QStringLiteral("开始监控"),
                                 QStringLiteral("退出")}));
    tray.toggle_action()->trigger();
    QCOMPARE(w.线报按钮->text(), QStringLiteral("暂停"));
    QVERIFY(app.monitor()->running());
    QCOMPARE(tray.icon().toolTip(), QStringLiteral("Quenlo - 监控中\n本次运行抓到 0 条新帖"));
    QCOMPARE(tray.toggle_action()->text(), QStringLiteral("暂停监控"));
    tray.menu().popup(QPoint(40, 40));
    QTest::qWait(200);
    save_picture(tray.menu(), "tray-menu.png");
    tray.menu().hide();
    // The main window's own button updates the tray too.
    w.线报按钮->click();
    QCOMPARE(tray.icon().toolTip(), QStringLiteral("Quenlo - 已暂停\n本次运行抓到 0 条新帖"));
    QCOMPARE(tray.toggle_action()->text(), QStringLiteral("开始监控"));

    w.showMinimized();
    tray.show_action()->trigger();
    QVERIFY(!w.isMinimized());
    QVERIFY(w.isVisible());

    QSignalSpy closing(&w, &MainWindow::closing);
    tray.quit_action()->trigger();
    QCOMPARE(closing.count(), 1);  // the same end as closing the main window
  }
};

QNL_GUI_TEST_MAIN(DesktopAlertsTest)
#include "desktop_alerts_test.moc"
