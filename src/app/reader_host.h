// The forum reader in the main window: a found post read on a reader thread
// and shown in reader_view, the quick reply through the view's new-window
// requests, and the forum login made in the view.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "net/web_request.h"
#include "text/text.h"

namespace qnl {

class MainWindow;
struct AppState;
struct NewWindowRequest;

class ReaderHost : public QObject {
  Q_OBJECT

 public:
  ReaderHost(MainWindow& window, AppState& state, QObject* parent = nullptr);
  // Stops every reader and waits for it (their requests are cancelled).
  ~ReaderHost() override;

  // Double-click on row `row` of 文章列表框, `x` pixels from the list's left
  // edge: the left part opens the post in the default browser, the rest
  // reads it into reader_view while the window keeps working.
  void open_post(int row, int x);
  // The new-window handler of reader_view: replies of the shown forum post
  // are posted, everything else goes to the default browser.
  void on_new_window(const NewWindowRequest& request);
  // Menu item "登陆赚客吧": the forum's login page in reader_view.
  void open_forum_login();
  // Button 确认登陆: keeps the view's login when the forum accepts it.
  void save_forum_login();

  // Readers started and not yet joined (tests).
  size_t live_readers() const;

 private:
  struct Run {
    uint64_t generation = 0;
    HttpConnection connection;
    std::atomic<bool> finished{false};
    Text result;  // written before `finished`
    std::thread thread;
  };

  void start_reader(int rule_id, Text url, Text title);
  // Cancels the current reader; its result and statuses are never shown.
  void stop_reader();
  void join_finished();
  void status_from_reader(uint64_t generation, Text text);
  void show_page(TextView html, Text nonce);

  MainWindow& window_;
  AppState& state_;
  uint64_t generation_ = 0;
  std::unique_ptr<Run> current_;
  std::vector<std::unique_ptr<Run>> retired_;
  // The nonce of the forum page shown now; empty when reader_view shows
  // anything else. Replies are taken only from that page.
  Text shown_nonce_;
};

}  // namespace qnl
