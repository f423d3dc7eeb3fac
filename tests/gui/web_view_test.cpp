// The embedded web view against the fixture server: new-window requests with
// their target name, cookies of the shown page, bound page functions, HTML
// text served from the program's own scheme, and what a hostile page cannot
// make the view do.
#include "webview/web_view.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineScriptCollection>
#include <QWidget>
#include <QtTest>

#include "gui_test_main.h"
#include "support/fixture_server.h"
#include "ui/qt_text.h"

using namespace qnl;
using qnl::test::FixtureResponse;
using qnl::test::FixtureServer;

namespace {

const char kPage[] = R"HTML(<html><body>
<a id="blank" href="/post?id=7" target="_blank">blank</a>
<a id="plain" href="/same">same</a>
<button id="reply" onclick="window.open('/reply?_k1_=1&_k2_=x', 'tosoft')">reply</button>
<button id="big" style="width:300px;height:80px" onclick="window.open('/user?a=1', 'named')">big</button>
<a id="link" href="/linked" target="tosoft" style="display:block;width:300px;height:40px">link</a>
</body></html>)HTML";

// A hostile page: it writes what the old console channel took, sends the
// bridge's DOM event itself and looks for the bridge's objects.
const char kForger[] =
    "<html><body><script>\n"
    "console.debug('\\x01qnl-host:{\"t\":\"open\",\"url\":\"file:///etc/passwd\","
    "\"name\":\"tosoft\",\"via\":\"script\",\"user\":true,\"top\":true}');\n"
    "document.dispatchEvent(new CustomEvent('qnl-window-hint', {detail: JSON.stringify("
    "{t: 'open', url: 'file:///etc/passwd', name: 'tosoft'})}));\n"
    "window.bridgeSeen = typeof qt !== 'undefined' || typeof QWebChannel !== 'undefined';\n"
    "</script></body></html>";

QByteArray png(int width) {
  QImage picture(width, 2, QImage::Format_RGB32);
  picture.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "PNG");
  return bytes;
}

}  // namespace

class WebViewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    server_.route("/page", [](const auto&) {
      return FixtureResponse::ok(
          kPage, {"Content-Type: text/html; charset=utf-8", "Set-Cookie: sid=abc; path=/; HttpOnly",
                  "Set-Cookie: auth=x1; path=/", "Set-Cookie: other=no; path=/elsewhere"});
    });
    server_.route("/forger", [](const auto&) {
      return FixtureResponse::ok(kForger, {"Content-Type: text/html"});
    });
    server_.route("/pic.png", [](const auto&) {
      return FixtureResponse::ok(png(5).toStdString(), {"Content-Type: image/png"});
    });
    server_.route("/secret", [](const auto&) {
      return FixtureResponse::ok("secret", {"Content-Type: text/plain"});
    });
    host_.resize(400, 300);
    host_.show();
    QVERIFY(view_.create_view(&host_));
    QVERIFY(view_.create_view(&host_));  // a second call changes nothing
    view_.set_new_window_handler([this](const NewWindowRequest& r) { requests_.push_back(r); });
    load(server_.base_url() + "page");
  }

  void viewFillsItsHost() {
    host_.resize(520, 340);
    QTRY_COMPARE(view_.engine_view()->geometry(), QRect(0, 0, 520, 340));
    host_.resize(400, 300);
    QTRY_COMPARE(view_.engine_view()->geometry(), QRect(0, 0, 400, 300));
  }

  void windowOpenArrivesWithItsTargetName() {
    requests_.clear();
    view_.run_script(QStringLiteral("document.getElementById('reply').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(requests_.size(), size_t{1}, 10000);
    QCOMPARE(requests_[0].target, Text("tosoft"));
    QCOMPARE(requests_[0].url, server_.base_url() + "reply?_k1_=1&_k2_=x");
    // Told apart from links, and a script's click is not the user's.
    QVERIFY(requests_[0].source == NewWindowSource::script);
    QVERIFY(!requests_[0].user_initiated);
    QVERIFY(requests_[0].top_frame);
    QCOMPARE(requests_[0].page_policy, Text());
  }

  void usersClickIsTheEnginesWord() {
    requests_.clear();
    click_element("big");
    QTRY_COMPARE_WITH_TIMEOUT(requests_.size(), size_t{1}, 10000);
    QCOMPARE(requests_[0].target, Text("named"));
    QCOMPARE(requests_[0].url, server_.base_url() + "user?a=1");
    QVERIFY(requests_[0].user_initiated);

    // A link's target attribute is never taken for a window.open's name.
    requests_.clear();
    click_element("link");
    QTRY_COMPARE_WITH_TIMEOUT(requests_.size(), size_t{1}, 10000);
    QCOMPARE(requests_[0].url, server_.base_url() + "linked");
    QVERIFY(requests_[0].source == NewWindowSource::engine);
    QCOMPARE(requests_[0].target, Text());
    QVERIFY(requests_[0].user_initiated);
    QVERIFY(view_.current_url().endsWith(QStringLiteral("/page")));
  }

  void blankTargetLinkArrivesWithoutNavigating() {
    requests_.clear();
    view_.run_script(QStringLiteral("document.getElementById('blank').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(requests_.size(), size_t{1}, 10000);
    QCOMPARE(requests_[0].url, server_.base_url() + "post?id=7");
    QVERIFY(requests_[0].source == NewWindowSource::engine);
    QCOMPARE(requests_[0].target, Text());
    QVERIFY(!requests_[0].user_initiated);
    QVERIFY(view_.current_url().endsWith(QStringLiteral("/page")));  // no navigation
  }

  void cookiesOfTheShownPageIncludeHttpOnly() {
    QTRY_COMPARE_WITH_TIMEOUT(view_.get_cookies(), Text("sid=abc; auth=x1"), 10000);
  }

  void cookieMatchingFollowsDomainAndPathRules() {
    auto cookie = [](const char* name, const char* domain, const char* path, bool secure = false) {
      QNetworkCookie c(name, "1");
      c.setDomain(QString::fromLatin1(domain));
      c.setPath(QString::fromLatin1(path));
      c.setSecure(secure);
      return c;
    };
    QNetworkCookie expired = cookie("old", "a.test", "/");
    expired.setExpirationDate(QDateTime::currentDateTime().addDays(-1));
    const std::list<QNetworkCookie> jar{
        cookie("host", "a.test", "/"),        // host-only
        cookie("dom", ".a.test", "/"),        // the domain and its subdomains
        cookie("forum", "a.test", "/forum"),  // the path and below it
        cookie("safe", "a.test", "/", true),  // https only
        expired,
    };
    struct Case {
      const char* url;
      const char* expected;
    };
    for (const Case& c : {
             Case{"http://a.test/", "host=1; dom=1"},
             Case{"https://a.test/", "host=1; dom=1; safe=1"},
             Case{"http://sub.a.test/", "dom=1"},
             Case{"http://www.a.test/forum", "dom=1"},
             Case{"http://a.test/forum", "forum=1; host=1; dom=1"},
             Case{"http://a.test/forum/x.php", "forum=1; host=1; dom=1"},
             Case{"http://a.test/forumdisplay", "host=1; dom=1"},
             Case{"http://xa.test/", ""},
             Case{"http://b.test/", ""},
         }) {
      QCOMPARE(to_qstring(cookie_text_for(jar, QUrl(QString::fromLatin1(c.url)))),
               QString::fromLatin1(c.expected));
    }
  }

  void boundPageFunctionIsCalledAndRebindingKeepsOneScript() {
    std::vector<Text> received;
    view_.bind_page_function(QStringLiteral("do_huitie"), 2,
                             [&](const std::vector<Text>& a) { received = a; });
    const qsizetype scripts = view_.engine_view()->page()->scripts().toList().size();
    int later = 0;
    for (int i = 0; i < 3; ++i)  // as every layout of the main window does
      view_.bind_page_function(QStringLiteral("do_huitie"), 2,
                               [&](const std::vector<Text>& a) { received = a, ++later; });
    QCOMPARE(view_.engine_view()->page()->scripts().toList().size(), scripts);
    load(server_.base_url() + "page");
    view_.run_script(QStringLiteral("do_huitie('a', '中文', 'ignored')"));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), size_t{2}, 10000);
    QCOMPARE(received[0], Text("a"));
    QCOMPARE(to_qstring(received[1]), QStringLiteral("中文"));
    QCOMPARE(later, 1);  // the last handler, once
  }

  void forgedBridgeMessagesDoNothing() {
    requests_.clear();
    load(server_.base_url() + "forger");
    QCOMPARE(eval("window.bridgeSeen").toBool(), false);
    QTest::qWait(1000);
    QCOMPARE(requests_.size(), size_t{0});
  }

  void windowFloodIsBounded() {
    load(server_.base_url() + "page");
    requests_.clear();
    // Engine requests only: names told by the page would pair at once.
    eval("for (var i = 0; i < 500; ++i) document.getElementById('blank').click(); 1");
    QTest::qWait(3000);
    QVERIFY(!requests_.empty());
    QVERIFY(requests_.size() <= 32);
    QCOMPARE(eval("1 + 1").toInt(), 2);  // the page still answers
  }

  void htmlTextIsServedFromTheProgramsScheme() {
    load_html(to_local(QStringLiteral("<p id=t>欢迎使用</p>")));
    QVERIFY(view_.shows_html());
    QVERIFY(view_.current_url().startsWith(QLatin1String(WebView::scheme()) + QLatin1Char(':')));
    QCOMPARE(eval("document.getElementById('t').textContent").toString(),
             QStringLiteral("欢迎使用"));

    // A long thread: far above what an inline page may hold.
    Text big = "<html><body><div id=first>first</div>";
    const Text item = "<div class='artli'>" + std::string(1000, 'x') + "</div>";
    while (big.size() < 5 * 1024 * 1024) big += item;
    big += "<div id=last>last</div></body></html>";
    load_html(big);
    QCOMPARE(eval("document.getElementById('last') && "
                  "document.getElementById('last').textContent")
                 .toString(),
             QStringLiteral("last"));
    QVERIFY(eval("document.querySelectorAll('.artli').length").toInt() > 5000);

    load(server_.base_url() + "page");
    QVERIFY(!view_.shows_html());
  }

  void htmlPageReachesNoLocalFileAndNoOtherOrigin() {
    QTemporaryDir dir;
    QFile local(dir.filePath(QStringLiteral("logins.txt")));
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write("secret");
    local.close();
    const QString file_url = QUrl::fromLocalFile(local.fileName()).toString();
    const QString other = to_qstring(server_.base_url()) + QStringLiteral("secret");
    // The forum's pictures still load in it.
    load_html("<html><body><img id=pic src='" + server_.base_url() + "pic.png'></body></html>");
    QTRY_COMPARE_WITH_TIMEOUT(eval("document.getElementById('pic').naturalWidth").toInt(), 5,
                              10000);
    struct Case {
      const char* what;
      QString script;
    };
    for (const Case& c : {
             Case{"fetch of a file", QStringLiteral("fetch('%1')").arg(file_url)},
             Case{"fetch of another origin", QStringLiteral("fetch('%1')").arg(other)},
             Case{"credentialed fetch",
                  QStringLiteral("fetch('%1', {credentials: 'include'})").arg(other)},
         }) {
      const QString script =
          QStringLiteral(
              "window.outcome = 'pending'; %1.then(function(r) { return r.text(); })"
              ".then(function(t) { window.outcome = 'read:' + t; },"
              " function() { window.outcome = 'failed'; }); 1")
              .arg(c.script);
      eval(script);
      QTRY_VERIFY_WITH_TIMEOUT(eval("window.outcome").toString() != QStringLiteral("pending"),
                               10000);
      QVERIFY2(eval("window.outcome").toString() == QStringLiteral("failed"), c.what);
    }
    for (const QString& target : {file_url, other}) {
      const QString script =
          QStringLiteral(
              "window.outcome = 'pending'; var x = new XMLHttpRequest();"
              " x.onload = function() { window.outcome = 'read:' + x.responseText; };"
              " x.onerror = function() { window.outcome = 'failed'; };"
              " try { x.open('GET', '%1'); x.send(); } catch (e) { window.outcome = 'failed'; } 1")
              .arg(target);
      eval(script);
      QTRY_VERIFY_WITH_TIMEOUT(eval("window.outcome").toString() != QStringLiteral("pending"),
                               10000);
      QCOMPARE(eval("window.outcome").toString(), QStringLiteral("failed"));
    }
    // Relative addresses no longer lead to the program's directory.
    QCOMPARE(eval("fetch('data/qnl6.sdb').then(function() { window.outcome = 'read'; },"
                  " function() { window.outcome = 'failed'; }), window.outcome = 'pending'")
                 .toString(),
             QStringLiteral("pending"));
    QTRY_COMPARE_WITH_TIMEOUT(eval("window.outcome").toString(), QStringLiteral("failed"), 10000);
  }

  void otherOriginsCannotReadTheServedPages() {
    load_html("<html><body>private</body></html>");
    const QString own = view_.current_url();
    load(server_.base_url() + "page");
    eval(QStringLiteral("window.outcome = 'pending'; fetch('%1').then(function(r) {"
                        " return r.text(); }).then(function(t) { window.outcome = 'read:' + t; },"
                        " function() { window.outcome = 'failed'; }); 1")
             .arg(own));
    QTRY_VERIFY_WITH_TIMEOUT(eval("window.outcome").toString() != QStringLiteral("pending"), 10000);
    QCOMPARE(eval("window.outcome").toString(), QStringLiteral("failed"));
    // Nor can it go there itself.
    eval(QStringLiteral("location.href = '%1'; 1").arg(own));
    QTest::qWait(1000);
    QVERIFY(!eval("document.body ? document.body.innerText : ''")
                 .toString()
                 .contains(QStringLiteral("private")));
  }

  void localFilesResolveAgainstTheirDirectory() {
    QTemporaryDir dir;
    QVERIFY(QImage::fromData(png(3)).save(dir.filePath(QStringLiteral("pic.png"))));
    QFile page(dir.filePath(QStringLiteral("page.html")));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><body><img src='pic.png'></body></html>");
    page.close();

    const char* image_width = "document.images.length ? document.images[0].naturalWidth : -1";
    load(to_local(QFileInfo(page).absoluteFilePath()));
    QTRY_COMPARE_WITH_TIMEOUT(eval(image_width).toInt(), 3, 10000);
    QCOMPARE(WebView::base_directory(), QFileInfo(page).absolutePath());

    // HTML text handed over later does not: it reaches no local file.
    load_html("<html><body><img src='pic.png'></body></html>");
    QTest::qWait(300);
    QCOMPARE(eval(image_width).toInt(), 0);
  }

  void destroyingTwiceAndAfterTheHostWentIsSafe() {
    WebView view;
    auto* host = new QWidget;
    host->resize(200, 100);
    QVERIFY(view.create_view(host));
    delete host;  // takes the engine view with it
    QVERIFY(!view.created());
    view.destroy_view();
    view.destroy_view();
    QWidget again;
    QVERIFY(view.create_view(&again));
    QVERIFY(view.created());
  }

  void cleanupTestCase() { view_.destroy_view(); }

 private:
  void load(TextView url) {
    QSignalSpy loaded(&view_, &WebView::load_finished);
    view_.load_url(url);
    QVERIFY(loaded.wait(20000));
  }

  void load_html(TextView html) {
    QSignalSpy loaded(&view_, &WebView::load_finished);
    view_.load_html(html);
    QVERIFY(loaded.wait(20000));
    QCOMPARE(loaded.first().first().toBool(), true);
  }

  QVariant eval(const QString& script) {
    QVariant result;
    bool done = false;
    view_.run_script(script, [&](const QVariant& v) {
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
  QVariant eval(const char* script) { return eval(QString::fromUtf8(script)); }

  // A real mouse click on the element's centre, as the user gives it.
  void click_element(const char* id) {
    const QVariantList centre =
        eval(QStringLiteral("(function() { var r = document.getElementById('%1')"
                            ".getBoundingClientRect(); return [r.left + r.width / 2,"
                            " r.top + r.height / 2]; })()")
                 .arg(QString::fromUtf8(id)))
            .toList();
    QCOMPARE(centre.size(), 2);
    QWidget* target = view_.engine_view()->focusProxy();
    QVERIFY(target);
    QTest::mouseClick(target, Qt::LeftButton, {},
                      QPoint(qRound(centre[0].toDouble()), qRound(centre[1].toDouble())));
  }

  FixtureServer server_;
  QWidget host_;
  WebView view_;
  std::vector<NewWindowRequest> requests_;
};

QNL_GUI_TEST_MAIN(WebViewTest)
#include "web_view_test.moc"
