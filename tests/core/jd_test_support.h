// Shared by the JD tests: a recording screen, a waiter that records its waits
// and runs exchanges in place, and the fixture servers playing JD's hosts
// (TLS on 443 and plain on 80) behind one route table keyed by host and path.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "jd/jd_account.h"
#include "jd/jd_view.h"
#include "net/endpoints.h"
#include "net/web_request.h"
#include "storage/configuration.h"
#include "storage/database.h"
#include "support/fixture_server.h"
#include "support/test_database.h"

namespace qnl::test {

class RecordingJdView : public JdView {
 public:
  std::vector<Text> log;  // every jd_log text, in order
  Text output;            // the output box's content
  Text caption = gbk("手机端未登陆 - 电脑端没登陆");
  int mode = 0;
  std::vector<int> opened;  // modes the login centre was opened with
  Text links;
  Text interval = "3";
  bool list_shown = false;
  std::vector<BeanRow> rows;
  std::vector<Text> messages;

  void jd_log(const Text& text) override {
    log.push_back(text);
    output += text + "\r\n";
  }
  void set_jd_output(const Text& text) override {
    output = text;
    log.push_back("<output>" + text);
  }
  Text account_caption() override { return caption; }
  void set_account_caption(const Text& text) override { caption = text; }
  void open_login_centre(int m) override {
    mode = m;
    opened.push_back(m);
  }
  int login_mode() override { return mode; }
  Text links_text() override { return links; }
  void set_links_text(const Text& text) override { links = text; }
  Text interval_text() override { return interval; }
  void show_bean_list(bool visible) override { list_shown = visible; }
  void clear_bean_rows() override { rows.clear(); }
  void insert_bean_row(int position, const BeanRow& row) override {
    if (position < 0)
      rows.push_back(row);
    else
      rows.insert(rows.begin() + position, row);
  }
  int bean_row_count() override { return static_cast<int>(rows.size()); }
  Text bean_cell(int row, int column) override { return rows.at(row).at(column); }
  void set_bean_cell(int row, int column, const Text& text) override {
    rows.at(row).at(column) = text;
  }
  void show_message(const Text& text) override { messages.push_back(text); }
};

class RecordingWaiter : public JdWaiter {
 public:
  std::vector<int64_t> waits;
  // Called after each wait is recorded (a test closes the login centre or
  // changes the interval box here).
  std::function<void()> after_wait;

  bool wait(int64_t milliseconds) override {
    waits.push_back(milliseconds);
    if (after_wait) after_wait();
    return true;
  }
  bool run_exchange(const std::function<void(HttpConnection&)>& exchange) override {
    HttpConnection connection;
    exchange(connection);
    return true;
  }
  bool closing() override { return false; }
};

// A request as the JD fixture saw it.
struct JdRequest {
  std::string host;
  std::string path;  // with its query
  FixtureRequest request;
};

class JdFixture : public ::testing::Test {
 protected:
  using Handler = std::function<FixtureResponse(const FixtureRequest&)>;

  JdFixture()
      : tls_([this](const FixtureRequest& r) { return dispatch(r); },
             FixtureServer::Transport::kTls),
        plain_([this](const FixtureRequest& r) { return dispatch(r); }),
        overrides_(connect_all(), true) {}

  void SetUp() override {
    ASSERT_TRUE(database_.ok());
    ASSERT_TRUE(db_.db_open(database_.path()));
  }

  // Answers requests to `host` whose path (without its query) is `path`.
  void route(std::string_view host, std::string path, Handler handler) {
    std::lock_guard lock(mutex_);
    routes_[std::string(host) + path] = std::move(handler);
  }
  void answer(std::string_view host, std::string path, std::string utf8_body,
              std::vector<std::string> headers = {}) {
    route(host, std::move(path), [utf8_body, headers](const FixtureRequest&) {
      return FixtureResponse::ok(utf8_body, headers);
    });
  }

  std::vector<JdRequest> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  // "host/path" of every request, in order, without queries.
  std::vector<std::string> visited() {
    std::vector<std::string> out;
    for (const JdRequest& r : requests())
      out.push_back(r.host + r.path.substr(0, r.path.find('?')));
    return out;
  }

  void store_logins(Text pc, Text wap) {
    Configuration c = *config_.current();
    c.jd_coo_pc = std::move(pc);
    c.jd_coo_wap = std::move(wap);
    config_.replace(c);
  }

  // Both placeholders replaced: no gate sends a check.
  void mark_verified() { view_.caption = gbk("abc:gold - 京东：:1"); }

  Text stored(const char* column) {
    const QueryResult r = db_.db_query(Text("SELECT ") + column + " FROM con");
    return r.rows.empty() ? Text("<no row>") : r.rows[0][0];
  }

  ShippedDatabase database_;
  Database db_;
  ConfigStore config_;
  RecordingJdView view_;
  RecordingWaiter waiter_;
  JdAccount account_{db_, config_, view_, waiter_};

 private:
  std::vector<std::string> connect_all() {
    std::vector<std::string> entries;
    for (std::string_view host :
         {endpoints::kJdPcLoginHost, endpoints::kJdMobileLoginHost, endpoints::kJdBeanHost,
          endpoints::kJdUserInfoHost, endpoints::kJdVipHost, endpoints::kJdFinanceSignHost,
          endpoints::kJdCommunityHost, endpoints::kJdDataWalletHost, endpoints::kJdClientApiHost,
          endpoints::kJdDoubleSignHost, endpoints::kJdPayHost, endpoints::kJdFinanceMobileHost,
          endpoints::kJdLotteryHost, endpoints::kJdShopGiftHost, endpoints::kJdMallHost}) {
      entries.push_back(tls_.connect_to(host, 443));
      entries.push_back(plain_.connect_to(host, 80));
    }
    return entries;
  }

  FixtureResponse dispatch(const FixtureRequest& r) {
    std::string host = r.header("Host").value_or("");
    host = host.substr(0, host.find(':'));
    const std::string target = r.path();
    const std::string path = target.substr(0, target.find('?'));
    Handler handler;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back({host, target, r});
      const auto found = routes_.find(host + path);
      if (found != routes_.end()) handler = found->second;
    }
    return handler ? handler(r) : FixtureResponse::with_status(404);
  }

  std::mutex mutex_;
  std::map<std::string, Handler> routes_;
  std::vector<JdRequest> requests_;
  FixtureServer tls_;
  FixtureServer plain_;
  ScopedNetOverrides overrides_;
};

}  // namespace qnl::test
