// The headless front end: its arguments and lines, whole runs over a copy of
// the shipped database against the fixture forum, two programs on one
// database file, and the real program started with no display.
#include "headless/headless.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "app/push_settings_store.h"
#include "headless/data_location.h"
#include "monitor/monitor_view.h"
#include "storage/configuration.h"
#include "storage/database.h"
#include "support/fixture_server.h"
#include "support/listing_pages.h"
#include "support/test_database.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using namespace std::chrono_literals;
using test::FixtureRequest;
using test::FixtureResponse;
using test::FixtureServer;
using test::gbk;

// ---- arguments ----

struct ArgCase {
  std::vector<std::string> args;
  bool ok;
  bool json;
  std::string database;
  std::vector<int> rules;  // empty: none given
};

TEST(HeadlessArguments, ParsesEveryFormAndRefusesBadOnes) {
  const std::vector<ArgCase> cases = {
      {{"--headless"}, true, false, "", {}},
      {{"--headless", "--json"}, true, true, "", {}},
      {{"--database", "/srv/q/qnl6.sdb"}, true, false, "/srv/q/qnl6.sdb", {}},
      {{"--database=/srv/数据/qnl6.sdb", "--json"}, true, true, "/srv/数据/qnl6.sdb", {}},
      {{"--rules", "1,6"}, true, false, "", {1, 6}},
      {{"--rules=18"}, true, false, "", {18}},
      {{"--rules", "0"}, false, false, "", {}},
      {{"--rules", "19"}, false, false, "", {}},
      {{"--rules", "1,,6"}, false, false, "", {}},
      {{"--rules", "1,x"}, false, false, "", {}},
      {{"--rules", "-1"}, false, false, "", {}},
      {{"--rules"}, false, false, "", {}},
      {{"--database"}, false, false, "", {}},
      {{"--database="}, false, false, "", {}},
      {{"--verbose"}, false, false, "", {}},
  };
  for (const ArgCase& c : cases) {
    SCOPED_TRACE(c.args.back());
    HeadlessOptions options;
    std::string error;
    ASSERT_EQ(parse_headless_arguments(c.args, options, error), c.ok) << error;
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(options.json, c.json);
    EXPECT_EQ(options.database, std::filesystem::u8path(c.database));
    EXPECT_EQ(options.rules.has_value(), !c.rules.empty());
    if (options.rules) EXPECT_EQ(*options.rules, c.rules);
  }
  HeadlessOptions options;
  std::string error;
  EXPECT_TRUE(parse_headless_arguments({"--help"}, options, error));
  EXPECT_TRUE(options.help);
  EXPECT_NE(headless_usage().find("--database PATH"), std::string::npos);
}

