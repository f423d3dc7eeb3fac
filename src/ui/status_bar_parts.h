// A status bar of three parts: a fixed caption, the message and its time.
#pragma once

#include <QFrame>
#include <QLabel>
#include <array>

namespace qnl {

class StatusBarParts : public QFrame {
  Q_OBJECT

 public:
  explicit StatusBarParts(QWidget* parent = nullptr);

  // Width of one part; the last part takes the rest. A width of 0 or less
  // draws the part empty.
  void set_part_width(int part, int width);
  int part_width(int part) const;
  void set_part_text(int part, const QString& text);
  QString part_text(int part) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void arrange();
  std::array<QLabel*, 3> parts_{};
  std::array<int, 2> widths_{42, 50};
};

}  // namespace qnl
