#include "app/desktop_alerts.h"

#include <QAbstractItemModel>

#include "app/application.h"
#include "app/monitor_host.h"
#include "app/notifier.h"
#include "app/push_settings_store.h"
#include "app/reader_host.h"
#include "app/tray.h"
#include "ui/main_window.h"
#include "ui/push_dialog.h"
#include "ui/qt_text.h"

namespace qnl {

DesktopAlerts::DesktopAlerts(Application& app, MonitorHost& host, QString settings_path,
                             QObject* parent)
    : QObject(parent),
      app_(app),
      host_(host),
      settings_path_(std::move(settings_path)),
      tray_(std::make_unique<AppTray>()),
      notifier_(std::make_unique<DesktopNotifier>(&tray_->icon())) {
  host_.wave_alerts().set_settings(load_push_settings(settings_path_));
  MainWindow& w = app_.main_window();
  w.on_more_push = [this] { open_push_dialog(); };

  tray_->on_show = [this] { show_main_window(); };
  tray_->on_toggle = [this] {
    app_.toggle_monitor();
    refresh_tray();
  };
  tray_->on_quit = [this] { app_.main_window().close(); };  // the same end as closing it
  notifier_->on_open = [this](const Text& url) { open_post(url); };
  host_.on_wave_found_posts = [this](const std::vector<PushPost>& posts, bool popup_on) {
    wave_found_posts(posts, popup_on);
  };
  // The buttons' own handlers run first and switch the caption.
  connect(w.线报按钮, &QPushButton::clicked, this, &DesktopAlerts::refresh_tray);
  connect(w.线报按钮1, &QPushButton::clicked, this, &DesktopAlerts::refresh_tray);
  QAbstractItemModel* list = w.文章列表框->model();
  connect(list, &QAbstractItemModel::rowsInserted, this, &DesktopAlerts::refresh_tray);
  connect(list, &QAbstractItemModel::rowsRemoved, this, &DesktopAlerts::refresh_tray);
  connect(list, &QAbstractItemModel::modelReset, this, &DesktopAlerts::refresh_tray);
  refresh_tray();
}

DesktopAlerts::~DesktopAlerts() {
  if (dialog_) delete dialog_;
  host_.on_wave_found_posts = nullptr;
}

void DesktopAlerts::wave_found_posts(const std::vector<PushPost>& posts, bool popup_on) {
  if (popup_on) notifier_->notify(posts);  // follows the pop-up's switch
  refresh_tray();
}

void DesktopAlerts::refresh_tray() {
  MainWindow& w = app_.main_window();
  tray_->refresh(w.线报按钮->text() == QStringLiteral("暂停"), w.文章列表框->topLevelItemCount());
}

void DesktopAlerts::show_main_window() {
  MainWindow& w = app_.main_window();
  w.showNormal();
  w.raise();
  w.activateWindow();
}

void DesktopAlerts::open_post(const Text& url) {
  show_main_window();
  MainWindow& w = app_.main_window();
  w.选择夹1->setCurrentIndex(0);
  const QString address = to_qstring(url);
  for (int row = 0; row < w.文章列表框->topLevelItemCount(); ++row) {
    if (w.文章列表框->topLevelItem(row)->text(1) != address) continue;
    w.文章列表框->setCurrentItem(w.文章列表框->topLevelItem(row));
    // Any point right of the list's browser strip reads the post in the view.
    app_.reader_host().open_post(row, 1 << 20);
    return;
  }
}

void DesktopAlerts::open_push_dialog() {
  if (dialog_) {
    dialog_->raise();
    dialog_->activateWindow();
    return;
  }
  dialog_ = new PushDialog(*host_.wave_alerts().settings());
  dialog_->setAttribute(Qt::WA_DeleteOnClose);
  dialog_->on_save = [this](const PushSettings& settings) {
    host_.wave_alerts().set_settings(settings);
    if (!save_push_settings(settings_path_, settings))
      app_.main_window().show_status(to_local(QStringLiteral("推送设置保存失败")));
  };
  dialog_->show();
}

}  // namespace qnl
