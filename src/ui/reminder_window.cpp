#include "ui/reminder_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QUrl>

namespace qnl {

QPoint reminder_position(QSize screen, int taskbar_top, QSize window) {
  const int allowance = screen.height() - taskbar_top;
  if (allowance <= 200)
    return {screen.width() - window.width(), screen.height() - window.height() - allowance};
  return {screen.width() - window.width() - 62, screen.height() - window.height()};
}

void restore_from_minimised(QWidget& window) {
  if (window.isMinimized()) window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  window.raise();
}

ReminderWindow::ReminderWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
  setupUi(this);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(size());
  超级列表框1->setColumnWidth(0, 322);
  超级列表框1->setColumnHidden(1, true);
  超级列表框1->setColumnWidth(2, 76);
  超级列表框1->header()->setSectionsClickable(true);
  connect(超级列表框1, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*, int) {
    const QTreeWidgetItem* current = 超级列表框1->currentItem();
    if (current) QDesktopServices::openUrl(QUrl(current->text(1)));
  });
  connect(超级列表框1->header(), &QHeaderView::sectionClicked, this, [this](int) {
    hide();
    if (on_show_main_window) on_show_main_window();
  });
  countdown_.setInterval(1000);
  connect(&countdown_, &QTimer::timeout, this, &ReminderWindow::count_down);
  place_reminder_window();
}

void ReminderWindow::add_reminder_row(const QString& title, const QString& url,
                                      const QString& time) {
  auto* row = new QTreeWidgetItem();
  row->setText(0, title);
  row->setText(1, url);
  row->setText(2, time);
  超级列表框1->insertTopLevelItem(0, row);
  if (isHidden()) show();
}

void ReminderWindow::clear_reminders() {
  超级列表框1->clear();
}

void ReminderWindow::start_countdown() {
  remaining_ = 5;
  countdown_.start();
}

void ReminderWindow::count_down() {
  --remaining_;
  setWindowTitle(QStringLiteral("提醒窗口　　　%1 秒后关闭").arg(remaining_));
  if (remaining_ > 0) return;
  countdown_.stop();
  hide();
}

void ReminderWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  start_countdown();
}

void ReminderWindow::place_reminder_window() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect full = screen->geometry();
  const QRect work = screen->availableGeometry();
  // A work area that ends above the screen's bottom means a taskbar along
  // the bottom edge; otherwise the taskbar (if any) starts at the top.
  const int taskbar_top = work.bottom() < full.bottom() ? work.bottom() + 1 - full.top()
                          : work == full                ? full.height()
                                                        : 0;
  // The numbers are for the outer window: its frame is known once the
  // native window exists (on X11 only once the window manager has framed
  // it, which `event` catches up with).
  create();
  placed_frame_ = frameGeometry().size();
  move(full.topLeft() + reminder_position(full.size(), taskbar_top, placed_frame_));
}

bool ReminderWindow::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  const QEvent::Type type = event->type();
  if ((type == QEvent::Show || type == QEvent::Move) && frameGeometry().size() != placed_frame_)
    place_reminder_window();
  return handled;
}

void ReminderWindow::closeEvent(QCloseEvent* event) {
  // Closing only hides: the window is shown again with its next posts.
  event->ignore();
  hide();
}

}  // namespace qnl
