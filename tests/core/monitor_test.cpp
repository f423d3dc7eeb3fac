// The deal-tip monitor end to end: the fixture server plays the forum and
// the push service; a recorder stands in for the screen.
#include "monitor/monitor.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include "monitor/alerts.h"
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

using test::FixtureRequest;
using test::FixtureResponse;
using test::FixtureServer;

using test::gbk;

class RecordingView : public MonitorView {
 public:
  void show_status(const Text& text) override {
    std::lock_guard lock(mutex_);
    statuses.push_back(text);
    changed_.notify_all();
  }
  void add_article_row(const ArticleRow& row) override {
    std::lock_guard lock(mutex_);
    articles.insert(articles.begin(), row);
  }
  void add_reminder_row(const Text& title, const Text& url, const Text&) override {
    std::lock_guard lock(mutex_);
    reminders.insert(reminders.begin(), {title, url});
  }
  void clear_reminders() override {
    std::lock_guard lock(mutex_);
    reminders.clear();
    ++clears;
  }
  // Waits until `count` statuses equal to `text` were shown.
  bool wait_for_status(const Text& text, int count = 1) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] {
      return std::count(statuses.begin(), statuses.end(), text) >= count;
    });
  }
  std::vector<Text> titles() {
    std::lock_guard lock(mutex_);
    std::vector<Text> out;
    for (const auto& a : articles) out.push_back(a.title);
    return out;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Text> statuses;
  std::vector<ArticleRow> articles;
  std::vector<std::pair<Text, Text>> reminders;
  int clears = 0;
};

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(shipped_.ok());
    ASSERT_TRUE(db_.db_open(shipped_.path()));
    load_rules(db_, rules_);
    ASSERT_EQ(load_configuration(db_, config_), ConfigLoad::loaded);
    forum_.set_handler([this](const FixtureRequest& r) { return answer_forum(r); });
    push_.route("/", [this](const FixtureRequest&) {
      return FixtureResponse::ok("{\"code\":0}", {"Content-Type: application/json"});
    });
  }

  FixtureResponse answer_forum(const FixtureRequest& request) {
    std::lock_guard lock(pages_mutex_);
    ++fetches_[request.target];
    for (const auto& [fid, page] : pages_)
      if (request.target.find("fid=" + fid + "&") != std::string::npos)
        return FixtureResponse::ok(page, {"Content-Type: text/html; charset=gbk",
                                          "Set-Cookie: ki1e_2132_lastvisit=17; path=/"});
    return FixtureResponse::with_status(404);
  }
  void serve(const std::string& fid, Text page) {
    std::lock_guard lock(pages_mutex_);
    pages_[fid] = std::move(page);
  }
  int fetches_of(const std::string& fid) {
    std::lock_guard lock(pages_mutex_);
    int n = 0;
    for (const auto& [target, count] : fetches_)
      if (target.find("fid=" + fid + "&") != std::string::npos) n += count;
    return n;
  }
  void configure(bool push, bool popup, const char* keywords_utf8 = "", bool only_special = false) {
    Configuration c = *config_.current();
    c.tx_wx = push;
    c.tx_tc = popup;
    c.tx_wxkey = "SCTKEY1";
    c.tx_onlygz = only_special;
    c.keywords = split_text(gbk(keywords_utf8), "\r\n");
    c.pl_kuai = 600;
    config_.replace(c);
  }
  void crawl_rule(int id) {
    CrawlContext context{db_, rules_, config_, view_, state_, stored_};
    crawl(id, context);
  }
  int64_t stored_rows() { return db_.db_query("SELECT * FROM info").row_count(); }

  test::ShippedDatabase shipped_;
  Database db_;
  RuleGrid rules_;
  ConfigStore config_;
  StoredPostIndex stored_{db_};
  MonitorState state_;
  RecordingView view_;
  FixtureServer forum_;
  FixtureServer push_{FixtureServer::Transport::kTls};
  test::ScopedNetOverrides overrides_{
      {forum_.connect_to("www.zuanke8.com", 80), push_.connect_to("sctapi.ftqq.com", 443)}};
  std::mutex pages_mutex_;
  std::map<std::string, Text> pages_;
  std::map<std::string, int> fetches_;
};

