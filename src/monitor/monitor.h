// The monitoring cycle: waves over the ticked plans on a worker thread.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "monitor/monitor_view.h"

namespace qnl {

class ConfigStore;
class Database;
class HttpConnection;
class RuleGrid;
class StoredPostIndex;

class Monitor {
 public:
  Monitor(Database& db, RuleGrid& rules, ConfigStore& config, MonitorView& view,
          StoredPostIndex& stored);
  ~Monitor();  // stops and joins the worker
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  // Starts a worker crawling these rule ids in every wave. The worker of an
  // earlier start is finished first (it was told to stop already), so one
  // worker runs at a time.
  void start(std::vector<int> crawl_list);
  // Tells the worker to stop: it ends at its next wait or after the crawl it
  // is in (whose fetch is cut short). Returns at once.
  void stop();
  bool running() const;
  // Waits until the worker has ended (after stop()).
  void join();

  // The run-time record; read it only while no worker runs.
  MonitorState& state() { return state_; }

  // With no plan ticked and no pause set, waves still wait this long.
  static constexpr int kIdleWaveMs = 1000;
  static constexpr int kGapMs = 800;

 private:
  void run(std::stop_token stop);
  // False when the wait ended by a stop request.
  bool wait(std::stop_token& stop, int64_t milliseconds);

  Database& db_;
  RuleGrid& rules_;
  ConfigStore& config_;
  MonitorView& view_;
  StoredPostIndex& stored_;
  MonitorState state_;

  mutable std::mutex mutex_;  // worker_ and connection_
  std::jthread worker_;
  std::shared_ptr<HttpConnection> connection_;
};

}  // namespace qnl
