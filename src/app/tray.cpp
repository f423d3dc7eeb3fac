#include "app/tray.h"

#include <QPainter>
#include <QPixmap>

namespace qnl {

QIcon quenlo_icon() {
  QPixmap picture(32, 32);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xFF, 0x50, 0x80));
  painter.drawRoundedRect(1, 1, 30, 30, 7, 7);
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setPixelSize(22);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(0, 0, 32, 31), Qt::AlignCenter, QStringLiteral("Q"));
  return QIcon(picture);
}

AppTray::AppTray(QObject* parent) : QObject(parent) {
  icon_.setIcon(quenlo_icon());
  show_ = menu_.addAction(QStringLiteral("显示主窗口"), this, [this] {
    if (on_show) on_show();
  });
  toggle_ = menu_.addAction(QStringLiteral("开始监控"), this, [this] {
    if (on_toggle) on_toggle();
  });
  menu_.addSeparator();
  quit_ = menu_.addAction(QStringLiteral("退出"), this, [this] {
    if (on_quit) on_quit();
  });
  icon_.setContextMenu(&menu_);
  connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if ((why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) && on_show)
      on_show();
  });
  refresh(false, 0);
  icon_.show();
}

QString AppTray::tooltip_for(bool monitoring, int found) {
  return QStringLiteral("Quenlo - %1\n本次运行抓到 %2 条新帖")
      .arg(monitoring ? QStringLiteral("监控中") : QStringLiteral("已暂停"))
      .arg(found);
}

void AppTray::refresh(bool monitoring, int found) {
  icon_.setToolTip(tooltip_for(monitoring, found));
  toggle_->setText(monitoring ? QStringLiteral("暂停监控") : QStringLiteral("开始监控"));
}

}  // namespace qnl
