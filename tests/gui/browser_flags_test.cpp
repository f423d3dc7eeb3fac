// The embedded browser's memory set-up: which OpenGL renderers count as
// software, the switches each machine gets, and that a web view set up that
// way still draws its page.
#include "app/browser_flags.h"

#include <QImage>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSignalSpy>
#include <QTemporaryDir>
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
  void softwareOnlyWithoutAnOpenableGpuDevice_data() {
    QTest::addColumn<QStringList>("nodes");
    QTest::addColumn<QByteArray>("always_software");
    QTest::addColumn<bool>("software");
    QTest::newRow("no devices") << QStringList{} << QByteArray() << true;
    QTest::newRow("render node") << QStringList{"dri/renderD128"} << QByteArray() << false;
    QTest::newRow("card node only") << QStringList{"dri/card0"} << QByteArray() << false;
    QTest::newRow("nvidia") << QStringList{"nvidiactl"} << QByteArray() << false;
    QTest::newRow("other dri entry") << QStringList{"dri/by-path"} << QByteArray() << true;
    QTest::newRow("forced software") << QStringList{"dri/renderD128"} << QByteArray("1") << true;
    QTest::newRow("forced true") << QStringList{"dri/renderD128"} << QByteArray("true") << true;
    QTest::newRow("forcing off") << QStringList{"dri/renderD128"} << QByteArray("0") << false;
    QTest::newRow("forcing false") << QStringList{"dri/renderD128"} << QByteArray("FALSE") << false;
  }
  void softwareOnlyWithoutAnOpenableGpuDevice() {
    QFETCH(QStringList, nodes);
    QFETCH(QByteArray, always_software);
    QFETCH(bool, software);
    QTemporaryDir devices;
    for (const QString& node : nodes) {
      QDir(devices.path()).mkpath(QFileInfo(devices.filePath(node)).path());
      if (node.endsWith(QLatin1String("by-path"))) {
        QDir(devices.path()).mkpath(node);  // a directory, not a device
        continue;
      }
      QFile file(devices.filePath(node));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(only_software_gl(devices.path(), always_software), software);
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