TEST(HeadlessLines, JsonLinesAreValidUtf8JsonWhateverTheTitleHolds) {
  struct Case {
    const char* title_utf8;
    const char* url;
  };
  const std::vector<Case> cases = {
      {"京东PLUS会员 领券", "http://www.zuanke8.com/thread-1-1-1.html"},
      {"say \"hi\" \\ back", "http://a/?x=1&y=\"2\""},
      {"tab\there\r\nnew line", "http://a/b"},
      {"bell\x07 and \x1f", "http://a/c"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title_utf8);
    const ArticleRow row{6, c.url, gbk("线报屋"), gbk(c.title_utf8), "", true};
    const std::string line = post_line(row, "2026-12-09T12:00:00+08:00", true);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
    const QJsonObject o = doc.object();
    EXPECT_EQ(o["time"].toString().toStdString(), "2026-12-09T12:00:00+08:00");
    EXPECT_EQ(o["rule"].toInt(), 6);
    EXPECT_EQ(o["site"].toString().toStdString(), "线报屋");
    EXPECT_EQ(o["title"].toString().toStdString(), c.title_utf8);
    EXPECT_EQ(o["address"].toString().toStdString(), c.url);
    EXPECT_TRUE(o["special"].toBool());

    // The plain line keeps its five fields whatever the title holds.
    const std::string plain = post_line(row, "T", false);
    EXPECT_EQ(std::count(plain.begin(), plain.end(), '\t'), 5) << plain;
    EXPECT_EQ(plain.find('\n'), std::string::npos);
  }
  // Bytes that are no CP936 text (a cut-off lead byte, 0xFF) still give a
  // line of valid UTF-8 JSON.
  const ArticleRow broken{1, "http://a/\xff", "x", "ab\x81", "", false};
  QJsonParseError error{};
  QJsonDocument::fromJson(QByteArray::fromStdString(post_line(broken, "T", true)), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << post_line(broken, "T", true);
  EXPECT_EQ(iso_time_now().size(), 25u);  // 2026-12-09T12:00:00+08:00
}

// ---- where the data lives ----

std::string read_all(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST(DataLocation, AnInstalledProgramKeepsTheUsersCopyAndNeverOverwritesIt) {
  test::TempDir dir;
  const auto program = dir.path() / "lib" / "quenlo";
  const auto user = dir.path() / "home" / "share" / "Quenlo";
  std::filesystem::create_directories(program / "data");
  std::ofstream(program / "data" / "qnl6.sdb", std::ios::binary) << "shipped";

  // A program directory the user may write to keeps its own data/.
  EXPECT_EQ(data_directory(program, user, true), program / "data");
  EXPECT_FALSE(std::filesystem::exists(user));

  // An installed one: the user's directory, with a copy of the shipped file.
  EXPECT_EQ(data_directory(program, user, false), user);
  EXPECT_EQ(read_all(user / "qnl6.sdb"), "shipped");
  EXPECT_FALSE(std::filesystem::exists(user / "qnl6.sdb.part"));
  const auto perms = std::filesystem::status(user / "qnl6.sdb").permissions();
  EXPECT_EQ(perms & std::filesystem::perms::others_read, std::filesystem::perms::none);

  // The user's database is theirs from then on.
  std::ofstream(user / "qnl6.sdb", std::ios::binary) << "the user's posts";
  std::ofstream(program / "data" / "qnl6.sdb", std::ios::binary) << "a newer package";
  EXPECT_EQ(data_directory(program, user, false), user);
  EXPECT_EQ(read_all(user / "qnl6.sdb"), "the user's posts");

  // Nothing shipped: nothing made up either.
  const auto bare = dir.path() / "bare";
  std::filesystem::create_directories(bare);
  EXPECT_EQ(data_directory(bare, dir.path() / "other", false), dir.path() / "other");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "other" / "qnl6.sdb"));

  EXPECT_TRUE(program_data_writable(program));
  if (geteuid() != 0) {  // root writes anywhere
    std::filesystem::permissions(
        program / "data", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(program_data_writable(program));
    std::filesystem::permissions(program / "data", std::filesystem::perms::owner_all);
  }
}

// ---- whole runs ----

// Collects what a run prints.
struct Capture {
  std::mutex mutex;
  std::vector<std::string> posts;
  std::vector<std::string> statuses;
  std::atomic<bool> refuse_posts = false;

  HeadlessOutput output() {
    return {[this](const std::string& line) {
              if (refuse_posts) return false;
              std::lock_guard lock(mutex);
              posts.push_back(line);
              return true;
            },
            [this](const std::string& line) {
              std::lock_guard lock(mutex);
              statuses.push_back(line);
            }};
  }
  size_t post_count() {
    std::lock_guard lock(mutex);
    return posts.size();
  }
  bool said(const std::string& part) {
    std::lock_guard lock(mutex);
    for (const auto& s : statuses)
      if (s.find(part) != std::string::npos) return true;
    return false;
  }
};

template <typename Pred>
bool wait_until(Pred pred, std::chrono::milliseconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// A run in a thread, stopped like a signal stops it.
class HeadlessRunThread {
 public:
  HeadlessRunThread(HeadlessOptions options, Capture& capture)
      : thread_([this, options, &capture] {
          code_ = run_headless(options, capture.output(), stop_.get_token());
          done_ = true;
        }) {}
  ~HeadlessRunThread() { finish(); }
  int finish() {
    stop_.request_stop();
    if (thread_.joinable()) thread_.join();
    return code_;
  }
  bool done() const { return done_; }

 private:
  std::stop_source stop_;
  std::atomic<int> code_ = -1;
  std::atomic<bool> done_ = false;
  std::thread thread_;
};

class HeadlessRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(shipped_.ok());
    Database db;
    ASSERT_TRUE(db.db_open(shipped_.path()));
    // Waves every second, the WeChat push on with a key, pop-up on (no
    // window in headless mode).
    ASSERT_TRUE(db.db_execute("UPDATE con SET pl_kuai='1', tx_wx='1', tx_wxkey='SCTKEY9'"));
    forum_.set_handler([this](const FixtureRequest& r) { return answer(r); });
    push_.route("/", [](const FixtureRequest&) {
      return FixtureResponse::ok("{\"code\":0}", {"Content-Type: application/json"});
    });
  }

  FixtureResponse answer(const FixtureRequest& request) {
    if (request.target.find("fid=15&") == std::string::npos)
      return FixtureResponse::with_status(404);
    std::lock_guard lock(mutex_);
    if (hold_) return FixtureResponse::never_answer();
    // Every fetch lists one thread more than the one before.
    ++fetches_;
    if (on_fetch_) on_fetch_(fetches_);
    std::vector<test::ListedThread> threads;
    for (int i = fetches_; i >= 1; --i)
      threads.push_back({std::to_string(7000000 + i), "第" + std::to_string(i) + "帖 京东PLUS"});
    return FixtureResponse::ok(test::discuz_listing(threads),
                               {"Content-Type: text/html; charset=gbk"});
  }

  HeadlessOptions options(bool json = true) {
    HeadlessOptions o;
    o.database = shipped_.path();
    o.json = json;
    return o;
  }
  int64_t stored_posts() {
    Database db;
    EXPECT_TRUE(db.db_open(shipped_.path()));
    return db.db_query("SELECT * FROM info").row_count();
  }

  test::ShippedDatabase shipped_;
  FixtureServer forum_;
  FixtureServer push_{FixtureServer::Transport::kTls};
  FixtureServer ntfy_{[](const FixtureRequest&) { return FixtureResponse::ok(R"({"id":"1"})"); }};
  test::ScopedNetOverrides overrides_{
      {forum_.connect_to("www.zuanke8.com", 80), push_.connect_to("sctapi.ftqq.com", 443)}};
  std::mutex mutex_;
  int fetches_ = 0;
  bool hold_ = false;
  std::function<void(int fetch)> on_fetch_;  // runs before the page is answered
};

