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

// Call before the QApplication exists, with the program's arguments: unless
// the user set QTWEBENGINE_CHROMIUM_FLAGS or chose a Qt Quick back end, sets
// the switches above and, where OpenGL could only be a software rasteriser
// (no GPU device to open; on Linux), draws web views with Qt Quick's software
// renderer and creates no OpenGL context: the rasteriser and its compiler are
// then never loaded into the process.
void apply_browser_memory_flags(int argc, char** argv);

}  // namespace qnl
