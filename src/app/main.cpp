// Program entry.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Quenlo v1.51"));
  window.resize(1000, 600);
  window.show();
  return app.exec();
}