TEST_F(HeadlessRun, PrintsNewPostsStoresThemPushesEveryChannelAndEndsCleanly) {
  PushSettings channels;
  channels[PushChannel::ntfy] = {true, "quenlo_wave", {}, ntfy_.base_url()};
  ASSERT_TRUE(save_push_settings(
      QString::fromStdString((shipped_.dir() / "data" / "push.ini").string()), channels));
  Capture capture;
  HeadlessRunThread run(options(), capture);  // rule 1 is the ticked one of the shipped rules
  ASSERT_TRUE(wait_until([&] { return capture.post_count() >= 3; }));
  ASSERT_TRUE(wait_until([&] { return ntfy_.request_count() >= 2 && push_.request_count() >= 2; }));
  EXPECT_EQ(run.finish(), kHeadlessOk);
  EXPECT_TRUE(capture.said("stopped"));

  // One line per new post, in the order found; nothing twice.
  std::lock_guard lock(capture.mutex);
  std::set<std::string> addresses;
  for (const std::string& line : capture.posts) {
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    EXPECT_EQ(o["rule"].toInt(), 1);
    EXPECT_EQ(o["site"].toString(), QStringLiteral("赚客大家谈"));
    EXPECT_TRUE(o["title"].toString().endsWith(QStringLiteral("帖 京东PLUS")));
    EXPECT_TRUE(addresses.insert(o["address"].toString().toStdString()).second) << line;
  }
  EXPECT_TRUE(addresses.count("http://www.zuanke8.com/thread-7000001-1-1.html"));
  // Stored, and the database was closed and left whole.
  EXPECT_EQ(stored_posts(), static_cast<int64_t>(capture.posts.size()));
  EXPECT_NE(push_.requests()[0].body.find("7000001"), std::string::npos);
  EXPECT_NE(ntfy_.requests()[0].body.find("7000001"), std::string::npos);
}

