#include "ui/message.h"

namespace qnl {
namespace {

MessagePresenter& presenter() {
  static MessagePresenter current;
  return current;
}

}  // namespace

void show_message(QWidget* parent, const QString& text, const QString& caption,
                  QMessageBox::Icon icon) {
  if (presenter()) {
    presenter()(parent, ShownMessage{text, caption, icon});
    return;
  }
  QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

void set_message_presenter(MessagePresenter replacement) {
  presenter() = std::move(replacement);
}

}  // namespace qnl
