#include "headless/headless.h"

#include <QString>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "app/push_settings_store.h"
#include "headless/data_location.h"
#include "monitor/crawl_rules.h"
#include "monitor/monitor.h"
#include "monitor/monitor_view.h"
#include "monitor/push_channels.h"
#include "storage/configuration.h"
#include "storage/database.h"
#include "storage/stored_posts.h"
#include "text/encoding.h"

namespace qnl {
namespace {

QString qpath(const std::filesystem::path& path) {
#ifdef _WIN32
  return QString::fromStdWString(path.wstring());
#else
  return QString::fromStdString(path.string());
#endif
}

std::string path_text(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

// The monitor's screen in headless mode: status lines and found posts go to
// the output; the other push channels go out at each wave's end. Settings
// another program saves into the database or the push file count from the
// next wave on.
class HeadlessView : public MonitorView {
 public:
  HeadlessView(const HeadlessOutput& output, bool json, Database& db, ConfigStore& config,
               std::filesystem::path push_file, std::function<void()> output_gone)
      : output_(output),
        json_(json),
        db_(db),
        config_(config),
        push_file_(std::move(push_file)),
        output_gone_(std::move(output_gone)) {}

  void reload_push_settings() { wave_alerts_.set_settings(load_push_settings(qpath(push_file_))); }

  void show_status(const Text& text) override { output_.status(local_to_utf8(text)); }
  void add_article_row(const ArticleRow&) override {}
  void add_reminder_row(const Text&, const Text&, const Text&) override {}
  void clear_reminders() override {
    // A wave starts.
    wave_alerts_.begin_wave();
    load_configuration(db_, config_);  // a failed read keeps the record as it was
    reload_push_settings();
  }
  void alert_post(const ArticleRow& row) override {
    wave_alerts_.add_post({row.title, row.url, row.special});
    if (!output_.post(post_line(row, iso_time_now(), json_))) output_gone_();
  }
  void wave_finished(const Configuration& config, HttpConnection* connection) override {
    const WaveAlerts::Outcome outcome = wave_alerts_.finish_wave(config.tx_onlygz, connection);
    if (!outcome.failed.empty() && !outcome.stopped)
      show_status(failed_channels_status(outcome.failed));
  }

 private:
  const HeadlessOutput& output_;
  const bool json_;
  Database& db_;
  ConfigStore& config_;
  const std::filesystem::path push_file_;
  std::function<void()> output_gone_;
  WaveAlerts wave_alerts_;
};

std::string join_ids(const std::vector<int>& ids) {
  std::string out;
  for (const int id : ids) out += (out.empty() ? "" : ",") + std::to_string(id);
  return out;
}

bool parse_rule_list(std::string_view text, std::vector<int>& ids) {
  ids.clear();
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string_view item = text.substr(at, comma - at);
    if (item.empty() || item.size() > 2) return false;
    int id = 0;
    for (const char c : item) {
      if (c < '0' || c > '9') return false;
      id = id * 10 + (c - '0');
    }
    if (id < 1 || id > RuleGrid::kSlots) return false;
    ids.push_back(id);
    at = comma + 1;
  }
  return !ids.empty();
}

}  // namespace

bool wants_headless(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--headless") return true;
  return false;
}

bool parse_headless_arguments(const std::vector<std::string>& args, HeadlessOptions& options,
                              std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        out = arg.substr(eq + 1);
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    const std::string name = arg.substr(0, arg.find('='));
    if (arg == "--headless") continue;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (name == "--database") {
      std::string path;
      if (!value(path) || path.empty()) {
        error = "--database needs a file path";
        return false;
      }
      options.database = std::filesystem::u8path(path);
    } else if (name == "--rules") {
      std::string list;
      std::vector<int> ids;
      if (!value(list) || !parse_rule_list(list, ids)) {
        error = "--rules needs rule ids from 1 to 18, separated by commas (e.g. --rules 1,6)";
        return false;
      }
      options.rules = std::move(ids);
    } else {
      error = "unknown argument: " + arg;
      return false;
    }
  }
  return true;
}

std::string headless_usage() {
  return "Usage: quenlo --headless [--database PATH] [--rules IDS] [--json]\n"
         "\n"
         "Runs the deal-tip monitor without a display: the same waves over the same\n"
         "database as the desktop program (configuration record, watch words, WeChat\n"
         "push and every channel switched on in push.ini beside the database).\n"
         "\n"
         "  --database PATH  the database file (default: data/qnl6.sdb beside the\n"
         "                   program, or ~/.local/share/Quenlo/qnl6.sdb when that\n"
         "                   directory is read-only, as in an installed package)\n"
         "  --rules IDS      rule ids to crawl, e.g. 1,6 (default: the rules ticked\n"
         "                   in the rule table, isdo = 1)\n"
         "  --json           print found posts as JSON lines: time, rule, site, title,\n"
         "                   address, special\n"
         "  --help           this text\n"
         "\n"
         "Found posts go to standard output, one line each (UTF-8); status lines go to\n"
         "standard error. SIGINT or SIGTERM ends the run cleanly with exit code 0.\n"
         "Exit codes: 2 bad arguments, 3 database missing, 4 database cannot be opened,\n"
         "5 database of an older layout, 6 standard output closed.\n";
}

