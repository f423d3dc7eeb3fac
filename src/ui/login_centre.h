// The login centre window: an embedded browser in which the user logs in.
#pragma once

#include <QWidget>
#include <functional>

#include "ui_login_centre.h"

namespace qnl {

// Its owner deletes it (after on_closing) once nothing uses it any more.
class LoginCentreWindow : public QWidget, public Ui::LoginCentreForm {
  Q_OBJECT

 public:
  explicit LoginCentreWindow(QWidget* parent = nullptr);

  std::function<void()> on_save_login_state;
  std::function<void()> on_resized;
  // The window is going: its view must be released now.
  std::function<void()> on_closing;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace qnl
