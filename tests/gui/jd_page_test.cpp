// The JD page and the login centre in a running program on a copy of the
// shipped database, with the fixture server playing JD's hosts: the login
// centre opened and closed many times, saving a login, the login gate, a
// sign-in run and a bean run as the user starts them.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "app/application.h"
#include "app/jd_host.h"
#include "app/platform.h"
#include "net/endpoints.h"
#include "storage/database.h"
#include "support/fixture_server.h"
#include "text/encoding.h"
#include "ui/login_centre.h"
#include "ui/main_window.h"
#include "ui/message.h"
#include "ui/qt_text.h"

using namespace qnl;
using qnl::test::FixtureRequest;
using qnl::test::FixtureResponse;
using qnl::test::FixtureServer;

namespace {

struct RecordedMessages {
  QList<ShownMessage> shown;
  RecordedMessages() {
    set_message_presenter([this](QWidget*, const ShownMessage& m) { shown << m; });
  }
  ~RecordedMessages() { set_message_presenter({}); }
};

FixtureResponse ok(std::string utf8) {
  return FixtureResponse::ok(std::move(utf8), {"Content-Type: text/html; charset=utf-8"});
}

std::atomic<int> g_ticks{0};
std::atomic<int> g_ticks_during_request{-1};

// Processes descended from this one: the web engine's zygotes and
// renderers (Linux).
int engine_processes() {
  std::map<long, long> parent;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool number = false;
    const long pid = entry.toLong(&number);
    if (!number) continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() > 1) parent[pid] = fields[1].toLong();
  }
  std::set<long> tree{QCoreApplication::applicationPid()};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pid, ppid] : parent)
      if (!tree.count(pid) && tree.count(ppid)) grew = tree.insert(pid).second;
  }
  return static_cast<int>(tree.size()) - 1;
}

}  // namespace

FixtureServer* g_tls = nullptr;
FixtureServer* g_plain = nullptr;

class JdPageTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QDir().mkpath(dir_.path() + QStringLiteral("/data"));
    QCOMPARE(QProcess::execute(
                 QStringLiteral(QNL_MAKEDB),
                 {QStringLiteral(QNL_SHIPPED_SQL), dir_.path() + QStringLiteral("/data/qnl6.sdb")}),
             0);
    routes(*g_tls);
    routes(*g_plain);
    app_ = std::make_unique<Application>(dir_.path());
    QCOMPARE(app_->start(), StartupResult::running);
    app_->main_window().resize(1000, 600);
    app_->main_window().登陆外形框->hide();
    app_->main_window().选择夹1->setCurrentIndex(2);
    jd_ = &app_->jd_host();
  }

  void loginCentreOpensAndClosesManyTimes() {
    MainWindow& w = app_->main_window();
    for (int round = 0; round < 4; ++round) {
      QTest::mouseClick(w.京东信息显示, Qt::LeftButton);
      QPointer<LoginCentreWindow> centre = jd_->login_centre();
      QVERIFY(centre);
      QCOMPARE(app_->state().login_mode, 2);
      QCOMPARE(centre->windowTitle(), QStringLiteral("登陆京东手机版"));
      QVERIFY(app_->state().login_view.created());
      QVERIFY(requested_login_page().startsWith(
          QStringLiteral("https://plogin.m.jd.com/user/login.action?appid=100&kpkey=&returnurl=")));
      QCOMPARE(app_->state().login_view.engine_view()->zoomFactor(), 0.9);
      centre->resize(800, 610);
      QCOMPARE(centre->外形框1->width(), 780);
      QCOMPARE(centre->外形框1->height(), 528);
      centre->close();
      QCOMPARE(app_->state().login_mode, 0);
      QVERIFY(!app_->state().login_view.created());
      QTRY_VERIFY(centre.isNull());  // the window and everything in it are gone
    }
    // The web-site login page, at its own zoom.
    jd_->open_login_centre(1);
    QCOMPARE(jd_->login_centre()->windowTitle(), QStringLiteral("登陆京东网页版"));
    QVERIFY(requested_login_page().startsWith(QStringLiteral(
        "https://passport.jd.com/new/login.aspx?ReturnUrl=http%3A%2F%2Fjoycenter.jd.com%2F")));
    QCOMPARE(app_->state().login_view.engine_view()->zoomFactor(), 0.8);
    jd_->login_centre()->close();

    // The main window's view still loads pages.
    QSignalSpy loaded(&app_->state().reader_view, &WebView::load_finished);
    app_->state().reader_view.load_url(g_plain->base_url() + "reader-page");
    QVERIFY(loaded.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(body_text(app_->state().reader_view), QStringLiteral("still here"),
                              10000);
  }

  // The login centre's page goes when it closes, and its renderer process
  // with it: the program does not keep a second renderer all day.
  void closedLoginCentreLeavesNoRendererBehind() {
    QTRY_VERIFY_WITH_TIMEOUT(engine_processes() > 0, 10000);  // the main view's
    QTest::qWait(1000);
    const int before = engine_processes();
    jd_->open_login_centre(2);
    QTRY_VERIFY_WITH_TIMEOUT(engine_processes() > before, 20000);
    jd_->login_centre()->close();
    QTRY_COMPARE_WITH_TIMEOUT(engine_processes(), before, 20000);
  }

  void viewIsReleasedEvenWhenItsHostWentFirst() {
    WebView view;
    for (int round = 0; round < 2; ++round) {
      auto* host = new QWidget();
      host->resize(300, 200);
      QVERIFY(view.create_view(host));
      QPointer<QWebEnginePage> page = view.engine_view()->page();
      delete host;  // takes the engine view with it
      QVERIFY(!page.isNull());
      view.destroy_view();
      QVERIFY(page.isNull());
      QVERIFY(!view.created());
    }
  }

  void saveWithoutLoginKeepsTheWindowOpen() {
    RecordedMessages messages;
    user_info_ok_ = false;
    jd_->open_login_centre(2);
    QPointer<LoginCentreWindow> centre = jd_->login_centre();
    centre->按钮1->click();
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("未检测到登陆状态，请重试！"));
    QVERIFY(centre && centre->isVisible());
    QCOMPARE(app_->state().login_mode, 2);
    QVERIFY(centre->按钮1->isEnabled());

    if (!shots().isEmpty()) {
      QTest::qWait(1500);
      centre->grab().save(shots() + "/login_centre.png");
    }
    // The login works now: saved, the window closes, the label shows it.
    user_info_ok_ = true;
    centre->按钮1->click();
    QCOMPARE(messages.shown.size(), 1);
    QTRY_VERIFY(centre.isNull());
    QCOMPARE(app_->state().login_mode, 0);
    QCOMPARE(app_->main_window().京东信息显示->text(),
             QStringLiteral("abc:gold7138 - 电脑端没登陆"));
    const QueryResult stored = app_->state().db.db_query("SELECT jd_coo_wap FROM con");
    QCOMPARE(stored.rows.at(0).at(0), app_->state().config.current()->jd_coo_wap);
  }

  void taskWaitsInTheGateUntilTheCentreIsClosed() {
    MainWindow& w = app_->main_window();
    set_logins("thor=bad", "");
    w.京东输出框->clear();
    bool disabled_meanwhile = false;
    bool centre_was_open = false;
    QTimer::singleShot(2500, this, [&] {
      disabled_meanwhile = !w.按钮2->isEnabled();
      centre_was_open = jd_->login_centre() != nullptr && app_->state().login_mode == 1;
      if (jd_->login_centre()) jd_->login_centre()->close();
    });
    QElapsedTimer timer;
    timer.start();
    w.按钮2->click();
    QVERIFY(timer.elapsed() >= 2500);
    QVERIFY(disabled_meanwhile);
    QVERIFY(centre_was_open);
    QVERIFY(w.按钮2->isEnabled());
    QCOMPARE(w.京东输出框->toPlainText(), QStringLiteral("没登陆，签到取消，你可以登陆后重试！\n"));
    QVERIFY(app_->state().config.current()->jd_coo_pc.empty());
  }

  void pcSignInRunKeepsTheWindowWorking() {
    MainWindow& w = app_->main_window();
    set_logins("thor=good", app_->state().config.current()->jd_coo_wap);
    w.京东输出框->setPlainText(QStringLiteral("说明"));
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [] { ++g_ticks; });
    ticker.start(20);
    w.按钮2->click();
    ticker.stop();
    QCOMPARE(w.京东信息显示->text(), QStringLiteral("abc:gold7138 - 京东：:52"));
    QCOMPARE(
        w.京东输出框->toPlainText(),
        QStringLiteral("说明\n京东签到：签到成功\n"
                       "京东金融签到:签到成功,获得0.05钢镚!已连续签到3天,连续签到7天有惊喜杳哟\n"
                       "京友帮签到:恭喜你,签到成功!您已连续签到4天,获得10\n"
                       "流量签到:签到成功,未能抢到流量\n"));
    // The timer kept firing while the slow member sign-in was answered.
    QVERIFY2(g_ticks_during_request.load() >= 10,
             qPrintable(QString::number(g_ticks_during_request.load())));
    shoot("jd_sign_in.png");
  }

  void mobileSignInRun() {
    MainWindow& w = app_->main_window();
    set_logins("thor=good", "pt_key=w");
    w.京东输出框->clear();
    w.按钮3->click();
    QCOMPARE(
        w.京东输出框->toPlainText(),
        QStringLiteral("京东移动端签到:签到成功，获得2京豆\n"
                       "京东移动端双签领奖:您已领取双签礼包,京豆数:5\n"
                       "京东移动端签到领钢镚①:签到失败,已经领取过!\n"
                       "京东移动端签到领钢镚②:获得0.1钢镚\n"
                       "京东移动端小金库签到:签到结果未知!\n"
                       "京东每日抽奖:您已经抽过奖了，请明天再来!'活动过于火爆，请稍后重试!\n"));
  }

  void beanRunWaitsTheIntervalAndListsRows() {
    MainWindow& w = app_->main_window();
    w.编辑框_京东操作间隔->setText(QStringLiteral("2"));
    QCOMPARE(w.编辑框_京东操作间隔->text(), QStringLiteral("3"));
    w.京东链接框->setPlainText(
        QStringLiteral("\nhttps://mall.jd.com/shopSign-1.html\n\n\nhttp://example.org/x\n"
                       "https://mall.jd.com/index-100.html\nhttps://mall.jd.com/index-200.html\n"));
    QElapsedTimer timer;
    timer.start();
    bool disabled_meanwhile = false;
    QTimer::singleShot(1500, this, [&] { disabled_meanwhile = !w.一键领京豆->isEnabled(); });
    w.一键领京豆->click();
    const qint64 elapsed = timer.elapsed();
    // Gate 0.8 s, one 3-second wait per shop link and one per claim.
    QVERIFY2(elapsed >= 9800 && elapsed < 20000, qPrintable(QString::number(elapsed)));
    QVERIFY(disabled_meanwhile);
    QVERIFY(w.一键领京豆->isEnabled());
    QCOMPARE(
        w.京东链接框->toPlainText(),
        QStringLiteral("https://mall.jd.com/shopSign-1.html\nhttp://example.org/x\n"
                       "https://mall.jd.com/index-100.html\nhttps://mall.jd.com/index-200.html"));
    QTreeWidget* list = w.京东列表框;
    QVERIFY(list->isVisible());
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(row(0), QStringLiteral("https://mall.jd.com/shopSign-1.html|签到|中啦20京豆"));
    QCOMPARE(row(1), QStringLiteral("https://mall.jd.com/index-100.html||ok"));
    QCOMPARE(row(2), QStringLiteral("https://mall.jd.com/index-200.html||id or vid null"));
    QCOMPARE(w.京东输出框->toPlainText(),
             QStringLiteral(
                 "领豆完毕！！！\n领豆完毕！！！\nhttp://example.org/x#不是正确的京东链接\n"));
    shoot("jd_beans.png");

    // A double-click copies the row into the links box, one cell a line.
    list->setCurrentItem(list->topLevelItem(1));
    emit list->itemDoubleClicked(list->topLevelItem(1), 1);
    QCOMPARE(w.京东链接框->toPlainText(),
             QStringLiteral("\nhttps://mall.jd.com/index-100.html\n100\nv100\ntok1\na1\n\nok"));

    // Nothing to collect: the message, and the list is hidden again.
    RecordedMessages messages;
    w.京东链接框->setPlainText(QStringLiteral("\n\n"));
    w.一键领京豆->click();
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("请输入至少一条京东领豆链接"));
    QVERIFY(!list->isVisible());
  }

  void linkSourcesPageInTheMainView() {
    QSignalSpy loaded(&app_->state().reader_view, &WebView::load_finished);
    app_->main_window().超级按钮2->click();
    QVERIFY(loaded.wait(20000));
    QTRY_VERIFY_WITH_TIMEOUT(
        body_text(app_->state().reader_view)
            .contains(QStringLiteral("最新的可以领京豆的链接，推荐去下面网站获取：")),
        10000);
  }

  // Last: the program closing while a run waits for JD ends the run at once.
  void closingTheProgramEndsARunningTask() {
    MainWindow& w = app_->main_window();
    w.京东链接框->setPlainText(QStringLiteral("https://mall.jd.com/index-999.html"));
    w.京东输出框->clear();
    QTimer::singleShot(1500, this, [this] { jd_->shut_down(); });
    QElapsedTimer timer;
    timer.start();
    w.一键领京豆->click();
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!w.京东列表框->isVisible());
    QCOMPARE(w.京东输出框->toPlainText(), QStringLiteral("\n当前进度>>1\n"));
  }

  void cleanupTestCase() {
    jd_ = nullptr;
    app_.reset();
  }

 private:
  // JD's hosts, on both transports.
  void routes(FixtureServer& server) {
    server.route("/reader-page",
                 [](const FixtureRequest&) { return ok("<html><body>still here</body></html>"); });
    server.route("/user/info/QueryJDUserInfo", [this](const FixtureRequest&) {
      if (!user_info_ok_) return ok(R"(getUserInfoCb({"retcode":13,"msg":"no login"});)");
      return ok(R"(getUserInfoCb({"retcode":0,"base":{"nickname":"abc","levelName":"gold",)"
                R"("jdNum":7,"mobile":"138","curPin":"p"}});)");
    });
    server.route("/myJingBean/getListDetail", [](const FixtureRequest& r) {
      if (r.header("Cookie").value_or("").find("thor=good") == std::string::npos) return ok("{}");
      return ok(R"({"code":"0000","balanceBeans":52})");
    });
    server.route("/sign/index", [](const FixtureRequest&) {
      const int start = g_ticks.load();
      std::this_thread::sleep_for(std::chrono::milliseconds(1000));
      g_ticks_during_request = g_ticks.load() - start;
      return ok("<div>签到成功</div>");
    });
    server.route("/newSign/doSign", [](const FixtureRequest&) {
      return ok(R"({"accountBalance":"0.05","continuityDays":"3"})");
    });
    server.route("/channel/shouji.html", [](const FixtureRequest&) { return ok("token: \"tk\""); });
    server.route("/homepage/user/punch.html",
                 [](const FixtureRequest&) { return ok(R"({"punchNum":4,"getPoint":10})"); });
    server.route("/web/json/sign.action",
                 [](const FixtureRequest&) { return ok(R"({"msg":"未能抢到流量"})"); });
    server.route("/client.action", [](const FixtureRequest&) {
      return ok(R"({"data":{"signShowBean":{"signText":"签到成功，获得2京豆"}}})");
    });
    server.route("/countersign/receiveAward.json", [](const FixtureRequest&) {
      return ok(R"({"res":{"data":[{"awardCount":5,"a":1}]}})");
    });
    server.route("/my/signIn/", [](const FixtureRequest&) { return ok("已经领取过"); });
    server.route("/gw/generic/base/h5/m/baseSignInEncryptNew", [](const FixtureRequest& r) {
      return ok(r.method == "POST" ? "{}" : R"({"resultData":{"showMsg":"获得0.1钢镚"}})");
    });
    server.route("/activemcenter/muserwelfare/draw",
                 [](const FixtureRequest&) { return ok(R"(jsonpCBKH({"ret":11,"x":1}))"); });
    server.route("/shopSign-1.html", [](const FixtureRequest&) {
      return ok("<div class=\"big-award\"><span style=\"color:#fd0;\r\n>20京豆</span></div>");
    });
    server.route("/index-100.html", [](const FixtureRequest&) {
      return ok("<a href=\"/x?&shopId=100&id=1\"></a><input id=\"vender_id\" value=\"v100\">");
    });
    server.route("/index-999.html",
                 [](const FixtureRequest&) { return FixtureResponse::never_answer(); });
    server.route("/index-200.html", [](const FixtureRequest&) { return ok("<html></html>"); });
    server.route("/shopGift/getShopGiftInfo", [](const FixtureRequest&) {
      return ok(R"(jQuery1843931({"jshop_token":"tok1","giftList":[{"activityId":"a1"}]}))");
    });
    server.route("/shopGift/drawShopGiftInfo",
                 [](const FixtureRequest&) { return ok(R"(jQuery154812({"msg":"领取成功"}))"); });
  }

  void set_logins(Text pc, Text wap) {
    Configuration c = *app_->state().config.current();
    c.jd_coo_pc = std::move(pc);
    c.jd_coo_wap = std::move(wap);
    app_->state().config.replace(c);
  }

  QString row(int index) {
    const QTreeWidgetItem* item = app_->main_window().京东列表框->topLevelItem(index);
    return item->text(1) + "|" + item->text(6) + "|" + item->text(7);
  }

  QString requested_login_page() {
    return app_->state().login_view.engine_view()->page()->requestedUrl().toString();
  }

  static QString shots() { return qEnvironmentVariable("QNL_SCREENSHOT_DIR"); }

  void shoot(const char* name) {
    if (shots().isEmpty()) return;
    QTest::qWait(300);
    app_->main_window().grab().save(shots() + "/" + name);
  }

  QString body_text(WebView& view) {
    QVariant result;
    bool done = false;
    view.run_script(QStringLiteral("document.body ? document.body.innerText : ''"),
                    [&](const QVariant& v) {
                      result = v;
                      done = true;
                    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 10000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return result.toString();
  }

  QTemporaryDir dir_;
  std::unique_ptr<Application> app_;
  JdHost* jd_ = nullptr;
  std::atomic<bool> user_info_ok_{false};
};

int main(int argc, char** argv) {
  FixtureServer tls(FixtureServer::Transport::kTls);
  FixtureServer plain;
  g_tls = &tls;
  g_plain = &plain;
  std::vector<std::string> connect_to;
  for (std::string_view host :
       {endpoints::kJdBeanHost, endpoints::kJdUserInfoHost, endpoints::kJdVipHost,
        endpoints::kJdFinanceSignHost, endpoints::kJdCommunityHost, endpoints::kJdDataWalletHost,
        endpoints::kJdClientApiHost, endpoints::kJdDoubleSignHost, endpoints::kJdPayHost,
        endpoints::kJdFinanceMobileHost, endpoints::kJdLotteryHost, endpoints::kJdShopGiftHost,
        endpoints::kJdMallHost}) {
    connect_to.push_back(tls.connect_to(host, 443));
    connect_to.push_back(plain.connect_to(host, 80));
  }
  // The web engine reaches no host but this machine.
  std::vector<char*> engine_args(argv, argv + argc);
  char resolver_rules[] = "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1";
  engine_args.push_back(resolver_rules);
  int engine_argc = static_cast<int>(engine_args.size());
  engine_args.push_back(nullptr);
  qnl::test::ScopedNetOverrides overrides(connect_to, true);
  prepare_web_engine_environment();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(engine_argc, engine_args.data());
  app.setQuitOnLastWindowClosed(false);
  JdPageTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "jd_page_test.moc"
