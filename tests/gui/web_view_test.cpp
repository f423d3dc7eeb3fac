// The embedded web view against the fixture server: new-window requests with
// their target name, cookies of the shown page, bound page functions.
#include "webview/web_view.h"

#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
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
</body></html>)HTML";

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
    host_.resize(400, 300);
    host_.show();
    QVERIFY(view_.create_view(&host_));
    QVERIFY(view_.create_view(&host_));  // a second call changes nothing
    view_.set_new_window_handler([this](const NewWindowRequest& r) { requests_.push_back(r); });
    QSignalSpy loaded(&view_, &WebView::load_finished);
    view_.load_url(server_.base_url() + "page");
    QVERIFY(loaded.wait(20000));
    QCOMPARE(loaded.first().first().toBool(), true);
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

  void blankTargetLinkArrivesToo() {
    requests_.clear();
    view_.run_script(QStringLiteral("document.getElementById('blank').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(requests_.size(), size_t{1}, 10000);
    QCOMPARE(requests_[0].target, Text("_blank"));
    QCOMPARE(requests_[0].url, server_.base_url() + "post?id=7");
    QVERIFY(requests_[0].source == NewWindowSource::link);
    QVERIFY(!requests_[0].user_initiated);
    QVERIFY(view_.current_url().endsWith(QStringLiteral("/page")));  // no navigation
  }

  void cookiesOfTheShownPageIncludeHttpOnly() {
    QTRY_COMPARE_WITH_TIMEOUT(view_.get_cookies(), Text("sid=abc; auth=x1"), 10000);
  }

  void boundPageFunctionIsCalled() {
    std::vector<Text> received;
    view_.bind_page_function(QStringLiteral("do_huitie"), 2,
                             [&](const std::vector<Text>& a) { received = a; });
    QSignalSpy loaded(&view_, &WebView::load_finished);
    view_.load_url(server_.base_url() + "page");
    QVERIFY(loaded.wait(20000));
    view_.run_script(QStringLiteral("do_huitie('a', '中文', 'ignored')"));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), size_t{2}, 10000);
    QCOMPARE(received[0], Text("a"));
    QCOMPARE(to_qstring(received[1]), QStringLiteral("中文"));
  }

  void localFilesResolveAgainstTheirDirectory() {
    QTemporaryDir dir;
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(dir.filePath(QStringLiteral("pic.png"))));
    QFile page(dir.filePath(QStringLiteral("page.html")));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><body><img src='pic.png'></body></html>");
    page.close();

    auto image_width = [this] {
      QVariant width;
      bool done = false;
      view_.run_script(
          QStringLiteral("document.images.length ? document.images[0].naturalWidth : -1"),
          [&](const QVariant& v) {
            width = v;
            done = true;
          });
      while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      return width.toInt();
    };
    QSignalSpy loaded(&view_, &WebView::load_finished);
    view_.load_url(to_local(QFileInfo(page).absoluteFilePath()));
    QVERIFY(loaded.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(image_width(), 3, 10000);
    QCOMPARE(WebView::base_directory(), QFileInfo(page).absolutePath());

    // HTML text handed over later resolves against the same directory.
    view_.load_html("<html><body><img src='pic.png'></body></html>");
    QVERIFY(loaded.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(image_width(), 3, 10000);
  }

  void cleanupTestCase() { view_.destroy_view(); }

 private:
  FixtureServer server_;
  QWidget host_;
  WebView view_;
  std::vector<NewWindowRequest> requests_;
};

QNL_GUI_TEST_MAIN(WebViewTest)
#include "web_view_test.moc"
