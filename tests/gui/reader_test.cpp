// The forum reader in a running program on a copy of the shipped database,
// with the fixture server playing the forum: reading posts into the web
// view, the quick reply driven through the shown page, the forum login.
#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "app/application.h"
#include "app/platform.h"
#include "app/reader_host.h"
#include "monitor/crawl_rules.h"
#include "storage/database.h"
#include "support/fixture_server.h"
#include "text/encoding.h"
#include "ui/main_window.h"
#include "ui/message.h"
#include "ui/qt_text.h"

using namespace qnl;
using qnl::test::FixtureRequest;
using qnl::test::FixtureResponse;
using qnl::test::FixtureServer;

namespace {

Text L(const char* utf8) {
  return utf8_to_local(utf8);
}

std::string forum_thread_page() {
  return L(
      "<html><head><title>t</title></head><body>\n"
      "<form><input type=\"hidden\" name=\"formhash\" value=\"ab12cd34\" /></form>\n"
      "<a href=\"forum.php?mod=forumdisplay&amp;fid=19&amp;page=1\">活动线报</a>\n"
      "<a href=\"forum.php?mod=viewthread&amp;action=printable&amp;tid=12345\" "
      "target=\"_blank\">打印</a>\n"
      "<div><a href=\"space-uid-1.html\" target=\"_blank\" class=\"xw1\">楼主甲</a></div>\n"
      "<table><tr><td class=\"t_f\" id=\"postmessage_100\">正文<a id=\"trap\" "
      "href=\"#_k1_huitie_k2_http://www.zuanke8.com/"
      "forum.php?mod=post&amp;action=reply&amp;fid=1&amp;tid=1_k3_message=trap_k4_\" "
      "target=\"tosoft\">trap</a></td></tr></table>\n"
      "<div><a href=\"space-uid-2.html\" target=\"_blank\" class=\"xw1\">回复乙</a></div>\n"
      "<table><tr><td class=\"t_f\" "
      "id=\"postmessage_101\">第二楼<script>window.open('#_k1_huitie_k2_http://www.zuanke8.com/"
      "forum.php?mod=post&action=reply&fid=1&tid=1_k3_message=script_k4_', 'tosoft')</script><img "
      "src=\"x\" onerror=\"document.title='ran'\"></td></tr></table>\n"
      "</body></html>");
}

const QString kForumPostTitle = QStringLiteral("京东PLUS会员 领满199减100券 - [阅读权限 10]");

// Every address handed to the desktop is recorded instead.
const QStringList kWatchedSchemes{QStringLiteral("http"), QStringLiteral("https"),
                                  QStringLiteral("file"), QStringLiteral("smb"),
                                  QStringLiteral("qnl6"), QStringLiteral("javascript")};

struct RecordedMessages {
  QList<ShownMessage> shown;
  RecordedMessages() {
    set_message_presenter([this](QWidget*, const ShownMessage& m) { shown << m; });
  }
  ~RecordedMessages() { set_message_presenter({}); }
};

}  // namespace

// The fixture server starts before the web engine so that the engine can be
// told to resolve no host but this machine.
FixtureServer* g_server = nullptr;

class ReaderTest : public QObject {
  Q_OBJECT

 public slots:
  void browser_opened(const QUrl& url) { browser_.push_back(url); }

