#include "ui/login_centre.h"

#include <QCloseEvent>

namespace qnl {

LoginCentreWindow::LoginCentreWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setupUi(this);
  connect(按钮1, &QPushButton::clicked, this, [this] {
    if (on_save_login_state) on_save_login_state();
  });
}

void LoginCentreWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (on_resized) on_resized();
}

void LoginCentreWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted() && on_closing) on_closing();
}

}  // namespace qnl
