// Program entry.
#include <QApplication>
#include <QFont>
#include <cstdlib>

#include "app/application.h"
#include "app/browser_flags.h"
#include "app/platform.h"
#include "headless/headless.h"

int main(int argc, char** argv) {
  // Before anything of the display or the web engine.
  if (qnl::wants_headless(argc, argv)) return qnl::start_headless(argc, argv);
  qnl::prepare_web_engine_environment();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  qnl::apply_browser_memory_flags(argc, argv);
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);  // closing the main window ends the program
  qnl::use_form_font();

  qnl::Application quenlo(QCoreApplication::applicationDirPath());
  if (quenlo.start() != qnl::StartupResult::running) return 0;
  app.exec();
  return 0;
}