 private slots:
  void initTestCase() {
    for (const QString& scheme : kWatchedSchemes)
      QDesktopServices::setUrlHandler(scheme, this, "browser_opened");
    QDir().mkpath(dir_.path() + QStringLiteral("/data"));
    QCOMPARE(QProcess::execute(
                 QStringLiteral(QNL_MAKEDB),
                 {QStringLiteral(QNL_SHIPPED_SQL), dir_.path() + QStringLiteral("/data/qnl6.sdb")}),
             0);
    g_server->route("/thread-12345-1-1.html",
                    [](const FixtureRequest&) { return FixtureResponse::ok(forum_thread_page()); });
    g_server->route("/thread-9-1-1.html",
                    [](const FixtureRequest&) { return FixtureResponse::never_answer(); });
    g_server->route("/forum.php", [](const FixtureRequest& r) {
      if (r.body.ends_with("message=fail"))
        return FixtureResponse::ok(L("<root>抱歉，您的回复太短</root>"));
      return FixtureResponse::ok(L("<root><![CDATA[回复发布成功]]></root>"));
    });
    g_server->route("/login", [](const FixtureRequest&) {
      return FixtureResponse::ok("<html><body>in</body></html>",
                                 {"Content-Type: text/html", "Set-Cookie: auth=u9; path=/"});
    });
    g_server->route("/home.php", [](const FixtureRequest& r) {
      if (r.header("Cookie").value_or("").find("auth=u9") == std::string::npos)
        return FixtureResponse::ok(L("<root>请先登录</root>"));
      return FixtureResponse::ok(L("<root>距离下一级还需 3 积分</root>"));
    });
    app_ = std::make_unique<Application>(dir_.path());
    QCOMPARE(app_->start(), StartupResult::running);
    host_ = &app_->reader_host();
    app_->main_window().resize(1100, 700);
    app_->state().rules.set_rule_field(1, kCookie, "auth=u1");
  }

  void leftPartOpensTheBrowserAndTheRestReads() {
    const int row = add_row(7, "http://www.zuanke8.com/thread-1-1-1.html");
    browser_.clear();
    host_->open_post(row, 249);
    QCOMPARE(browser_.size(), 1);
    QCOMPARE(browser_[0].toString(), QStringLiteral("http://www.zuanke8.com/thread-1-1-1.html"));
    // Rule 7 has no reader: the time-out page, after the reader's own status.
    host_->open_post(row, 250);
    QCOMPARE(browser_.size(), 1);
    QCOMPARE(status(), QStringLiteral(" 加载失败，请重试"));
    QTRY_COMPARE_WITH_TIMEOUT(eval("document.body ? document.body.innerText : ''").toString(),
                              QStringLiteral("页面访问超时"), 10000);
    QCOMPARE(host_->live_readers(), size_t{0});
  }

  void forumPostShowsItsItemsAndTheReplyBar() {
    show_forum_post();
    QCOMPARE(eval("[].map.call(document.querySelectorAll('#kkinfo > .artli'), "
                  "function(e) { return e.textContent.substr(0, 5); }).join('|')")
                 .toString(),
             QStringLiteral("楼主甲 ：|回复乙 ："));
    QCOMPARE(eval("getComputedStyle(document.querySelector('.rep-main')).display").toString(),
             QStringLiteral("block"));
    QVERIFY(eval("document.querySelector('.rep-main form').getAttribute('action')")
                .toString()
                .contains(QStringLiteral("&fid=19&tid=12345&extra=page%3D1")));
    QCOMPARE(eval("document.getElementById('kkh3').textContent").toString(), kForumPostTitle);
    QCOMPARE(eval("document.getElementById('kkh3').getAttribute('href1')").toString(),
             QStringLiteral("http://www.zuanke8.com/thread-12345-1-1.html"));
    QCOMPARE(eval("document.getElementById('kkpage').textContent").toString(), QString());
    // Script in the post's content never ran, and the page has an origin of
    // its own: no local file behind it.
    QCOMPARE(eval("document.title").toString(), QStringLiteral("qnl6"));
    QVERIFY(app_->state().reader_view.shows_html());
    QCOMPARE(eval("location.protocol").toString(), QStringLiteral("qnl:"));
    QCOMPARE(status(), QStringLiteral(" 内容读取完毕！"));
    const QString shots = qEnvironmentVariable("QNL_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
      app_->main_window().登陆外形框->hide();
      QTest::qWait(500);
      app_->main_window().grab().save(shots + "/reader.png");
      app_->main_window().登陆外形框->show();
    }
  }