TEST_F(HeadlessRun, AStopCutsAHangingFetchShortAndAClosedOutputEndsTheRun) {
  {
    std::lock_guard lock(mutex_);
    hold_ = true;  // the forum never answers
  }
  Capture capture;
  HeadlessRunThread run(options(), capture);
  ASSERT_TRUE(wait_until([&] { return forum_.request_count() >= 1; }));
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(run.finish(), kHeadlessOk);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 5s);

  {
    std::lock_guard lock(mutex_);
    hold_ = false;
  }
  Capture closed;
  closed.refuse_posts = true;
  HeadlessRunThread gone(options(false), closed);
  ASSERT_TRUE(wait_until([&] { return gone.done(); }));
  EXPECT_EQ(gone.finish(), kHeadlessOutputClosed);
}

TEST_F(HeadlessRun, RefusesDatabasesItCannotUseWithTheirOwnCodes) {
  Capture capture;
  HeadlessOptions o = options();
  o.database = shipped_.dir() / "missing.sdb";
  EXPECT_EQ(run_headless(o, capture.output(), {}), kHeadlessDatabaseMissing);

  const auto junk = shipped_.dir() / "junk.sdb";
  std::ofstream(junk) << "not a database at all, not even close to one........";
  o.database = junk;
  EXPECT_EQ(run_headless(o, capture.output(), {}), kHeadlessDatabaseUnopenable);

  const auto old = shipped_.dir() / "old.sdb";
  ASSERT_TRUE(test::make_database(old,
                                  "CREATE TABLE con (keywd TEXT, pl_kuai TEXT);"
                                  "INSERT INTO con VALUES ('', '5');"));
  o.database = old;
  EXPECT_EQ(run_headless(o, capture.output(), {}), kHeadlessIncompatible);

  o = options();
  o.rules = std::vector<int>{1, 17};  // no rule 17 in the shipped table
  EXPECT_EQ(run_headless(o, capture.output(), {}), kHeadlessUsage);
  EXPECT_TRUE(capture.said("no rule 17"));
  EXPECT_EQ(forum_.request_count(), 0u);
}

// The desktop program saves its settings into the same file while the
// headless monitor stores posts: SQLite lets one writer at a time in and the
// other waits out its busy time-out, so nothing is lost or corrupted; a
// saved setting counts from the monitor's next wave.
TEST_F(HeadlessRun, ADesktopSavingSettingsOnTheSameFileLosesNothing) {
  Database desktop;
  ASSERT_TRUE(desktop.db_open(shipped_.path()));
  // The monitor starts while the desktop holds the file exclusively for a
  // moment: it waits, it does not give up.
  ASSERT_TRUE(desktop.db_execute("BEGIN EXCLUSIVE"));
  Capture capture;
  HeadlessRunThread run(options(), capture);
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(desktop.db_execute("COMMIT"));
  ASSERT_TRUE(wait_until([&] { return capture.post_count() >= 1; }));
  EXPECT_FALSE(run.done());
  // A long save holds the write lock for a second (under the monitor's
  // busy time-out of three seconds) just when the monitor is about to store the
  // page's new post.
  std::atomic<bool> locked = false;
  {
    std::lock_guard lock(mutex_);
    const int next = fetches_ + 1;
    on_fetch_ = [&, next](int fetch) {
      if (fetch != next) return;
      EXPECT_TRUE(desktop.db_execute("BEGIN IMMEDIATE"));
      EXPECT_TRUE(desktop.db_execute("UPDATE con SET pl_man='7'"));
      locked = true;
    };
  }
  ASSERT_TRUE(wait_until([&] { return locked.load(); }));
  const size_t before = capture.post_count();
  std::this_thread::sleep_for(1000ms);
  ASSERT_TRUE(desktop.db_execute("COMMIT"));
  ASSERT_TRUE(wait_until([&] { return capture.post_count() > before; }));

  int saves = 0;
  for (int i = 0; i < 40; ++i) {
    SettingsForm form;
    form.keywords_text = gbk("京东");
    form.pl_shop_text = std::to_string(i);
    form.pl_kuai_text = "1";
    form.pl_man_text = "5";
    form.tx_wx = true;
    form.tx_wxkey = "SCTKEY9";
    saves += save_settings(desktop, form) ? 1 : 0;
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(saves, 40);
  // A watch word saved by the other program marks the posts of later waves.
  ASSERT_TRUE(wait_until([&] {
    std::lock_guard lock(capture.mutex);
    return !capture.posts.empty() &&
           capture.posts.back().find("\"special\":true") != std::string::npos;
  }));
  EXPECT_EQ(run.finish(), kHeadlessOk);

  EXPECT_EQ(desktop.db_query("PRAGMA integrity_check").rows.at(0).at(0), "ok");
  const QueryResult con = desktop.db_query("SELECT pl_shop, pl_man, keywd FROM con");
  EXPECT_EQ(con.rows.at(0).at(0), "39");
  EXPECT_EQ(con.rows.at(0).at(2), gbk("京东"));
  std::lock_guard lock(capture.mutex);
  EXPECT_EQ(desktop.db_query("SELECT * FROM info").row_count(),
            static_cast<int64_t>(capture.posts.size()));
}

// ---- the real program ----

QProcessEnvironment no_display() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    env.remove(QString::fromLatin1(name));
  return env;
}

