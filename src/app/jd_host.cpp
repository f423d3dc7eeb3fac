#include "app/jd_host.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/application.h"
#include "app/pumped_wait.h"
#include "jd/bean_collection.h"
#include "jd/sign_in.h"
#include "net/endpoints.h"
#include "net/web_request.h"
#include "ui/login_centre.h"
#include "ui/main_window.h"
#include "ui/message.h"
#include "ui/qt_text.h"

namespace qnl {
namespace {

// Edit boxes hold "\n" where the core's text has "\r\n".
QString box_text(const Text& text) {
  return to_qstring(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

Text from_box(const QString& text) {
  QString copy = text;
  return to_local(copy.replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
}

}  // namespace

JdHost::JdHost(MainWindow& window, AppState& state, QObject* parent)
    : QObject(parent),
      window_(window),
      state_(state),
      account_(state.db, state.config, *this, *this) {
  window_.on_jd_account_label = [this] { open_login_centre(2); };
  window_.on_pc_sign_in = [this] { pc_sign_in(); };
  window_.on_mobile_sign_in = [this] { mobile_sign_in(); };
  window_.on_collect_beans = [this] { collect_beans(); };
  window_.on_link_sources = [this] { show_link_sources(); };
  window_.on_bean_row_double_click = [this] { copy_bean_row(); };
  connect(&window_, &MainWindow::closing, this, &JdHost::shut_down);
}

JdHost::~JdHost() {
  for (std::function<void()>* hook :
       {&window_.on_jd_account_label, &window_.on_pc_sign_in, &window_.on_mobile_sign_in,
        &window_.on_collect_beans, &window_.on_link_sources, &window_.on_bean_row_double_click})
    *hook = nullptr;
  if (LoginCentreWindow* window = login_window_) {
    window->close();
    delete window;
  }
}

void JdHost::shut_down() {
  closing_ = true;
  emit stopping();
}

// ---- Tasks ----

void JdHost::run_task(QPushButton* button, void (*task)(JdAccount&)) {
  // A second click on the same task is refused while it runs.
  QPointer<QPushButton> guard(button);
  button->setEnabled(false);
  task(account_);
  if (guard && !closing_) guard->setEnabled(true);
}

void JdHost::pc_sign_in() {
  run_task(window_.按钮2, &run_pc_sign_ins);
}

void JdHost::mobile_sign_in() {
  run_task(window_.按钮3, &run_mobile_sign_ins);
}

void JdHost::collect_beans() {
  run_task(window_.一键领京豆, &run_bean_collection);
}

void JdHost::show_link_sources() {
  state_.reader_view.load_html(link_sources_page());
}

void JdHost::copy_bean_row() {
  const QTreeWidgetItem* item = window_.京东列表框->currentItem();
  if (!item) return;
  BeanRow row;
  for (int column = 0; column < static_cast<int>(row.size()); ++column)
    row[column] = to_local(item->text(column));
  set_links_text(bean_row_text(row));
}

// ---- Login centre ----

void JdHost::open_login_centre(int mode) {
  state_.login_mode = mode;
  if (login_window_) {
    // One login centre at a time: the open one turns to the asked login.
    show_login_page();
    login_window_->raise();
    login_window_->activateWindow();
    return;
  }
  auto* window = new LoginCentreWindow();
  login_window_ = window;
  delete_pending_ = false;
  window->on_save_login_state = [this] { save_login_state(); };
  window->on_resized = [window] {
    window->外形框1->resize(window->width() - 20, window->外形框1->height());
  };
  window->on_closing = [this] { close_login_centre(); };
  window->move(50, 50);
  window->show();
  login_centre_created(window);
}

void JdHost::login_centre_created(LoginCentreWindow* window) {
  QPointer<LoginCentreWindow> alive(window);
  WebView::start_engine();
  pumped_wait(100);
  if (!alive || alive != login_window_) return;  // closed meanwhile
  state_.login_view.create_view(window->外形框1);
  QCoreApplication::processEvents();
  pumped_wait(50);
  if (!alive || alive != login_window_) return;
  show_login_page();
}

void JdHost::show_login_page() {
  if (!login_window_ || !state_.login_view.created()) return;
  switch (state_.login_mode) {
    case 1:
      login_window_->setWindowTitle(QStringLiteral("登陆京东网页版"));
      state_.login_view.load_url(endpoints::kJdPcLoginPage);
      state_.login_view.set_zoom(0.8);
      break;
    case 2:
      login_window_->setWindowTitle(QStringLiteral("登陆京东手机版"));
      state_.login_view.load_url(endpoints::kJdMobileLoginPage);
      state_.login_view.set_zoom(0.9);
      break;
    default:
      break;
  }
}

void JdHost::close_login_centre() {
  // The view and its page go with the window; the main window's view is
  // not affected.
  state_.login_view.destroy_view();
  WebView::stop_engine();
  state_.login_mode = 0;
  LoginCentreWindow* window = login_window_;
  login_window_ = nullptr;
  if (!window) return;
  if (saving_)
    delete_pending_ = true;  // its save handler is still running
  else
    window->deleteLater();
}

void JdHost::save_login_state() {
  if (saving_ || !login_window_) return;
  QPointer<LoginCentreWindow> window = login_window_;
  saving_ = true;
  window->按钮1->setEnabled(false);
  Text cookie = state_.login_view.get_cookies();
  const int mode = state_.login_mode;
  const bool ok = (mode == 1 || mode == 2) && account_.check_jd_login(mode == 1, cookie);
  saving_ = false;
  if (delete_pending_) {
    // The user closed the window while the login was checked.
    delete_pending_ = false;
    if (window) window->deleteLater();
    return;
  }
  if (!window || closing_) return;
  window->按钮1->setEnabled(true);
  if (ok)
    window->close();
  else
    qnl::show_message(window, QStringLiteral("未检测到登陆状态，请重试！"));
}

int JdHost::login_mode() {
  return state_.login_mode;
}

// ---- Screen ----

void JdHost::jd_log(const Text& text) {
  QPlainTextEdit* box = window_.京东输出框;
  QString line = box_text(text) + QLatin1Char('\n');
  // Lines start on a line of their own, also after the usage text.
  const QString content = box->toPlainText();
  if (!content.isEmpty() && !content.endsWith(QLatin1Char('\n'))) line.prepend(QLatin1Char('\n'));
  QTextCursor cursor = box->textCursor();
  cursor.movePosition(QTextCursor::End);
  box->setTextCursor(cursor);
  box->insertPlainText(line);
}

void JdHost::set_jd_output(const Text& text) {
  window_.京东输出框->setPlainText(box_text(text));
}

Text JdHost::account_caption() {
  return to_local(window_.京东信息显示->text());
}

void JdHost::set_account_caption(const Text& text) {
  window_.京东信息显示->setText(to_qstring(text));
}

Text JdHost::links_text() {
  return from_box(window_.京东链接框->toPlainText());
}

void JdHost::set_links_text(const Text& text) {
  window_.京东链接框->setPlainText(box_text(text));
}

Text JdHost::interval_text() {
  return to_local(window_.编辑框_京东操作间隔->text());
}

void JdHost::show_bean_list(bool visible) {
  window_.京东列表框->setVisible(visible);
  if (visible) window_.京东列表框->raise();
}

void JdHost::clear_bean_rows() {
  window_.京东列表框->clear();
}

void JdHost::insert_bean_row(int position, const BeanRow& row) {
  auto* item = new QTreeWidgetItem();
  for (int column = 0; column < static_cast<int>(row.size()); ++column) {
    item->setText(column, to_qstring(row[column]));
    item->setToolTip(column, item->text(column));  // the narrow columns cut texts short
  }
  QTreeWidget* list = window_.京东列表框;
  if (position < 0 || position > list->topLevelItemCount())
    list->addTopLevelItem(item);
  else
    list->insertTopLevelItem(position, item);
}

int JdHost::bean_row_count() {
  return window_.京东列表框->topLevelItemCount();
}

Text JdHost::bean_cell(int row, int column) {
  const QTreeWidgetItem* item = window_.京东列表框->topLevelItem(row);
  return item ? to_local(item->text(column)) : Text();
}

void JdHost::set_bean_cell(int row, int column, const Text& text) {
  if (QTreeWidgetItem* item = window_.京东列表框->topLevelItem(row)) {
    item->setText(column, to_qstring(text));
    item->setToolTip(column, item->text(column));
  }
}

void JdHost::show_message(const Text& text) {
  qnl::show_message(&window_, to_qstring(text));
}

// ---- Waiting ----

bool JdHost::wait(int64_t milliseconds) {
  if (closing_) return false;
  if (milliseconds > 0) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &JdHost::stopping, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::min<int64_t>(milliseconds, INT32_MAX)));
    loop.exec();
  }
  return !closing_;
}

bool JdHost::run_exchange(const std::function<void(HttpConnection&)>& exchange) {
  if (closing_) return false;
  HttpConnection connection;
  std::atomic<bool> done{false};
  QEventLoop loop;
  connect(this, &JdHost::stopping, &loop, &QEventLoop::quit);
  std::thread worker([&] {
    exchange(connection);
    done.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  while (!done.load(std::memory_order_acquire)) {
    if (closing_) {
      connection.cancel();  // the exchange ends at once
      break;
    }
    loop.exec();
  }
  worker.join();
  return !closing_;
}

}  // namespace qnl
