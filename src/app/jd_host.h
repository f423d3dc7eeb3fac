// The JD page of the main window and the login centre: the JD tasks run on
// the window's thread, each request on a thread of its own while the window
// keeps working, and each task's button stays disabled while it runs.
#pragma once

#include <QObject>
#include <QPointer>

#include "jd/jd_account.h"
#include "jd/jd_view.h"
#include "ui/login_centre.h"

class QPushButton;

namespace qnl {

class MainWindow;
struct AppState;

class JdHost : public QObject, public JdView, public JdWaiter {
  Q_OBJECT

 public:
  JdHost(MainWindow& window, AppState& state, QObject* parent = nullptr);
  // Closes the login centre; no task may be running.
  ~JdHost() override;

  // The buttons and the list of the JD page.
  void pc_sign_in();
  void mobile_sign_in();
  void collect_beans();
  void show_link_sources();
  void copy_bean_row();

  // The login centre: the button that keeps the login, and the window itself
  // (null while none is open).
  void save_login_state();
  LoginCentreWindow* login_centre() const { return login_window_; }
  JdAccount& account() { return account_; }

  // The program is closing: waits and requests end, tasks stop.
  void shut_down();

  // JdView
  void jd_log(const Text& text) override;
  void set_jd_output(const Text& text) override;
  Text account_caption() override;
  void set_account_caption(const Text& text) override;
  void open_login_centre(int mode) override;
  int login_mode() override;
  Text links_text() override;
  void set_links_text(const Text& text) override;
  Text interval_text() override;
  void show_bean_list(bool visible) override;
  void clear_bean_rows() override;
  void insert_bean_row(int position, const BeanRow& row) override;
  int bean_row_count() override;
  Text bean_cell(int row, int column) override;
  void set_bean_cell(int row, int column, const Text& text) override;
  void show_message(const Text& text) override;

  // JdWaiter
  bool wait(int64_t milliseconds) override;
  bool run_exchange(const std::function<void(HttpConnection&)>& exchange) override;
  bool closing() override { return closing_; }

 signals:
  void stopping();

 private:
  void run_task(QPushButton* button, void (*task)(JdAccount&));
  void login_centre_created(LoginCentreWindow* window);
  void show_login_page();
  void close_login_centre();

  MainWindow& window_;
  AppState& state_;
  JdAccount account_;
  QPointer<LoginCentreWindow> login_window_;
  bool saving_ = false;
  bool delete_pending_ = false;  // the closed window goes once its save ends
  bool closing_ = false;
};

}  // namespace qnl
