// The embedded browser's memory set-up: which OpenGL renderers count as
// software, the switches each machine gets, and that a web view set up that
// way still draws its page.
#include "app/browser_flags.h"

#include <QImage>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSignalSpy>
#include <QWebEngineView>
#include <QWidget>
#include <QtTest>

#include "app/platform.h"
#include "ui/qt_text.h"
#include "webview/web_view.h"

using namespace qnl;

class BrowserFlagsTest : public QObject {
  Q_OBJECT

 private slots:
  void softwareRenderersAreKnownByName_data() {
    QTest::addColumn<QString>("renderer");
    QTest::addColumn<bool>("software");
    QTest::newRow("llvmpipe") << "llvmpipe (LLVM 15.0.6, 256 bits)" << true;
    QTest::newRow("llvmpipe upper case") << "LLVMPIPE (LLVM 11.0.1, 128 bits)" << true;
    QTest::newRow("softpipe") << "softpipe" << true;
    QTest::newRow("mesa swrast") << "Software Rasterizer" << true;
    QTest::newRow("openswr") << "SWR (LLVM 12.0.0, 256 bits)" << true;
    QTest::newRow("swiftshader") << "Google SwiftShader" << true;
    QTest::newRow("angle swiftshader")
        << "ANGLE (Google, Vulkan 1.1.0 (SwiftShader Device (Subzero)), SwiftShader driver)"
        << true;
    QTest::newRow("windows gdi") << "GDI Generic" << true;
    QTest::newRow("windows warp") << "Microsoft Basic Render Driver" << true;
    QTest::newRow("no opengl") << "" << true;
    QTest::newRow("blank") << "  " << true;
    QTest::newRow("intel") << "Mesa Intel(R) UHD Graphics 620 (KBL GT2)" << false;
    QTest::newRow("amd") << "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)" << false;
    QTest::newRow("nvidia") << "NVIDIA GeForce GTX 1650/PCIe/SSE2" << false;
    QTest::newRow("virgl") << "virgl (Intel(R) Xe Graphics)" << false;
    // "swr" inside another word is not Mesa's rasteriser.
    QTest::newRow("swr inside a word") << "Answrx GPU" << false;
  }
  void softwareRenderersAreKnownByName() {
    QFETCH(QString, renderer);
    QFETCH(bool, software);
    QCOMPARE(is_software_gl_renderer(renderer.toStdString()), software);
  }

  void switchesFollowTheMachine_data() {
    QTest::addColumn<bool>("software_gl");
    QTest::addColumn<bool>("sandbox_off");
    QTest::addColumn<QString>("switches");
    QTest::newRow("hardware, sandboxed") << false << false << "";
    QTest::newRow("software, sandboxed")
        << true << false << "--disable-gpu --disable-gpu-compositing";
    QTest::newRow("hardware, no sandbox") << false << true << "--no-zygote";
    QTest::newRow("software, no sandbox")
        << true << true << "--disable-gpu --disable-gpu-compositing --no-zygote";
  }
  void switchesFollowTheMachine() {
    QFETCH(bool, software_gl);
    QFETCH(bool, sandbox_off);
    QFETCH(QString, switches);
    const std::string got = browser_memory_switches({software_gl, sandbox_off});
    QCOMPARE(QString::fromStdString(got), switches);
    // Never a switch that folds the browser into one process.
    QVERIFY(got.find("single-process") == std::string::npos);
  }

  // main() applied the set-up before the application existed, as the
  // program does; the web engine starts with the first view below.
  void setUpMatchesWhatItChose() {
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const bool software_quick = QQuickWindow::sceneGraphBackend() == QLatin1String("software");
    QCOMPARE(flags.contains("--disable-gpu"), software_quick);
    // No OpenGL of the window system either (the test starts without one set).
    QCOMPARE(qgetenv("QT_XCB_GL_INTEGRATION") == "none", software_quick);
    // The test runs with the sandbox off (see the test's environment).
    QVERIFY(flags.contains("--no-zygote"));
  }

  void aViewSetUpThisWayDrawsItsPage() {
    QWidget host;
    host.resize(300, 200);
    host.show();
    WebView view;
    QVERIFY(view.create_view(&host));
    QSignalSpy loaded(&view, &WebView::load_finished);
    view.load_html(to_local(QStringLiteral(
        "<html><body style='margin:0;background:rgb(200,30,40)'>&nbsp;</body></html>")));
    QVERIFY(loaded.wait(20000));
    QWidget* engine = view.engine_view();
    QVERIFY(engine);
    // The compositor delivers frames after the load: wait for the colour.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
          const QImage image = engine->grab().toImage();
          const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
          return centre.red() == 200 && centre.green() == 30 && centre.blue() == 40;
        }(),
        15000);
  }

  void theUsersOwnFlagsStand() {
    const QByteArray kept = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--user-choice");
    apply_browser_memory_flags(0, nullptr);
    QCOMPARE(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), QByteArray("--user-choice"));
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", kept);
  }
};

int main(int argc, char** argv) {
  qnl::prepare_web_engine_environment();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  for (const char* name : {"QTWEBENGINE_CHROMIUM_FLAGS", "QT_XCB_GL_INTEGRATION",
                           "QT_QUICK_BACKEND", "QSG_RHI_BACKEND"})
    qunsetenv(name);
  apply_browser_memory_flags(argc, argv);
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  BrowserFlagsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "browser_flags_test.moc"
