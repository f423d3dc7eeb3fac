#include "ui/status_bar_parts.h"

#include <algorithm>

namespace qnl {

StatusBarParts::StatusBarParts(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::NoFrame);
  for (auto& part : parts_) {
    part = new QLabel(this);
    part->setFrameShape(QFrame::Panel);
    part->setFrameShadow(QFrame::Sunken);
    part->setTextFormat(Qt::PlainText);
  }
  parts_[0]->setText(QStringLiteral(" 状态"));
  arrange();
}

void StatusBarParts::set_part_width(int part, int width) {
  if (part < 0 || part > 1) return;
  widths_[static_cast<size_t>(part)] = width;
  arrange();
}

int StatusBarParts::part_width(int part) const {
  if (part == 0 || part == 1) return widths_[static_cast<size_t>(part)];
  return part == 2 ? parts_[2]->width() : 0;
}

void StatusBarParts::set_part_text(int part, const QString& text) {
  if (part < 0 || part > 2) return;
  parts_[static_cast<size_t>(part)]->setText(text);
}

QString StatusBarParts::part_text(int part) const {
  if (part < 0 || part > 2) return {};
  return parts_[static_cast<size_t>(part)]->text();
}

void StatusBarParts::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  arrange();
}

void StatusBarParts::arrange() {
  int left = 0;
  for (size_t i = 0; i < 2; ++i) {
    const int w = std::max(0, widths_[i]);
    parts_[i]->setVisible(w > 0);
    parts_[i]->setGeometry(left, 0, w, height());
    left += w;
  }
  parts_[2]->setGeometry(left, 0, std::max(0, width() - left), height());
}

}  // namespace qnl
