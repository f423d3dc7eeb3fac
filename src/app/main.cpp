// Program entry.
#include <QApplication>
#include <QFont>
#include <cstdlib>

#include "app/application.h"
#include "app/browser_flags.h"
#include "app/platform.h"

int main(int argc, char** argv) {
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
