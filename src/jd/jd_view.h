// What the JD tasks need of the screen and of waiting. The application
// implements both on the window's thread; tests record.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "text/text.h"

namespace qnl {

class HttpConnection;

// One row of the bean list 京东列表框: its eight columns.
using BeanRow = std::array<Text, 8>;

// Columns of the bean list.
enum BeanColumn : int {
  kBeanLink = 1,
  kBeanShopId = 2,
  kBeanVenderId = 3,
  kBeanToken = 4,
  kBeanActivityId = 5,
  kBeanAction = 6,
  kBeanStatus = 7,
};

class JdView {
 public:
  virtual ~JdView() = default;

  // 京东输出框: appends `text` and a line break at the end of the content.
  virtual void jd_log(const Text& text) = 0;
  // 京东输出框: replaces the whole content.
  virtual void set_jd_output(const Text& text) = 0;

  // Caption of the account label 京东信息显示.
  virtual Text account_caption() = 0;
  virtual void set_account_caption(const Text& text) = 0;

  // Opens the login centre for the JD web site (1) or the mobile site (2)
  // and returns at once.
  virtual void open_login_centre(int mode) = 0;
  // 0 while no login centre is open, else the mode it was opened for.
  virtual int login_mode() = 0;

  // The links box 京东链接框, lines joined by "\r\n".
  virtual Text links_text() = 0;
  virtual void set_links_text(const Text& text) = 0;
  // Content of the interval box 编辑框_京东操作间隔, as it stands now.
  virtual Text interval_text() = 0;

  // The bean list.
  virtual void show_bean_list(bool visible) = 0;
  virtual void clear_bean_rows() = 0;
  // Inserts at `position` (0 = top); a negative position appends.
  virtual void insert_bean_row(int position, const BeanRow& row) = 0;
  virtual int bean_row_count() = 0;
  virtual Text bean_cell(int row, int column) = 0;
  virtual void set_bean_cell(int row, int column, const Text& text) = 0;

  // A message box with one OK button, no caption.
  virtual void show_message(const Text& text) = 0;
};

class JdWaiter {
 public:
  virtual ~JdWaiter() = default;
  // Waits while the window keeps working. False when the wait was cut short
  // because the program is closing: the task then stops at once.
  virtual bool wait(int64_t milliseconds) = 0;
  // Runs one exchange away from the window's thread and returns when it has
  // ended; the window keeps working meanwhile. The exchange runs on the
  // connection it is given, which closing the program cancels. False when
  // the program is closing (the exchange's result is then not used).
  virtual bool run_exchange(const std::function<void(HttpConnection&)>& exchange) = 0;
  // True once the program is closing.
  virtual bool closing() = 0;
};

}  // namespace qnl
