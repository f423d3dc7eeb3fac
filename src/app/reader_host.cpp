#include "app/reader_host.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QUrl>

#include "app/application.h"
#include "app/pumped_wait.h"
#include "net/endpoints.h"
#include "reader/forum_account.h"
#include "reader/quick_reply.h"
#include "reader/reader_page.h"
#include "ui/main_window.h"
#include "ui/message.h"
#include "ui/qt_text.h"
#include "webview/web_view.h"

namespace qnl {
namespace {

constexpr int kPolls = 100;
constexpr int kPollMs = 50;
constexpr int kBrowserColumnWidth = 250;

// Only web addresses reach the desktop's browser: a page's file:, smb: or
// custom-scheme address would hand it to whatever program claims it.
void open_in_browser(TextView url) {
  const QUrl address(to_qstring(url), QUrl::StrictMode);
  const QString scheme = address.scheme().toLower();
  if (!address.isValid() || address.host().isEmpty() ||
      (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
    return;
  QDesktopServices::openUrl(address);
}

Text L(const char* utf8) {
  return to_local(QString::fromUtf8(utf8));
}

}  // namespace

ReaderHost::ReaderHost(MainWindow& window, AppState& state, QObject* parent)
    : QObject(parent), window_(window), state_(state) {}

ReaderHost::~ReaderHost() {
  stop_reader();
  for (auto& run : retired_) {
    run->connection.cancel();
    if (run->thread.joinable()) run->thread.join();
  }
}

size_t ReaderHost::live_readers() const {
  return retired_.size() + (current_ ? 1 : 0);
}

void ReaderHost::open_post(int row, int x) {
  const QTreeWidgetItem* item = window_.文章列表框->topLevelItem(row);
  if (!item) return;
  if (x < kBrowserColumnWidth) {
    open_in_browser(to_local(item->text(1)));
    return;
  }
  start_reader(static_cast<int>(to_integer(to_local(item->text(0)))), to_local(item->text(1)),
               to_local(item->text(3)));
  const uint64_t mine = generation_;
  show_page(reader_loading_page(), {});

  Text page;
  for (int poll = 0; poll < kPolls; ++poll) {
    // A double-click during the wait started a newer reader, which now owns
    // the view; this open is over.
    if (!current_ || current_->generation != mine) return;
    if (current_->finished.load(std::memory_order_acquire)) {
      // The reader's last status arrives before the outcome is shown.
      QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
      page = std::move(current_->result);
      break;
    }
    pumped_wait(kPollMs);
  }
  if (!current_ || current_->generation != mine) return;
  // The nonce stays with the page that declares it.
  const Text nonce = text_between(page, "'nonce-", "'");
  stop_reader();
  join_finished();
  if (page.empty()) {
    show_page(reader_timeout_page(), {});
    window_.show_status(L("加载失败，请重试"));
    return;
  }
  show_page(page, nonce);
}

void ReaderHost::start_reader(int rule_id, Text url, Text title) {
  stop_reader();
  join_finished();
  auto run = std::make_unique<Run>();
  run->generation = ++generation_;
  Run* raw = run.get();
  PostToRead post{rule_id, std::move(url), std::move(title)};
  Text nonce = make_page_nonce();
  raw->thread = std::thread([this, raw, post = std::move(post), nonce = std::move(nonce)] {
    status_from_reader(raw->generation, L("开始读取>> ") + post.url);
    Text page = read_post_page(post, state_.rules, raw->connection, nonce);
    status_from_reader(raw->generation, L("内容读取完毕！"));
    raw->result = std::move(page);
    raw->finished.store(true, std::memory_order_release);
  });
  current_ = std::move(run);
}

void ReaderHost::stop_reader() {
  if (!current_) return;
  current_->connection.cancel();
  retired_.push_back(std::move(current_));
}

void ReaderHost::join_finished() {
  std::erase_if(retired_, [](std::unique_ptr<Run>& run) {
    if (!run->finished.load(std::memory_order_acquire)) return false;
    run->thread.join();
    return true;
  });
}

void ReaderHost::status_from_reader(uint64_t generation, Text text) {
  // Any thread: the status bar is changed on the UI thread, and only for
  // the reader that is still wanted.
  QMetaObject::invokeMethod(
      this,
      [this, generation, text = std::move(text)] {
        if (current_ && current_->generation == generation) window_.show_status(text);
      },
      Qt::QueuedConnection);
}

void ReaderHost::show_page(TextView html, Text nonce) {
  state_.reader_view.load_html(html);
  shown_nonce_ = std::move(nonce);
}

void ReaderHost::on_new_window(const NewWindowRequest& request) {
  if (request.url.empty()) return;
  if (request.target != "tosoft") {
    // A page opens nothing on the desktop by itself: only the user's click.
    if (request.user_initiated) open_in_browser(request.url);
    return;
  }
  // Only the reply bar of the forum page shown now, clicked by the user, may
  // reply in the user's name: the request must come from window.open in
  // the top frame of the page that declares the nonce of the page loaded
  // last, right after a real click (the engine's word). Post content cannot
  // run script there (the page allows only its own), so nothing else can ask
  // in its name.
  if (shown_nonce_.empty() || request.source != NewWindowSource::script ||
      !request.user_initiated || !request.top_frame ||
      find_text(request.page_policy, "'nonce-" + shown_nonce_ + "'") < 1 ||
      !state_.reader_view.shows_html())
    return;
  const std::optional<ReplyRequest> reply = decode_reply_request(request.url);
  if (!reply) return;
  const ReplyOutcome outcome = post_reply(*reply, state_.rules);
  if (outcome.posted)
    window_.show_status(L("回帖成功"));
  else
    show_message(&window_, to_qstring(outcome.answer));
}

void ReaderHost::open_forum_login() {
  shown_nonce_.clear();
  state_.reader_view.load_url(endpoints::kForumMobileLogin);
  window_.确认登陆->show();
  window_.确认登陆->raise();
}

void ReaderHost::save_forum_login() {
  Text cookie = state_.reader_view.get_cookies();
  const bool saved = qnl::save_forum_login(cookie, state_.db, state_.rules);
  show_message(&window_, saved ? QStringLiteral("已保存本次登陆信息")
                               : QStringLiteral("获取登陆信息失败，请重新登陆"));
  window_.确认登陆->hide();
}

}  // namespace qnl
