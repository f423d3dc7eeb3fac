// Message boxes with one OK button. Tests swap the presenter to record the
// messages instead of blocking on them.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace qnl {

struct ShownMessage {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

using MessagePresenter = std::function<void(QWidget* parent, const ShownMessage&)>;

// Shows the message and returns when it is dismissed.
void show_message(QWidget* parent, const QString& text, const QString& caption = {},
                  QMessageBox::Icon icon = QMessageBox::NoIcon);
// Replaces the presenter (tests); an empty one restores the real message box.
void set_message_presenter(MessagePresenter presenter);

}  // namespace qnl
