#include "app/platform.h"

#include <QApplication>
#include <QFont>
#include <cstdlib>

#include "webview/web_view.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qnl {

void prepare_web_engine_environment() {
  WebView::register_scheme();
#ifndef _WIN32
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
#endif
}

void use_form_font() {
  QFont font = QApplication::font();
  font.setPointSize(9);
  QApplication::setFont(font);
}

}  // namespace qnl
