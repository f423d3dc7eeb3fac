// The monitor from the main window: start, rows in the article list, the
// reminder window's count-down, pause.
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "app/application.h"
#include "gui_test_main.h"
#include "support/fixture_server.h"
#include "support/listing_pages.h"
#include "support/test_database.h"
#include "ui/main_window.h"
#include "ui/message.h"
#include "ui/qt_text.h"
#include "ui/reminder_window.h"

using namespace qnl;
using qnl::test::FixtureResponse;
using qnl::test::FixtureServer;

class MonitorGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void startListAlertAndPause() {
    test::ShippedDatabase shipped;
    QVERIFY(shipped.ok());
    FixtureServer forum([](const test::FixtureRequest&) {
      return FixtureResponse::ok(test::discuz_listing({{"6699009", "京东PLUS会员 领券", "线报"},
                                                       {"6699008", "工行 话费"}}),
                                 {"Content-Type: text/html; charset=gbk"});
    });
    test::ScopedNetOverrides overrides({forum.connect_to("www.zuanke8.com", 80)});
    set_message_presenter([](QWidget*, const ShownMessage&) {});

    Application app(QString::fromStdString(shipped.dir().string()));
    QCOMPARE(app.start(), StartupResult::running);
    Configuration config = *app.state().config.current();
    config.pl_kuai = 600;
    config.keywords = {"PLUS"};
    app.state().config.replace(config);
    MainWindow& w = app.main_window();
    ReminderWindow& reminder = app.reminder_window();

    w.线报按钮1->click();  // hides the plan panel and starts
    QVERIFY(!w.登陆外形框->isVisible());
    QCOMPARE(w.线报按钮->text(), QStringLiteral("暂停"));
    QTRY_COMPARE_WITH_TIMEOUT(w.文章列表框->topLevelItemCount(), 2, 15000);
    const QTreeWidgetItem* top = w.文章列表框->topLevelItem(0);
    QCOMPARE(top->text(0), QStringLiteral("1"));
    QCOMPARE(top->text(1), QStringLiteral("http://www.zuanke8.com/thread-6699009-1-1.html"));
    QCOMPARE(top->text(2), QStringLiteral("赚客大家谈"));
    QCOMPARE(top->text(3), QStringLiteral("京东PLUS会员 领券"));
    QVERIFY(!top->icon(3).isNull());  // the special mark
    QVERIFY(w.文章列表框->topLevelItem(1)->icon(3).isNull());

    // The reminder shows both posts, counts down and hides itself.
    QTRY_VERIFY_WITH_TIMEOUT(reminder.isVisible(), 5000);
    QCOMPARE(reminder.超级列表框1->topLevelItemCount(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(reminder.windowTitle(), QStringLiteral("提醒窗口　　　3 秒后关闭"),
                              4000);
    QTRY_VERIFY_WITH_TIMEOUT(!reminder.isVisible(), 5000);
    QCOMPARE(reminder.windowTitle(), QStringLiteral("提醒窗口　　　0 秒后关闭"));
    QTRY_COMPARE_WITH_TIMEOUT(w.状态条1->part_text(1),
                              QStringLiteral(" 本轮执行完毕，下一波将在 600s 后采集.."), 5000);

    w.线报按钮->click();
    QCOMPARE(w.线报按钮->text(), QStringLiteral("开始"));
    QVERIFY(!app.monitor()->running());
    QVERIFY(!w.登陆外形框->isVisible());  // stays hidden for the rest of the run
    set_message_presenter({});
  }
};

QNL_GUI_TEST_MAIN(MonitorGuiTest)
#include "monitor_gui_test.moc"
