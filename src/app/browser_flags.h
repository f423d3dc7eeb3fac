// Process set-up that keeps the embedded browser light: the program sits in
// the background all day with a web view open.
#pragma once

#include <string>
#include <string_view>

namespace qnl {

// What the machine gives the browser, as far as its memory is concerned.
struct BrowserSetting {
  bool software_gl = false;  // OpenGL is a software rasteriser (or none)
  bool sandbox_off = false;  // Chromium runs without its sandbox
};

// True for the OpenGL renderer names of software rasterisers (Mesa's
// llvmpipe, softpipe and swrast, SwiftShader, Windows' own), and for an
// empty name (no OpenGL at all).
bool is_software_gl_renderer(std::string_view renderer);

// The Chromium switches for `setting`, space-separated:
// - software OpenGL: no GPU process work and no GPU compositing; Chromium
//   then rasterises and composites in software, as it would on that
//   rasteriser anyway, without the GL stack behind it;
// - no sandbox: no zygote processes, whose only job is to start sandboxed
//   renderers.
std::string browser_memory_switches(const BrowserSetting& setting);

// Call after the QApplication exists and before the first web view: probes
// OpenGL and, unless the user set QTWEBENGINE_CHROMIUM_FLAGS or chose a Qt
// Quick back end, sets the switches above and, under software OpenGL, draws
// web views with Qt Quick's software renderer (the OpenGL one would load the
// rasteriser's compiler into the process for nothing).
void apply_browser_memory_flags();

}  // namespace qnl
