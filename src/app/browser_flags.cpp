#include "app/browser_flags.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <algorithm>
#include <array>
#include <cctype>

namespace qnl {
namespace {

// Whether OpenGL here can only be a software rasteriser, told without
// loading an OpenGL driver: the hardware drivers need a DRM device node the
// user may open (Mesa's, or NVIDIA's own), and Mesa can be told to use its
// rasteriser anyway.
bool only_software_gl() {
#ifdef __linux__
  const QByteArray forced = qgetenv("LIBGL_ALWAYS_SOFTWARE");
  if (!forced.isEmpty() && forced != "0" && forced.toLower() != "false") return true;
  const QFileInfoList nodes =
      QDir(QStringLiteral("/dev/dri"))
          .entryInfoList({QStringLiteral("card*"), QStringLiteral("renderD*")},
                         QDir::System | QDir::Files);
  for (const QFileInfo& node : nodes)
    if (node.isReadable() && node.isWritable()) return false;
  const QFileInfo nvidia(QStringLiteral("/dev/nvidiactl"));
  return !(nvidia.exists() && nvidia.isReadable() && nvidia.isWritable());
#else
  return false;  // the platform's own OpenGL fallbacks stand
#endif
}

bool sandbox_is_off(int argc, char** argv) {
  const QByteArray off = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
  if (!off.isEmpty() && off != "0") return true;
  for (int i = 1; i < argc; ++i)
    if (argv[i] && std::string_view(argv[i]) == "--no-sandbox") return true;
  return false;
}

}  // namespace

bool is_software_gl_renderer(std::string_view renderer) {
  std::string lowered(renderer);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lowered.find_first_not_of(" \t") == std::string::npos) return true;
  static constexpr std::array<std::string_view, 7> kSoftware = {
      "llvmpipe",    "softpipe",    "software rasterizer",
      "swiftshader", "gdi generic", "microsoft basic render driver",
      "swr"};
  for (std::string_view name : kSoftware) {
    const size_t at = lowered.find(name);
    if (at == std::string::npos) continue;
    // "swr" only as a word of its own (Mesa's OpenSWR), not inside another.
    if (name == "swr" &&
        ((at > 0 && std::isalnum(static_cast<unsigned char>(lowered[at - 1]))) ||
         (at + 3 < lowered.size() && std::isalnum(static_cast<unsigned char>(lowered[at + 3])))))
      continue;
    return true;
  }
  return false;
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
  setting.software_gl = !quick_chosen && only_software_gl();
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
