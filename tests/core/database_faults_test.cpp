// The database file when something is wrong with it: another program holding
// it, a file that cannot be written, an empty or foreign file. Each is told as
// what it is, a wait covers a brief hold, and nothing is lost silently.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "monitor/crawl_rules.h"
#include "monitor/crawler.h"
#include "storage/configuration.h"
#include "storage/database.h"
#include "storage/stored_posts.h"
#include "support/fixture_server.h"
#include "support/listing_pages.h"
#include "support/test_database.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::gbk;

constexpr int kShortWaitMs = 200;

// Another connection (as another program would hold it) with the file locked
// for writing; readers are shut out until it lets go.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& file) {
    const std::u8string name = file.u8string();
    locked_ = sqlite3_open_v2(std::string(name.begin(), name.end()).c_str(), &db_,
                              SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
              sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~FileLock() {
    release();
    sqlite3_close_v2(db_);
  }
  bool locked() const { return locked_; }
  void release() {
    if (locked_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    locked_ = false;
  }

 private:
  sqlite3* db_ = nullptr;
  bool locked_ = false;
};

class DatabaseFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(shipped_.ok()); }
  const std::filesystem::path& file() const { return shipped_.path(); }
  Text file_name_in_message() const {
    const std::u8string name = file().u8string();
    return utf8_to_local(std::string(name.begin(), name.end()));
  }

  test::ShippedDatabase shipped_;
};

TEST_F(DatabaseFaultsTest, OpenRefusesWhatIsNotAWritableDatabase) {
  struct Case {
    const char* name;
    std::string content;  // written to the file; "-" for no file at all
    DbError error;
  };
  const Case cases[] = {
      {"missing.sdb", "-", DbError::missing},
      {"empty.sdb", "", DbError::not_database},
      {"text.sdb", "this is not an SQLite database, just text long enough to read\n",
       DbError::not_database},
      {"header-only.sdb", std::string("SQLite format 3\0", 16), DbError::not_database},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir.path() / c.name;
    if (c.content != "-") std::ofstream(path, std::ios::binary) << c.content;
    Database db(kShortWaitMs);
    EXPECT_FALSE(db.db_open(path));
    EXPECT_FALSE(db.is_open());
    EXPECT_EQ(db.last_error(), c.error);
    EXPECT_EQ(db.problem_text(), "");  // the start-up shows its own message
    // An empty file stays empty: nothing was created in it.
    if (c.content.empty()) EXPECT_EQ(std::filesystem::file_size(path), 0u);
    if (c.content == "-") EXPECT_FALSE(std::filesystem::exists(path));
  }
}

TEST_F(DatabaseFaultsTest, OpenWaitsForABriefHoldAndNamesALongOne) {
  {
    FileLock lock(file());
    ASSERT_TRUE(lock.locked());
    Database db(kShortWaitMs);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(db.db_open(file()));
    EXPECT_GE(std::chrono::steady_clock::now() - started,
              std::chrono::milliseconds(kShortWaitMs / 2));  // it waited
    EXPECT_EQ(db.last_error(), DbError::busy);
    const Text message = db.problem_text();
    EXPECT_NE(message.find(file_name_in_message()), Text::npos);
    EXPECT_NE(message.find(gbk("占用")), Text::npos);
    EXPECT_EQ(message.find(gbk("不兼容")), Text::npos);
  }
  FileLock lock(file());
  ASSERT_TRUE(lock.locked());
  std::thread release([&lock] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    lock.release();
  });
  Database db(5000);
  EXPECT_TRUE(db.db_open(file()));
  EXPECT_EQ(db.last_error(), DbError::none);
  release.join();
}

TEST_F(DatabaseFaultsTest, ALockAfterOpeningIsNotAnIncompatibleFile) {
  Database db(kShortWaitMs);
  ASSERT_TRUE(db.db_open(file()));
  ConfigStore store;
  Configuration before;
  before.pl_kuai = 77;
  store.replace(before);
  {
    FileLock lock(file());
    ASSERT_TRUE(lock.locked());
    EXPECT_EQ(load_configuration(db, store), ConfigLoad::unreadable);
    EXPECT_EQ(store.current()->pl_kuai, 77);  // fields kept
    EXPECT_NE(db.problem_text().find(gbk("占用")), Text::npos);
    EXPECT_FALSE(db.insert_found_post("x", 1, "t", "u-1", "1/1  00:00", 0));
    EXPECT_EQ(db.last_error(), DbError::busy);
  }
  EXPECT_EQ(load_configuration(db, store), ConfigLoad::loaded);
  EXPECT_EQ(db.last_error(), DbError::none);
  EXPECT_EQ(db.problem_text(), "");
}

