#include "app/application.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include "app/desktop_alerts.h"
#include "app/jd_host.h"
#include "app/monitor_host.h"
#include "app/pumped_wait.h"
#include "app/reader_host.h"
#include "headless/data_location.h"
#include "net/endpoints.h"
#include "skin/skin.h"
#include "ui/main_window.h"
#include "ui/message.h"
#include "ui/qt_text.h"
#include "ui/reminder_window.h"
#include "ui/settings_window.h"

namespace qnl {
namespace {

constexpr char kReaderUserAgent[] =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 11_0 like Mac OS X) AppleWebKit/604.1.38 (KHTML, like "
    "Gecko) Version/11.0 Mobile/15A372 Safari/604.1";

}  // namespace

std::filesystem::path database_path(const QString& program_directory) {
  return data_directory(QFileInfo(program_directory).filesystemAbsoluteFilePath()) / "qnl6.sdb";
}

Application::Application(QString program_directory)
    : program_directory_(std::move(program_directory)), state_(std::make_unique<AppState>()) {}

Application::~Application() {
  reader_host_.reset();  // joins cancelled readers before windows and state go
  jd_host_.reset();      // closes the login centre
  // The worker goes first: it writes into the windows and the database.
  monitor_.reset();
  desktop_alerts_.reset();
  // Windows first (they hold views and refer to the state), then the state,
  // whose database closes last.
  if (settings_window_) delete settings_window_;
  reminder_window_.reset();
  state_->reader_view.destroy_view();
  state_->login_view.destroy_view();
  main_window_.reset();
  state_->db.db_close();
}

StartupResult Application::start() {
  main_window_ = std::make_unique<MainWindow>();
  reader_host_ = std::make_unique<ReaderHost>(*main_window_, *state_);
  main_window_->on_article_double_click = [this](int row, int x) {
    reader_host_->open_post(row, x);
  };
  main_window_->on_confirm_login = [this] { reader_host_->save_forum_login(); };
  state_->reader_view.set_new_window_handler(
      [this](const NewWindowRequest& r) { reader_host_->on_new_window(r); });
  main_window_->on_select_all = [this] { select_all(); };
  main_window_->on_monitor_button = [this] { toggle_monitor(); };
  main_window_->on_open_settings = [this] { open_settings_window(); };
  main_window_->on_forum_login = [this] { reader_host_->open_forum_login(); };
  jd_host_ = std::make_unique<JdHost>(*main_window_, *state_);
  connect(main_window_.get(), &MainWindow::closing, this, [this] {
    // Start-up's waits run before the event loop does, where exit() is
    // lost: the flag ends start-up as well.
    closed_ = true;
    QCoreApplication::exit(0);
  });
  main_window_->move(50, 50);
  main_window_->show();
  // Resizes lay the window out from here on. The first layout, with its
  // waits, runs in the created handler rather than inside show(): a close
  // during those waits then really hides the window.
  main_window_->on_resized = [this] { layout_main_window(); };
  const StartupResult result = on_main_window_created();
  return closed_ ? fatal(StartupResult::closed) : result;
}

StartupResult Application::on_main_window_created() {
  apply_skin(kept_skin());  // skin 9 until the user chooses another
  layout_main_window();
  if (closed_) return StartupResult::closed;
  reminder_window_ = std::make_unique<ReminderWindow>();
  reminder_window_->on_show_main_window = [this] { restore_from_minimised(*main_window_); };
  monitor_host_ = std::make_unique<MonitorHost>(*main_window_, *reminder_window_);
  monitor_ = std::make_unique<Monitor>(state_->db, state_->rules, state_->config, *monitor_host_,
                                       state_->stored);
  const std::filesystem::path database = database_path(program_directory_);
  desktop_alerts_ = std::make_unique<DesktopAlerts>(
      *this, *monitor_host_, QFileInfo(database.parent_path() / "push.ini").absoluteFilePath());

  WebView& view = state_->reader_view;
  view.load_html(to_local(QStringLiteral("欢迎使用")));
  view.load_url(Text(endpoints::kStartPage) + "?f=qnl1.3");
  main_window_->文章列表框->clear();  // the form's sample rows are never shown

  std::error_code missing;
  if (!std::filesystem::exists(database, missing)) {
    show_message(
        main_window_.get(),
        QStringLiteral("数据库文件 qnl6.sdb 缺失，无法工作！\r\n\r\n\r\n请到下载完整版本！"),
        QStringLiteral("启动失败"), QMessageBox::Critical);
    return fatal(StartupResult::database_missing);
  }
  // A busy, read-only or unreadable file is named as such; it is not a bad file.
  auto problem = [this](const QString& otherwise) {
    const Text text = state_->db.problem_text();
    return text.empty() ? otherwise : to_qstring(text);
  };
  if (!state_->db.db_open(database)) {
    show_message(main_window_.get(), problem(QStringLiteral("数据库打开失败！")));
    return fatal(StartupResult::database_unopenable);
  }
  fill_plan_tree(load_rules(state_->db, state_->rules));
  const ConfigLoad config = load_configuration(state_->db, state_->config);
  if (config == ConfigLoad::unreadable) {
    show_message(main_window_.get(), problem(QStringLiteral("数据库打开失败！")));
    return fatal(StartupResult::database_unopenable);
  }
  if (config == ConfigLoad::incompatible) {
    show_message(main_window_.get(), QStringLiteral("不兼容老版本数据库，请重新下载"));
    return fatal(StartupResult::incompatible);
  }
  return StartupResult::running;
}

StartupResult Application::fatal(StartupResult result) {
  // The event loop has not started: the caller ends the process with 0.
  main_window_->hide();
  return result;
}

void Application::layout_main_window() {
  MainWindow& w = *main_window_;
  // The window's outer size, as the form's numbers were laid out for it;
  // before the window manager has framed the window this is its own size.
  const QSize outer = w.frameGeometry().size().expandedTo(w.size());
  const int W = outer.width();
  const int H = outer.height();
  w.选择夹1->resize(w.选择夹1->width(), H - 56);
  // The list sits under the tab bar inside its page: its height follows the
  // tab control's, less the bar.
  w.文章列表框->resize(w.文章列表框->width(), w.选择夹1->height() - 26);
  w.登陆外形框->setGeometry(2, 2, W - 12, H - 56);
  w.超级按钮3->move(W - 45, w.超级按钮3->y());
  w.浏览器框->resize(W - w.选择夹1->width() - 18, w.选择夹1->height());
  w.状态条1->set_part_width(1, W - 150);

  WebView& view = state_->reader_view;
  view.bind_page_function(QStringLiteral("do_huitie"), 4, [](const std::vector<Text>&) {});
  WebView::start_engine();
  if (web_view_ready_ || in_layout_wait_) return;
  // The first layout gives the engine a moment before and after creating the
  // view while the window keeps working; a resize arriving meanwhile only
  // repeats the geometry above.
  in_layout_wait_ = true;
  pumped_wait(100);
  if (closed_) {  // closed meanwhile: no engine start for a program that ends
    in_layout_wait_ = false;
    return;
  }
  view.create_view(w.浏览器框);
  view.set_user_agent(kReaderUserAgent);
  QCoreApplication::processEvents();
  pumped_wait(50);
  in_layout_wait_ = false;
  web_view_ready_ = true;
}

void Application::toggle_monitor() {
  QPushButton* button = main_window_->线报按钮;
  if (!monitor_) return;
  if (button->text() != QStringLiteral("开始")) {
    button->setText(QStringLiteral("开始"));
    monitor_->stop();
    return;
  }
  button->setText(QStringLiteral("暂停"));
  monitor_->start(ticked_plans());
}

void Application::open_settings_window() {
  if (settings_window_) {
    settings_window_->raise();
    settings_window_->activateWindow();
    return;
  }
  settings_window_ = new SettingsWindow(state_->db, state_->config);
  settings_window_->move(50, 50);
  settings_window_->show();
}

void Application::fill_plan_tree(const std::vector<Plan>& plans) {
  QTreeWidget* tree = main_window_->方案框;
  tree->clear();
  for (const Plan& plan : plans) {
    auto* item = new QTreeWidgetItem(tree);
    item->setText(0, to_qstring(plan.name));
    item->setData(0, Qt::UserRole, plan.id);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, plan.ticked ? Qt::Checked : Qt::Unchecked);
  }
}

void Application::select_all() {
  QTreeWidget* tree = main_window_->方案框;
  const Qt::CheckState state = main_window_->选择框1->isChecked() ? Qt::Checked : Qt::Unchecked;
  for (int i = 0; i < tree->topLevelItemCount(); ++i)
    tree->topLevelItem(i)->setCheckState(0, state);
}

std::vector<int> Application::ticked_plans() {
  Q_ASSERT(QThread::currentThread() == thread());
  std::vector<int> ids;
  QTreeWidget* tree = main_window_->方案框;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = tree->topLevelItem(i);
    if (item->checkState(0) == Qt::Checked) ids.push_back(item->data(0, Qt::UserRole).toInt());
  }
  return ids;
}

}  // namespace qnl
