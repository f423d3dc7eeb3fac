#include "monitor/monitor.h"

#include <chrono>
#include <condition_variable>

#include "monitor/alerts.h"
#include "monitor/crawl_rules.h"
#include "monitor/crawler.h"
#include "net/web_request.h"
#include "storage/configuration.h"
#include "storage/stored_posts.h"
#include "text/encoding.h"

namespace qnl {

Monitor::Monitor(Database& db, RuleGrid& rules, ConfigStore& config, MonitorView& view,
                 StoredPostIndex& stored)
    : db_(db), rules_(rules), config_(config), view_(view), stored_(stored) {}

Monitor::~Monitor() {
  stop();
  join();
}

void Monitor::start(std::vector<int> crawl_list) {
  join();
  std::lock_guard lock(mutex_);
  state_.crawl_list = std::move(crawl_list);
  connection_ = std::make_shared<HttpConnection>();
  worker_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

void Monitor::stop() {
  std::lock_guard lock(mutex_);
  if (!worker_.joinable()) return;
  worker_.request_stop();
  if (connection_) connection_->cancel();
}

bool Monitor::running() const {
  std::lock_guard lock(mutex_);
  return worker_.joinable() && !worker_.get_stop_token().stop_requested();
}

void Monitor::join() {
  std::jthread finishing;
  {
    std::lock_guard lock(mutex_);
    finishing = std::move(worker_);
  }
  if (finishing.joinable()) {
    finishing.request_stop();
    finishing.join();
  }
}

bool Monitor::wait(std::stop_token& stop, int64_t milliseconds) {
  std::mutex m;
  std::condition_variable_any woken;
  std::unique_lock lock(m);
  woken.wait_for(lock, stop, std::chrono::milliseconds(milliseconds), [] { return false; });
  return !stop.stop_requested();
}

void Monitor::run(std::stop_token stop) {
  std::shared_ptr<HttpConnection> connection;
  {
    std::lock_guard lock(mutex_);
    connection = connection_;
  }
  CrawlContext context{db_, rules_, config_, view_, state_, stored_, connection.get()};
  static const Text kStarting = utf8_to_local("开始抓取 ");
  static const Text kWaveEnd = utf8_to_local("本轮执行完毕，下一波将在 ");
  static const Text kWaveEndTail = utf8_to_local("s 后采集..");
  while (!stop.stop_requested()) {
    view_.clear_reminders();
    state_.special_found = false;
    for (const int rule_id : state_.crawl_list) {
      if (stop.stop_requested()) return;
      view_.show_status(kStarting + rules_.rule_field(rule_id, kName));
      crawl(rule_id, context);
      if (!wait(stop, kGapMs)) return;
    }
    if (state_.first_wave) {
      state_.first_wave = false;
      stored_.release();  // only the first wave asks it
    }
    const auto config = config_.current();
    send_push(state_, *config, view_, connection.get());
    if (stop.stop_requested()) return;  // paused during the push: the wave was not finished
    view_.show_status(kWaveEnd + std::to_string(config->pl_kuai) + kWaveEndTail);
    view_.wave_finished(*config, connection.get());
    int64_t pause = std::max<int64_t>(0, int64_t{config->pl_kuai} * 1000);
    if (pause == 0 && state_.crawl_list.empty()) pause = kIdleWaveMs;  // never spin
    if (pause > 0 && !wait(stop, pause)) return;
  }
}

}  // namespace qnl