TEST_F(DatabaseFaultsTest, AnIndexThatCouldNotLoadIsNotTakenForAnEmptyOne) {
  Database db(kShortWaitMs);
  ASSERT_TRUE(db.db_open(file()));
  ASSERT_TRUE(db.insert_found_post("x", 1, "t", "http://h/thread-6699009-1-1.html", "", 0));
  StoredPostIndex index(db);
  {
    FileLock lock(file());
    ASSERT_TRUE(lock.locked());
    EXPECT_FALSE(index.contains("6699009"));  // nothing can be read: counts as not stored
    EXPECT_EQ(index.size(), 0u);
  }
  // The table answers until the index loads again.
  EXPECT_TRUE(index.contains("6699009"));
  EXPECT_FALSE(index.contains("6699010"));
  index.add("http://h/thread-6699011-1-1.html");  // not held: the table has it
  ASSERT_TRUE(db.insert_found_post("x", 1, "t", "http://h/thread-6699011-1-1.html", "", 0));
  EXPECT_TRUE(index.contains("6699011"));
  // A release forgets the failed load: the next question loads the index.
  index.release();
  EXPECT_TRUE(index.contains("6699009"));
  EXPECT_EQ(index.size(), 2u);
}

// A file the user may not write. Root may write any file, so the check runs
// in a child process as the unprivileged user.
TEST_F(DatabaseFaultsTest, AReadOnlyFileIsRefusedAndNamed) {
  ASSERT_EQ(::chmod(file().c_str(), 0444), 0);
  ::chmod(file().parent_path().c_str(), 0755);
  ::chmod(shipped_.dir().c_str(), 0755);
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(3);
        Database db(kShortWaitMs);
        if (db.db_open(file())) std::_Exit(1);
        if (db.last_error() != DbError::read_only) std::_Exit(2);
        const Text message = db.problem_text();
        if (message.find(gbk("只读")) == Text::npos ||
            message.find(file_name_in_message()) == Text::npos)
          std::_Exit(4);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  ::chmod(file().c_str(), 0644);
}

// ---- The crawl with a file another program holds ----

class CrawlStatusView : public MonitorView {
 public:
  void show_status(const Text& text) override { statuses.push_back(text); }
  void add_article_row(const ArticleRow& row) override { articles.push_back(row); }
  void add_reminder_row(const Text&, const Text&, const Text&) override {}
  void clear_reminders() override {}
  std::vector<Text> statuses;
  std::vector<ArticleRow> articles;
};

TEST_F(DatabaseFaultsTest, AFoundPostThatCouldNotBeStoredIsShownInTheStatusBar) {
  Database db(kShortWaitMs);
  ASSERT_TRUE(db.db_open(file()));
  RuleGrid rules;
  load_rules(db, rules);
  ConfigStore config;
  ASSERT_EQ(load_configuration(db, config), ConfigLoad::loaded);
  StoredPostIndex stored(db);
  MonitorState state;
  CrawlStatusView view;
  test::FixtureServer forum;
  forum.set_handler([](const test::FixtureRequest&) {
    return test::FixtureResponse::ok(test::discuz_listing({{"6699009", "京东领券"}}),
                                     {"Content-Type: text/html; charset=gbk"});
  });
  test::ScopedNetOverrides overrides({forum.connect_to("www.zuanke8.com", 80)});

  FileLock lock(file());
  ASSERT_TRUE(lock.locked());
  CrawlContext context{db, rules, config, view, state, stored};
  crawl(1, context);
  lock.release();

  ASSERT_EQ(view.articles.size(), 1u);  // listed all the same
  ASSERT_EQ(view.statuses.size(), 1u);
  const Text& status = view.statuses[0];
  EXPECT_EQ(status.rfind(gbk("线报未能存入数据库："), 0), 0u) << local_to_utf8(status);
  EXPECT_NE(status.find(gbk("京东领券")), Text::npos);
  EXPECT_NE(status.find(gbk("占用")), Text::npos);
  EXPECT_EQ(db.db_query("SELECT * FROM info").row_count(), 0);
}

}  // namespace
}  // namespace qnl
