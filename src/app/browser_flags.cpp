#include "app/browser_flags.h"

#include <QCoreApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <algorithm>
#include <array>
#include <cctype>

namespace qnl {
namespace {

// The name of the OpenGL renderer a context of this process gets; empty when
// there is no OpenGL.
std::string gl_renderer_name() {
  QOffscreenSurface surface;
  surface.create();
  QOpenGLContext own;
  QOpenGLContext* context = QOpenGLContext::globalShareContext();
  if (!context) {
    if (!own.create()) return {};
    context = &own;
  }
  if (!surface.isValid() || !context->makeCurrent(&surface)) return {};
  const auto* name = reinterpret_cast<const char*>(context->functions()->glGetString(GL_RENDERER));
  std::string result = name ? name : "";
  context->doneCurrent();
  return result;
}

bool sandbox_is_off() {
  const QByteArray off = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
  if (!off.isEmpty() && off != "0") return true;
  return QCoreApplication::arguments().contains(QStringLiteral("--no-sandbox"));
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

void apply_browser_memory_flags() {
  // The user's own choices stand.
  if (qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) return;
  const bool quick_chosen =
      qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QSG_RHI_BACKEND");
  BrowserSetting setting;
  setting.software_gl = !quick_chosen && is_software_gl_renderer(gl_renderer_name());
  setting.sandbox_off = sandbox_is_off();
  if (setting.software_gl) QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  const std::string switches = browser_memory_switches(setting);
  if (!switches.empty()) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray::fromStdString(switches));
}

}  // namespace qnl
