// The main window: plan panel, tabs with the article list and the JD page,
// the web view host, the status bar and the settings menu.
#pragma once

#include <QWidget>
#include <functional>
#include <string_view>

#include "text/text.h"
#include "ui_main_window.h"

namespace qnl {

class MainWindow : public QWidget, public Ui::MainWindowForm {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);

  // Status bar: part 1 becomes " " + text, part 2 the short time stamp.
  void show_status(TextView text);

  // Text of the JD interval box forced to at least 3.
  void check_jd_interval();
  // Header click on the article list: column 3 copies the support group's
  // number, tells so, and opens the group's join page; nothing without a
  // group.
  void copy_group_number(int column);
  // The support group the title header invites to (the constructor takes it
  // from the endpoints); an empty number shows the bare title.
  void set_support_group(std::string_view number, std::string_view join_page);

  // Hooks the application fills in.
  std::function<void()> on_resized;
  std::function<void()> on_select_all;
  std::function<void()> on_monitor_button;
  std::function<void()> on_open_settings;
  std::function<void()> on_forum_login;
  std::function<void()> on_more_push;
  std::function<void()> on_confirm_login;
  std::function<void(int row, int x)> on_article_double_click;
  // The JD page.
  std::function<void()> on_jd_account_label;
  std::function<void()> on_pc_sign_in;
  std::function<void()> on_mobile_sign_in;
  std::function<void()> on_collect_beans;
  std::function<void()> on_link_sources;
  std::function<void()> on_bean_row_double_click;

 signals:
  void closing();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void show_settings_menu();

  QString group_number_;
  QString group_join_page_;
};

}  // namespace qnl