std::string iso_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[40] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  std::string out(text);
  // "+0800" -> "+08:00"
  if (out.size() >= 5 && (out[out.size() - 5] == '+' || out[out.size() - 5] == '-'))
    out.insert(out.size() - 2, ":");
  return out;
}

std::string post_line(const ArticleRow& row, std::string_view when, bool json) {
  const std::string site = local_to_utf8(row.site);
  const std::string title = local_to_utf8(row.title);
  const std::string address = local_to_utf8(row.url);
  if (json) {
    return "{\"time\":\"" + json_escape(when) + "\",\"rule\":" + std::to_string(row.rule_id) +
           ",\"site\":\"" + json_escape(site) + "\",\"title\":\"" + json_escape(title) +
           "\",\"address\":\"" + json_escape(address) +
           "\",\"special\":" + (row.special ? "true" : "false") + "}";
  }
  // Tabs and line ends inside a field would break the line into others.
  auto field = [](std::string s) {
    for (char& c : s)
      if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return s;
  };
  return std::string(when) + "\t" + std::to_string(row.rule_id) + "\t" + field(site) + "\t" +
         field(title) + "\t" + field(address) + (row.special ? "\t*" : "");
}

std::filesystem::path default_database_path() {
  return data_directory(program_directory()) / "qnl6.sdb";
}

int run_headless(const HeadlessOptions& options, const HeadlessOutput& output,
                 std::stop_token stop) {
  const std::filesystem::path path =
      options.database.empty() ? default_database_path() : options.database;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    output.status("数据库文件 qnl6.sdb 缺失，无法工作！ " + path_text(path));
    return kHeadlessDatabaseMissing;
  }
  Database db;
  // A busy, read-only or unreadable file is named as such (a file another
  // program holds is waited for up to the busy time-out first).
  auto refuse = [&](const char* otherwise) {
    const Text problem = db.problem_text();
    output.status(problem.empty() ? otherwise + (" " + path_text(path)) : local_to_utf8(problem));
    return kHeadlessDatabaseUnopenable;
  };
  if (!db.db_open(path)) return refuse("数据库打开失败！");
  RuleGrid rules;
  const std::vector<Plan> plans = load_rules(db, rules);
  ConfigStore config;
  switch (load_configuration(db, config)) {
    case ConfigLoad::loaded:
      break;
    case ConfigLoad::incompatible:
      output.status("不兼容老版本数据库，请重新下载 " + path_text(path));
      return kHeadlessIncompatible;
    case ConfigLoad::unreadable:
      return refuse("数据库打开失败！");
  }
  std::vector<int> crawl_list;
  if (options.rules) {
    for (const int id : *options.rules) {
      const bool loaded =
          std::any_of(plans.begin(), plans.end(), [id](const Plan& p) { return p.id == id; });
      if (!loaded) {
        output.status("no rule " + std::to_string(id) + " in the rule table of " + path_text(path));
        return kHeadlessUsage;
      }
    }
    crawl_list = *options.rules;
  } else {
    for (const Plan& plan : plans)
      if (plan.ticked) crawl_list.push_back(plan.id);
  }

  // Ends at an outside stop request or when the output is gone.
  std::stop_source end;
  std::atomic<bool> output_gone = false;
  const std::stop_callback forward(stop, [&end] { end.request_stop(); });

  StoredPostIndex stored(db);
  HeadlessView view(output, options.json, db, config, path.parent_path() / "push.ini", [&] {
    output_gone = true;
    end.request_stop();
  });
  view.reload_push_settings();
  {
    // The monitor goes before the view, the index and the database.
    Monitor monitor(db, rules, config, view, stored);
    std::string names;
    for (const int id : crawl_list)
      names += (names.empty() ? "" : "、") + local_to_utf8(rules.rule_field(id, kName));
    output.status(
        "headless monitor started: " + path_text(path) + ", rules " +
        (crawl_list.empty() ? std::string("(none ticked)") : join_ids(crawl_list) + " " + names));
    monitor.start(crawl_list);
    {
      std::mutex m;
      std::condition_variable_any woken;
      std::unique_lock lock(m);
      woken.wait(lock, end.get_token(), [] { return false; });
    }
    monitor.stop();
    monitor.join();
  }
  db.db_close();
  output.status(output_gone ? "standard output closed: stopped" : "stopped");
  return output_gone ? kHeadlessOutputClosed : kHeadlessOk;
}

}  // namespace qnl