struct Finished {
  int code = -1;
  std::string out;
  std::string err;
};

Finished run_program(const QStringList& args) {
  QProcess p;
  p.setProcessEnvironment(no_display());
  p.start(QStringLiteral(QNL_QUENLO), args);
  EXPECT_TRUE(p.waitForFinished(30000));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

TEST(HeadlessProgram, StartsWithoutDisplayHelpsRefusesAndEndsOnSigterm) {
  Finished help = run_program({"--headless", "--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("Usage: quenlo --headless"), std::string::npos);

  Finished bad = run_program({"--headless", "--database", "/nonexistent/qnl6.sdb"});
  EXPECT_EQ(bad.code, kHeadlessDatabaseMissing);
  EXPECT_NE(bad.err.find("/nonexistent/qnl6.sdb"), std::string::npos);
  Finished wrong = run_program({"--headless", "--frobnicate"});
  EXPECT_EQ(wrong.code, kHeadlessUsage);

  // A database with no rule ticked: waves that reach no host.
  test::ShippedDatabase shipped;
  ASSERT_TRUE(shipped.ok());
  {
    Database db;
    ASSERT_TRUE(db.db_open(shipped.path()));
    ASSERT_TRUE(db.db_execute("UPDATE rule SET isdo='0'"));
  }
  QProcess p;
  p.setProcessEnvironment(no_display());
  p.start(QStringLiteral(QNL_QUENLO),
          {"--headless", "--json", "--database", QString::fromStdString(shipped.path().string())});
  ASSERT_TRUE(p.waitForStarted());
  std::string err;
  ASSERT_TRUE(wait_until([&] {
    p.waitForReadyRead(50);
    err += p.readAllStandardError().toStdString();
    return err.find("headless monitor started") != std::string::npos;
  }));
  // Neither the GUI toolkit nor the web engine is in the process.
  std::ifstream maps("/proc/" + std::to_string(p.processId()) + "/maps");
  const std::string mapped((std::istreambuf_iterator<char>(maps)), {});
  EXPECT_NE(mapped.find("libQt6Core"), std::string::npos);
  for (const char* lib : {"libQt6Gui", "libQt6Widgets", "libQt6WebEngine", "libQt6DBus"})
    EXPECT_EQ(mapped.find(lib), std::string::npos) << lib;

  p.terminate();  // SIGTERM
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0);
  err += p.readAllStandardError().toStdString();
  EXPECT_NE(err.find("SIGTERM"), std::string::npos);
  EXPECT_NE(err.find("stopped"), std::string::npos);
  EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
}

}  // namespace
}  // namespace qnl