TEST_F(MonitorTest, FirstWaveListsStoresAndAlertsThenOnlyNewPostsFollow) {
  configure(true, true, "PLUS");
  serve("15", test::discuz_listing({{"6699009", "京东PLUS会员 领券", "线报", true},
                                    {"6699008", "工行 1元购 话费", "", false, true}}));
  serve("2", test::discuz_listing({{"6690001", "免费领 试用装"}}));
  crawl_rule(1);
  crawl_rule(2);

  // Rows of one crawl stand in page order above those of earlier crawls.
  ASSERT_EQ(view_.articles.size(), 3u);
  EXPECT_EQ(view_.articles[0].title, gbk("免费领 试用装"));
  EXPECT_EQ(view_.articles[1].title, gbk("京东PLUS会员 领券 - [阅读权限 10]"));
  EXPECT_EQ(view_.articles[1].url, "http://www.zuanke8.com/thread-6699009-1-1.html");
  EXPECT_EQ(view_.articles[1].site, gbk("赚客大家谈"));
  EXPECT_TRUE(view_.articles[1].special);  // watch word, letter case of ASCII ignored
  EXPECT_FALSE(view_.articles[2].special);
  EXPECT_EQ(stored_rows(), 3);
  EXPECT_EQ(view_.reminders.size(), 3u);
  const QueryResult stored = db_.db_query(
      "SELECT planname, planid, title, url, zt FROM info "
      "WHERE url LIKE '%6699009%'");
  ASSERT_EQ(stored.row_count(), 1);
  EXPECT_EQ(stored.rows[0][0], gbk("赚客大家谈"));
  EXPECT_EQ(stored.rows[0][1], "1");
  EXPECT_EQ(stored.rows[0][4], "1");
  // The forum's cookies are merged into the rule's login.
  EXPECT_EQ(rules_.rule_field(1, kCookie), "ki1e_2132_lastvisit=17");

  // The next wave: only the new post.
  state_.first_wave = false;
  serve("15", test::discuz_listing({{"6699010", "建行 随机立减"},
                                    {"6699009", "京东PLUS会员 领券", "线报", true},
                                    {"6699008", "工行 1元购 话费"}}));
  crawl_rule(1);
  ASSERT_EQ(view_.articles.size(), 4u);
  EXPECT_EQ(view_.articles[0].title, gbk("建行 随机立减"));
  EXPECT_EQ(stored_rows(), 4);
}

TEST_F(MonitorTest, IncreasingIdsAreJudgedByNumber) {
  configure(false, false);
  rules_.set_rule_field(1, kType, "8");
  rules_.set_rule_field(1, kLastid, "100");
  serve("15", test::discuz_listing({{"105", "a105"}, {"101", "a101"}, {"99", "a99"}}));
  crawl_rule(1);
  ASSERT_EQ(view_.titles(), (std::vector<Text>{"a105", "a101"}));
  EXPECT_EQ(rules_.rule_field(1, kLastid), "105");  // in memory only
  EXPECT_EQ(db_.db_query("SELECT lastid FROM rule WHERE id=1").rows[0][0], "0");
  EXPECT_TRUE(state_.seen_ids.empty());
}

TEST_F(MonitorTest, PostsSeenOnAnotherBoardAreNotReportedAgain) {
  configure(false, false);
  state_.first_wave = false;
  serve("15", test::discuz_listing({{"6699100", "同一个帖子"}}));
  serve("2", test::discuz_listing({{"6699100", "同一个帖子"}, {"6699101", "另一个"}}));
  crawl_rule(1);
  crawl_rule(2);
  EXPECT_EQ(view_.articles.size(), 2u);
  EXPECT_EQ(state_.seen_ids, ",6699100,6699101");
  // A shorter id inside a seen one counts as seen (substring search).
  serve("2", test::discuz_listing({{"99101", "short"}}));
  crawl_rule(2);
  EXPECT_EQ(view_.articles.size(), 2u);
}

TEST_F(MonitorTest, FirstWaveListsButDoesNotRealertStoredPosts) {
  configure(true, true);
  ASSERT_TRUE(db_.insert_found_post("x", 1, "old", "http://www.zuanke8.com/thread-6699009-1-1.html",
                                    "1/1  01:00", 0));
  serve("15", test::discuz_listing({{"6699010", "新帖"}, {"6699009", "旧帖"}}));
  crawl_rule(1);
  EXPECT_EQ(view_.articles.size(), 2u);   // both listed
  EXPECT_EQ(view_.reminders.size(), 1u);  // only the new one alerted
  EXPECT_EQ(stored_rows(), 2);
  EXPECT_EQ(state_.push_text.find("6699009"), std::string::npos);
}

TEST_F(MonitorTest, MissingListMarkerIsFetchedThreeTimes) {
  configure(false, false);
  serve("15", gbk("<html><body>维护中</body></html>"));
  crawl_rule(1);
  EXPECT_EQ(fetches_of("15"), 3);
  EXPECT_TRUE(view_.articles.empty());
}