  void replyTypedAndSentReachesTheForum() {
    show_forum_post();
    struct Case {
      QString typed;
      std::string sent;
    };
    for (const Case& c :
         {Case{QStringLiteral("a1-b2"), "a1-b2"}, Case{QStringLiteral("x&y=z"), "x%26y%3Dz"},
          Case{QStringLiteral("你好"), "%C4%E3%BA%C3"}}) {
      g_server->clear_requests();
      app_->main_window().show_status("-");
      type_and_click_reply(c.typed);
      QTRY_COMPARE_WITH_TIMEOUT(g_server->request_count(), size_t{1}, 10000);
      const FixtureRequest sent = g_server->last_request();
      QCOMPARE(QString::fromStdString(sent.path()),
               QStringLiteral("/forum.php?mod=post&action=reply&fid=19&tid=12345&extra=page%3D1&"
                              "replysubmit=yes&infloat=yes&handlekey=fastpost&inajax=1"));
      const std::string head = "&formhash=ab12cd34&usesig=1&connect_publish_t=0&message=";
      const size_t at = sent.body.find(head);
      QVERIFY(sent.body.starts_with("posttime="));
      QCOMPARE(at, size_t{19});  // ten digits of Unix time
      QCOMPARE(QString::fromStdString(sent.body.substr(at + head.size())),
               QString::fromStdString(c.sent));
      QCOMPARE(sent.header("Cookie"), std::optional<std::string>("auth=u1"));
      QTRY_COMPARE(status(), QStringLiteral(" 回帖成功"));
    }
    // Another answer is shown as it is.
    RecordedMessages messages;
    type_and_click_reply(QStringLiteral("fail"));
    QTRY_COMPARE_WITH_TIMEOUT(messages.shown.size(), 1, 10000);
    QCOMPARE(messages.shown[0].text, QStringLiteral("<root>抱歉，您的回复太短</root>"));
  }

  void nothingButTheUsersClickOnTheReplyBarReplies() {
    // The post's own script (window.open of a reply) and inline handlers
    // never run.
    g_server->clear_requests();
    show_forum_post();
    QCOMPARE(posts(), 0);
    // A script-made click has no user activation.
    eval(
        "document.getElementById('message').value = 'forged'; "
        "document.getElementById('kkreply').click(); 1");
    // The post's link with target "tosoft", clicked by the user.
    click_element("trap");
    // A real click on the reply bar afterwards still works: nothing came before it.
    type_and_click_reply(QStringLiteral("real"));
    QTRY_COMPARE_WITH_TIMEOUT(posts(), 1, 10000);
    QVERIFY(g_server->last_request().body.ends_with("message=real"));
    QTest::qWait(200);
    QCOMPARE(posts(), 1);
  }

  void archivePostWithReadPermissionIsNotFetched() {
    g_server->clear_requests();
    const int row = add_row(11, "http://www.zuanke8.com/thread-5-1-1.html",
                            QStringLiteral("内部 - [阅读权限 30]"));
    host_->open_post(row, 300);
    QTRY_COMPARE_WITH_TIMEOUT(eval("document.body ? document.body.innerText : ''").toString(),
                              QStringLiteral("游客无权限阅读！"), 10000);
    QCOMPARE(g_server->request_count(), size_t{0});
  }

