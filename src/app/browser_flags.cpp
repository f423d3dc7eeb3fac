#include "app/browser_flags.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QQuickWindow>
#include <QSGRendererInterface>

namespace qnl {
namespace {

bool sandbox_is_off(int argc, char** argv) {
  const QByteArray off = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
  if (!off.isEmpty() && off != "0") return true;
  for (int i = 1; i < argc; ++i)
    if (argv[i] && std::string_view(argv[i]) == "--no-sandbox") return true;
  return false;
}

}  // namespace

bool only_software_gl(const QString& device_directory, const QByteArray& always_software) {
  if (!always_software.isEmpty() && always_software != "0" && always_software.toLower() != "false")
    return true;
  const QDir devices(device_directory);
  const QFileInfoList nodes =
      QDir(devices.filePath(QStringLiteral("dri")))
          .entryInfoList({QStringLiteral("card*"), QStringLiteral("renderD*")},
                         QDir::System | QDir::Files);
  for (const QFileInfo& node : nodes)
    if (node.isReadable() && node.isWritable()) return false;
  const QFileInfo nvidia(devices.filePath(QStringLiteral("nvidiactl")));
  return !(nvidia.exists() && nvidia.isReadable() && nvidia.isWritable());
}

std::string browser_memory_switches(const BrowserSetting& setting) {
  std::string switches;
  auto add = [&switches](std::string_view s) {
    if (!switches.empty()) switches += ' ';
    switches += s;
  };
  if (setting.software_gl) {
    add("--disable-gpu");
    add("--disable-gpu-compositing");
  }
  if (setting.sandbox_off) add("--no-zygote");
  return switches;
}

void apply_browser_memory_flags(int argc, char** argv) {
  // The user's own choices stand.
  if (qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) return;
  const bool quick_chosen =
      qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QSG_RHI_BACKEND");
  BrowserSetting setting;
#ifdef __linux__
  setting.software_gl =
      !quick_chosen && only_software_gl(QStringLiteral("/dev"), qgetenv("LIBGL_ALWAYS_SOFTWARE"));
#endif  // elsewhere the platform's own OpenGL fallbacks stand
  setting.sandbox_off = sandbox_is_off(argc, argv);
  if (setting.software_gl) {
    // Nothing draws with OpenGL then, and the window system's OpenGL is not
    // set up at all: the context shared with the web engine would load the
    // rasteriser and its compiler all the same.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, false);
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
      qputenv("QT_XCB_GL_INTEGRATION", "none");
  }
  const std::string switches = browser_memory_switches(setting);
  if (!switches.empty()) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray::fromStdString(switches));
}

}  // namespace qnl
