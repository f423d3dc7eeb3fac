// Process set-up that keeps the embedded browser light: the program sits in
// the background all day with a web view open.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace qnl {

// What the machine gives the browser, as far as its memory is concerned.
struct BrowserSetting {
  bool software_gl = false;  // OpenGL is a software rasteriser (or none)
  bool sandbox_off = false;  // Chromium runs without its sandbox
};

// Whether OpenGL on this Linux machine can only be Mesa's software
// rasteriser, told without loading an OpenGL driver: a hardware driver needs
// a device node the user may open (DRM's under `device_directory`/dri, or
// NVIDIA's own `device_directory`/nvidiactl), and Mesa takes its rasteriser
// anyway when LIBGL_ALWAYS_SOFTWARE (`always_software`) is set.
bool only_software_gl(const QString& device_directory, const QByteArray& always_software);

// The Chromium switches for `setting`, space-separated:
// - software OpenGL: no GPU process work and no GPU compositing; Chromium
//   then rasterises and composites in software, as it would on that
//   rasteriser anyway, without the GL stack behind it;
// - no sandbox: no zygote processes, whose only job is to start sandboxed
//   renderers.
std::string browser_memory_switches(const BrowserSetting& setting);

// Call before the QApplication exists, with the program's arguments: unless
// the user set QTWEBENGINE_CHROMIUM_FLAGS or chose a Qt Quick back end, sets
// the switches above and, where OpenGL could only be a software rasteriser
// (no GPU device to open; on Linux), draws web views with Qt Quick's software
// renderer and creates no OpenGL context: the rasteriser and its compiler are
// then never loaded into the process.
void apply_browser_memory_flags(int argc, char** argv);

}  // namespace qnl