  void lateReaderIsAbandonedAndItsRequestCancelled() {
    const int row = add_row(1, "http://www.zuanke8.com/thread-9-1-1.html");
    host_->open_post(row, 300);
    QCOMPARE(status(), QStringLiteral(" 加载失败，请重试"));
    QTRY_COMPARE_WITH_TIMEOUT(eval("document.body ? document.body.innerText : ''").toString(),
                              QStringLiteral("页面访问超时"), 10000);
    // The cancelled reader ends by itself; the next open joins it.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
          host_->open_post(add_row(7, "x"), 300);
          return host_->live_readers() == 0;
        }(),
        20000);
  }

  void newerOpenTakesOverFromOneStillWaiting() {
    const int slow = add_row(1, "http://www.zuanke8.com/thread-9-1-1.html");
    const int fast = add_row(3, "http://www.zuanke8.com/thread-12345-1-1.html");
    QTimer::singleShot(300, this, [&] { host_->open_post(fast, 300); });
    host_->open_post(slow, 300);  // returns once the newer open is done
    QCOMPARE(status(), QStringLiteral(" 内容读取完毕！"));
    QTRY_COMPARE_WITH_TIMEOUT(eval("document.querySelectorAll('#kkinfo > .artli').length").toInt(),
                              2, 20000);
  }

  void onlyUsersWebAddressesGoToTheBrowser() {
    struct Case {
      const char* url;
      const char* target;
      bool user;
      bool opened;
    };
    for (const Case& c : {
             Case{"http://www.zuanke8.com/thread-2-1-1.html", "_blank", true, true},
             Case{"https://www.zuanke8.com/thread-2-1-1.html", "", true, true},
             Case{"http://www.zuanke8.com/thread-2-1-1.html", "_blank", false, false},
             Case{"", "_blank", true, false},
             Case{"file:///etc/passwd", "x", true, false},
             Case{"FILE:///etc/passwd", "_blank", true, false},
             Case{"smb://host/share", "_blank", true, false},
             Case{"qnl6://run", "_blank", true, false},
             Case{"javascript:alert(1)", "_blank", true, false},
             Case{"http:///no-host", "_blank", true, false},
         }) {
      browser_.clear();
      NewWindowRequest request;
      request.url = c.url;
      request.target = c.target;
      request.user_initiated = c.user;
      host_->on_new_window(request);
      QVERIFY2(browser_.size() == (c.opened ? 1 : 0), c.url);
    }
  }

  void remotePageOpensNothingLocal() {
    // A page calls window.open of a local file on the user's real click, and
    // of a web address without one.
    g_server->route("/opener", [](const FixtureRequest&) {
      return FixtureResponse::ok(
          "<html><body><button id=go style='width:300px;height:80px' "
          "onclick=\"window.open('file:///etc/passwd', 'x'); "
          "window.open('smb://host/share', '_blank')\">go</button>"
          "<script>window.open('http://www.zuanke8.com/ad', '_blank')</script></body></html>",
          {"Content-Type: text/html"});
    });
    browser_.clear();
    QSignalSpy loaded(&app_->state().reader_view, &WebView::load_finished);
    app_->state().reader_view.load_url(g_server->base_url() + "opener");
    QVERIFY(loaded.wait(20000));
    click_element("go");
    QTest::qWait(1000);
    QCOMPARE(browser_.size(), 0);
  }

  void forumLoginIsCheckedAndStored() {
    MainWindow& w = app_->main_window();
    RecordedMessages messages;
    host_->open_forum_login();
    QVERIFY(w.确认登陆->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(app_->state().reader_view.current_url().startsWith(
                                 QStringLiteral("http://www.zuanke8.com/member.php?mod=logging")),
                             10000);
    // Not logged in: nothing kept.
    w.确认登陆->click();
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("获取登陆信息失败，请重新登陆"));
    QVERIFY(!w.确认登陆->isVisible());
    QCOMPARE(app_->state().rules.rule_field(1, kCookie), Text("auth=u1"));

    host_->open_forum_login();
    QSignalSpy loaded(&app_->state().reader_view, &WebView::load_finished);
    app_->state().reader_view.load_url(g_server->base_url() + "login");
    QVERIFY(loaded.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(app_->state().reader_view.get_cookies(), Text("auth=u9"), 10000);
    w.确认登陆->click();
    QCOMPARE(messages.shown.size(), 2);
    QCOMPARE(messages.shown[1].text, QStringLiteral("已保存本次登陆信息"));
    QVERIFY(!w.确认登陆->isVisible());
    QCOMPARE(app_->state().rules.rule_field(1, kCookie), Text("auth=u9"));
    const QueryResult stored = app_->state().db.db_query("SELECT cookie FROM rule WHERE id=1");
    QCOMPARE(stored.rows.at(0).at(0), Text("auth=u9"));
  }

  void cleanupTestCase() {
    host_ = nullptr;
    app_.reset();
    for (const QString& scheme : kWatchedSchemes) QDesktopServices::unsetUrlHandler(scheme);
  }

 private:
  int add_row(int rule, const char* url, const QString& title = QStringLiteral("t")) {
    QTreeWidget* list = app_->main_window().文章列表框;
    auto* item = new QTreeWidgetItem(list);
    item->setText(0, QString::number(rule));
    item->setText(1, QString::fromUtf8(url));
    item->setText(3, title);
    return list->indexOfTopLevelItem(item);
  }

  int posts() {
    int count = 0;
    for (const FixtureRequest& r : g_server->requests()) count += r.method == "POST";
    return count;
  }

  QString status() { return app_->main_window().状态条1->part_text(1); }

  QVariant eval(const char* script) {
    QVariant result;
    bool done = false;
    app_->state().reader_view.run_script(QString::fromUtf8(script), [&](const QVariant& v) {
      result = v;
      done = true;
    });
    QElapsedTimer timer;
    timer.start();
    // A script sent while the page is being replaced never answers: give up
    // soon, so that a retrying check asks the new page.
    while (!done && timer.elapsed() < 2000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return result;
  }

  void show_forum_post() {
    const int row = add_row(3, "http://www.zuanke8.com/thread-12345-1-1.html", kForumPostTitle);
    host_->open_post(row, 300);
    QTRY_COMPARE_WITH_TIMEOUT(eval("document.querySelectorAll('#kkinfo > .artli').length").toInt(),
                              2, 20000);
  }

  // A real mouse click on the element's centre, as the user gives it.
  void click_element(const char* id) {
    const QString script =
        QStringLiteral(
            "(function() { var r = document.getElementById('%1').getBoundingClientRect();"
            " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
            .arg(QString::fromUtf8(id));
    // A script sent while the engine is still busy with the last input may
    // go unanswered: ask again.
    QVariantList centre;
    for (int attempt = 0; attempt < 3 && centre.size() != 2; ++attempt)
      centre = eval(script.toUtf8().constData()).toList();
    QCOMPARE(centre.size(), 2);
    QWidget* target = app_->state().reader_view.engine_view()->focusProxy();
    QVERIFY(target);
    const QPoint at(qRound(centre[0].toDouble()), qRound(centre[1].toDouble()));
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
  }

  void type_and_click_reply(const QString& text) {
    const QString script = QStringLiteral("document.getElementById('message').value = %1; 1")
                               .arg(QStringLiteral("decodeURIComponent('%1')")
                                        .arg(QString::fromLatin1(QUrl::toPercentEncoding(text))));
    eval(script.toUtf8().constData());
    click_element("kkreply");
  }

  QTemporaryDir dir_;
  std::unique_ptr<Application> app_;
  ReaderHost* host_ = nullptr;
  QList<QUrl> browser_;
};

int main(int argc, char** argv) {
  FixtureServer server;
  g_server = &server;
  // The web engine reaches no host but this machine; the program's own
  // requests reach the fixture server for the forum.
  // (The engine takes its switches from the program's arguments.)
  std::vector<char*> engine_args(argv, argv + argc);
  char resolver_rules[] = "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1";
  engine_args.push_back(resolver_rules);
  int engine_argc = static_cast<int>(engine_args.size());
  engine_args.push_back(nullptr);
  qnl::test::ScopedNetOverrides overrides({server.connect_to("www.zuanke8.com", 80)}, false);
  prepare_web_engine_environment();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(engine_argc, engine_args.data());
  app.setQuitOnLastWindowClosed(false);
  ReaderTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "reader_test.moc"
