#include "ui/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QUrl>

#include "net/endpoints.h"
#include "skin/skin.h"
#include "text/time_text.h"
#include "ui/message.h"
#include "ui/qt_text.h"

namespace qnl {
namespace {

void set_column_widths(QTreeWidget* list, std::initializer_list<int> widths) {
  int column = 0;
  for (const int width : widths) {
    list->setColumnWidth(column, width);
    list->setColumnHidden(column, width == 0);
    ++column;
  }
}

template <typename Fn>
void call(const Fn& hook) {
  if (hook) hook();
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
  setupUi(this);
  set_support_group(endpoints::kSupportGroupNumber, endpoints::kSupportGroupJoinPage);
  set_column_widths(文章列表框, {0, 0, 77, 327, 90});
  文章列表框->header()->setSectionsClickable(true);
  set_column_widths(京东列表框, {0, 150, 0, 0, 0, 0, 50, 40});
  超级按钮3->raise();  // stays clickable above the web view
  登陆外形框->raise();
  确认登陆->raise();

  connect(选择框1, &QCheckBox::clicked, this, [this] { call(on_select_all); });
  connect(线报按钮, &QPushButton::clicked, this, [this] { call(on_monitor_button); });
  connect(线报按钮1, &QPushButton::clicked, this, [this] {
    // The plan panel stays hidden for the rest of the run.
    登陆外形框->hide();
    call(on_monitor_button);
  });
  connect(超级按钮3, &QPushButton::clicked, this, &MainWindow::show_settings_menu);
  connect(确认登陆, &QPushButton::clicked, this, [this] { call(on_confirm_login); });
  connect(编辑框_京东操作间隔, &QLineEdit::textChanged, this, &MainWindow::check_jd_interval);
  connect(文章列表框->header(), &QHeaderView::sectionClicked, this, &MainWindow::copy_group_number);
  connect(文章列表框, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    if (!on_article_double_click) return;
    const int x = 文章列表框->viewport()->mapFromGlobal(QCursor::pos()).x();
    on_article_double_click(文章列表框->indexOfTopLevelItem(item), x);
  });
  京东链接框->viewport()->installEventFilter(this);

  // The JD page. The account label shows text from JD's answers: never markup.
  京东信息显示->setTextFormat(Qt::PlainText);
  京东信息显示->installEventFilter(this);
  connect(按钮2, &QPushButton::clicked, this, [this] { call(on_pc_sign_in); });
  connect(按钮3, &QPushButton::clicked, this, [this] { call(on_mobile_sign_in); });
  connect(一键领京豆, &QPushButton::clicked, this, [this] { call(on_collect_beans); });
  connect(超级按钮2, &QPushButton::clicked, this, [this] { call(on_link_sources); });
  connect(京东列表框, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem*, int) { call(on_bean_row_double_click); });
}

void MainWindow::show_status(TextView text) {
  状态条1->set_part_text(1, QStringLiteral(" ") + to_qstring(text));
  状态条1->set_part_text(2, to_qstring(time_stamp(false)));
}

void MainWindow::check_jd_interval() {
  if (to_integer(to_local(编辑框_京东操作间隔->text())) < 3)
    编辑框_京东操作间隔->setText(QStringLiteral("3"));
}

void MainWindow::set_support_group(std::string_view number, std::string_view join_page) {
  group_number_ = QString::fromUtf8(number.data(), static_cast<qsizetype>(number.size()));
  group_join_page_ = QString::fromUtf8(join_page.data(), static_cast<qsizetype>(join_page.size()));
  // With a group, the title column invites the user to it; a click on the
  // header copies the number.
  QString title = QStringLiteral("　标题");
  if (!group_number_.isEmpty())
    title += QStringLiteral("　　　　　　　　点此加群：") + group_number_;
  文章列表框->headerItem()->setText(3, title);
}

void MainWindow::copy_group_number(int column) {
  if (column != 3 || group_number_.isEmpty()) return;
  QApplication::clipboard()->setText(group_number_);
  show_message(this, QStringLiteral("已经复制群号码"));
  if (!group_join_page_.isEmpty()) QDesktopServices::openUrl(QUrl(group_join_page_));
}

void MainWindow::show_settings_menu() {
  QMenu menu(this);
  menu.addAction(QStringLiteral("软件设置"), this, [this] { call(on_open_settings); });
  menu.addAction(QStringLiteral("登陆赚客吧"), this, [this] { call(on_forum_login); });
  add_skin_menu(menu);
  menu.addAction(QStringLiteral("更多推送"), this, [this] { call(on_more_push); });
  menu.exec(QCursor::pos());
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The status bar keeps to the bottom edge like a platform status bar.
  状态条1->setGeometry(0, height() - 状态条1->height(), width(), 状态条1->height());
  call(on_resized);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closing();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == 京东链接框->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    京东链接框->clear();
    return true;
  }
  if (watched == 京东信息显示 && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    call(on_jd_account_label);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace qnl