TEST_F(MonitorTest, PushBodyIsEscapedAsTheServiceExpects) {
  Text lines;
  add_push_line(lines, "50% [off]", "http://x/t?a=1&b=2");
  EXPECT_EQ(escape_push_text(lines), "\r\n* [50% \\[off\\]](http://x/t%3Fa=1%26b=2)");

  configure(true, false, "PLUS", true);
  serve("15", test::discuz_listing({{"6699009", "京东PLUS会员 (新)"}, {"6699008", "普通"}}));
  crawl_rule(1);
  send_push(state_, *config_.current(), view_);
  ASSERT_EQ(push_.request_count(), 1u);
  const FixtureRequest sent = push_.last_request();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.path(), "/SCTKEY1.send");
  EXPECT_EQ(sent.header("Content-Type").value_or(""), "application/x-www-form-urlencoded");
  EXPECT_EQ(
      sent.body,
      "text=Quenlo：有新线报&desp=\r\n* [普通](http://www.zuanke8.com/thread-6699008-1-1.html)"
      "\r\n* [京东PLUS会员 \\(新\\)](http://www.zuanke8.com/thread-6699009-1-1.html)");
  EXPECT_EQ(view_.statuses.back(), gbk("已发出微信提醒指令"));
  EXPECT_TRUE(state_.push_text.empty());
}

TEST_F(MonitorTest, OnlySpecialPostsSkipsAWaveWithoutOne) {
  configure(true, false, "PLUS", true);
  serve("15", test::discuz_listing({{"6699008", "普通"}}));
  crawl_rule(1);
  send_push(state_, *config_.current(), view_);
  EXPECT_EQ(push_.request_count(), 0u);
  EXPECT_EQ(view_.statuses.back(), gbk("本次无特别关注的文章，跳过微信提醒"));
  EXPECT_TRUE(state_.push_text.empty());

  // Without a key the lines keep collecting.
  Configuration no_key = *config_.current();
  no_key.tx_wxkey.clear();
  no_key.tx_onlygz = false;
  config_.replace(no_key);
  serve("15", test::discuz_listing({{"6699011", "又一个"}}));
  crawl_rule(1);
  send_push(state_, *config_.current(), view_);
  EXPECT_FALSE(state_.push_text.empty());
  EXPECT_EQ(push_.request_count(), 0u);
}

TEST_F(MonitorTest, WavesPauseAndRestartKeepingTheFirstWave) {
  configure(false, true);
  serve("15", test::discuz_listing(test::sample_threads(5, 6699100)));
  serve("2", test::discuz_listing(test::sample_threads(3, 6690100)));
  Monitor monitor(db_, rules_, config_, view_, stored_);
  monitor.start({1, 2});
  const Text wave_end = gbk("本轮执行完毕，下一波将在 600s 后采集..");
  ASSERT_TRUE(view_.wait_for_status(wave_end));
  EXPECT_TRUE(monitor.running());
  monitor.stop();
  monitor.join();
  EXPECT_FALSE(monitor.state().first_wave);
  EXPECT_EQ(view_.articles.size(), 8u);
  EXPECT_EQ(view_.clears, 1);
  EXPECT_EQ(view_.statuses[0], gbk("开始抓取 赚客大家谈"));

  // A pause during the first wave leaves it the first wave.
  MonitorState fresh;
  Monitor second(db_, rules_, config_, view_, stored_);
  second.start({1, 2});
  ASSERT_TRUE(view_.wait_for_status(gbk("开始抓取 赚客免费赠品"), 2));
  second.stop();
  second.join();
  EXPECT_TRUE(second.state().first_wave);
  second.start({1});
  ASSERT_TRUE(view_.wait_for_status(wave_end, 2));
  second.stop();
  second.join();
  EXPECT_FALSE(second.state().first_wave);
}

TEST_F(MonitorTest, StoredPostIndexAnswersLikeTheTable) {
  for (const char* url : {"http://www.zuanke8.com/thread-6699009-1-1.html",
                          "forum.php?mod=viewthread&tid=1234567&extra=page%3D1",
                          "https://www.iqshw.com/QQ/2026/1209/Post.html"})
    ASSERT_TRUE(db_.insert_found_post("x", 1, "t", url, "t", 0));
  for (const char* id : {"6699009", "699", "23456", "1234567", "12", "page%3d1", "qq/2026", "post",
                         "6699009-1", "7654321", "669900", "99-1-", "nothing", ""}) {
    StoredPostIndex fresh(db_);
    EXPECT_EQ(fresh.contains(id), test::is_post_stored(db_, id)) << id;
  }
  stored_.contains("1");
  stored_.add("thread-7777777-1-1.html");
  EXPECT_TRUE(stored_.contains("7777777"));
  EXPECT_FALSE(stored_.contains("7777778"));
}

}  // namespace
}  // namespace qnl
