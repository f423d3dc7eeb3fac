// The deal-tip monitor end to end: the fixture server plays the forum and
// the push service; a recorder stands in for the screen.
#include "monitor/monitor.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "monitor/alerts.h"
#include "monitor/crawl_rules.h"
#include "monitor/crawler.h"
#include "net/endpoints.h"
#include "reader/forum_account.h"
#include "reader/quick_reply.h"
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
    // A key starting with "/" is a path; any other key a board number.
    for (const auto& [fid, page] : pages_)
      if (fid[0] == '/' ? request.target.rfind(fid, 0) == 0
                        : request.target.find("fid=" + fid + "&") != std::string::npos)
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
  EXPECT_EQ(rules_.rule_field(1, kLastid), "105");
  EXPECT_EQ(db_.db_query("SELECT lastid FROM rule WHERE id=1").rows[0][0], "105");
  EXPECT_TRUE(state_.seen_ids.empty());
  // Nothing newer: the stored value stays.
  crawl_rule(1);
  EXPECT_EQ(view_.titles().size(), 2u);
  EXPECT_EQ(db_.db_query("SELECT lastid FROM rule WHERE id=1").rows[0][0], "105");
  // A rule judged by the ids it saw never writes its row.
  rules_.set_rule_field(1, kType, "1");
  serve("15", test::discuz_listing({{"107", "a107"}}));
  crawl_rule(1);
  EXPECT_EQ(db_.db_query("SELECT lastid FROM rule WHERE id=1").rows[0][0], "105");
}

// The forum's login-free archive (rule 11, ids judged by number).
Text archive_listing(const std::vector<std::pair<const char*, const char*>>& threads) {
  Text page = gbk("<html><body><h1>赚客吧</h1><ul type=\"1\" start=\"1\">\n");
  for (const auto& [tid, title] : threads)
    page += "<li><a href=\"?tid-" + Text(tid) + ".html\">" + gbk(title) + "</a> (3 " +
            gbk("篇回复") + ")</li>\n";
  return page + "</ul></body></html>";
}

TEST_F(MonitorTest, LastIdOfIncreasingIdsSurvivesARestart) {
  configure(true, true);
  const Text listing = archive_listing({{"6699012", "新帖二"}, {"6699011", "新帖一"}});
  serve("/archiver/", listing);
  crawl_rule(11);
  ASSERT_EQ(view_.titles(), (std::vector<Text>{gbk("新帖二"), gbk("新帖一")}));
  EXPECT_EQ(view_.articles[0].site, gbk("赚吧免登"));
  EXPECT_EQ(stored_rows(), 2);
  EXPECT_EQ(view_.reminders.size(), 2u);

  // The program ends and starts again on the same file: the rules come from
  // their rows, everything else is new.
  Database restarted;
  ASSERT_TRUE(restarted.db_open(shipped_.path()));
  RuleGrid rules;
  load_rules(restarted, rules);
  EXPECT_EQ(rules.rule_field(11, kLastid), "6699012");
  StoredPostIndex stored(restarted);
  MonitorState state;
  RecordingView view;
  CrawlContext context{restarted, rules, config_, view, state, stored};
  crawl(11, context);
  EXPECT_TRUE(view.articles.empty());
  EXPECT_TRUE(view.reminders.empty());
  EXPECT_TRUE(state.push_text.empty());
  EXPECT_EQ(restarted.db_query("SELECT * FROM info").row_count(), 2);

  // A newer post is still found, once.
  serve("/archiver/", archive_listing({{"6699013", "新帖三"}, {"6699012", "新帖二"}}));
  crawl(11, context);
  crawl(11, context);
  EXPECT_EQ(view.titles(), std::vector<Text>{gbk("新帖三")});
  EXPECT_EQ(view.reminders.size(), 1u);
  EXPECT_EQ(restarted.db_query("SELECT * FROM info").row_count(), 3);
  EXPECT_EQ(restarted.db_query("SELECT lastid FROM rule WHERE id=11").rows[0][0], "6699013");
}

// A login saved, or a reply's cookies merged, on the user's thread while a
// crawl of rule 1 waits for the board survives the crawl's own merge.
TEST_F(MonitorTest, ALoginChangedDuringAFetchIsKept) {
  const struct {
    const char* name;
    std::function<void(Database&, RuleGrid&)> change;
    Text expected;
  } changes[] = {
      {"login saved",
       [](Database& db, RuleGrid& rules) {
         Text cookie = "auth=new";
         ASSERT_TRUE(save_forum_login(cookie, db, rules));
       },
       "ki1e_2132_lastvisit=17; auth=new"},
      {"reply posted",
       [](Database&, RuleGrid& rules) {
         const auto reply = decode_reply_request("#_k1_huitie_k2_" + Text(endpoints::kForumReply) +
                                                 "&fid=15&tid=6699009_k3_message=hi_k4_");
         ASSERT_TRUE(reply);
         EXPECT_TRUE(post_reply(*reply, rules).posted);
       },
       "ki1e_2132_lastvisit=17; lastact=9; auth=old"},
  };
  forum_.route("/home.php", [](const FixtureRequest&) {
    return FixtureResponse::ok(gbk("<root>距离下一级还需 10 积分</root>"));
  });
  forum_.route("/forum.php?mod=post", [](const FixtureRequest&) {
    return FixtureResponse::ok(gbk("<root>回复发布成功</root>"), {"Set-Cookie: lastact=9; path=/"});
  });
  // The board answers only when told to; it runs on its own server so the
  // forum itself stays free to answer the change.
  std::mutex m;
  std::condition_variable signal;
  bool asked = false;
  bool answer = false;
  FixtureServer slow_board([&](const FixtureRequest&) {
    std::unique_lock lock(m);
    asked = true;
    signal.notify_all();
    signal.wait(lock, [&] { return answer; });
    return FixtureResponse::ok(test::discuz_listing({{"6699009", "t"}}),
                               {"Set-Cookie: ki1e_2132_lastvisit=17; path=/"});
  });
  test::ScopedNetOverrides overrides(
      {forum_.connect_to("www.zuanke8.com", 80), slow_board.connect_to("slow.board.test", 80)});
  configure(false, false);
  rules_.set_rule_field(1, kUrl, "http://slow.board.test/forum.php?fid=15&");
  for (const auto& change : changes) {
    SCOPED_TRACE(change.name);
    rules_.set_rule_field(1, kCookie, "auth=old");
    asked = answer = false;
    std::thread crawling([&] { crawl_rule(1); });
    {
      std::unique_lock lock(m);
      ASSERT_TRUE(signal.wait_for(lock, std::chrono::seconds(30), [&] { return asked; }));
    }
    change.change(db_, rules_);
    {
      std::lock_guard lock(m);
      answer = true;
      signal.notify_all();
    }
    crawling.join();
    EXPECT_EQ(rules_.rule_field(1, kCookie), change.expected);
    EXPECT_EQ(slow_board.last_request().header("Cookie"), "auth=old");
  }
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

TEST(PushAnswer, OnlyATopLevelCodeOfZeroIsSuccess) {
  const struct {
    int status;
    const char* answer;
    bool accepted;
  } cases[] = {
      {200,
       R"({"code":0,"message":"","data":{"pushid":"1","readkey":"r","error":"SUCCESS","errno":0}})",
       true},
      {200, "{ \"code\" :\r\n 0 }", true},
      {200, R"({"message":"code","code":0})", true},  // "code" as a value is no key
      {200, R"({"code":40001,"message":"bad pushtoken","data":null})", false},
      {200, R"({"data":{"code":0},"code":20001})", false},  // nested code does not count
      {200, R"({"msg":"a\"code\":0","code":1})", false},    // escaped quote inside a string
      {200, R"({"code":"0"})", false},
      {200, R"({"code":0)", false},  // cut short
      {200, "<html>ok</html>", false},
      {500, R"({"code":0})", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(push_accepted(c.status, c.answer), c.accepted) << c.status << " " << c.answer;
}

TEST_F(MonitorTest, APushTheServiceDidNotTakeKeepsItsLines) {
  const struct {
    const char* name;
    FixtureResponse answer;
  } failures[] = {
      {"error answer", FixtureResponse::ok(R"({"code":40001,"message":"bad pushtoken"})",
                                           {"Content-Type: application/json"})},
      {"server error", FixtureResponse::with_status(500, {}, R"({"code":0})")},
      {"not the service", FixtureResponse::ok("<html>portal</html>")},
      {"dropped connection", FixtureResponse::raw_bytes("")},
  };
  const Text sent = gbk("已发出微信提醒指令");
  const Text failed = gbk("微信提醒发送失败，本轮线报将随下一波重发");
  configure(true, false);
  state_.first_wave = false;
  long tid = 6699200;
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.name);
    push_.route("/", [&](const FixtureRequest&) { return failure.answer; });
    serve("15", test::discuz_listing({{std::to_string(++tid), "第一波"}}));
    crawl_rule(1);
    const Text first_lines = state_.push_text;
    send_push(state_, *config_.current(), view_);
    EXPECT_EQ(view_.statuses.back(), failed);
    EXPECT_EQ(state_.push_text, first_lines);

    // The next wave's push carries both waves' lines.
    push_.route("/", [](const FixtureRequest&) { return FixtureResponse::ok("{\"code\":0}"); });
    push_.clear_requests();
    serve("15", test::discuz_listing({{std::to_string(++tid), "第二波"}}));
    crawl_rule(1);
    send_push(state_, *config_.current(), view_);
    EXPECT_EQ(view_.statuses.back(), sent);
    EXPECT_TRUE(state_.push_text.empty());
    ASSERT_EQ(push_.request_count(), 1u);
    const std::string body = push_.last_request().body;
    EXPECT_NE(body.find(std::to_string(tid - 1)), std::string::npos);
    EXPECT_NE(body.find(std::to_string(tid)), std::string::npos);
  }
  EXPECT_EQ(std::count(view_.statuses.begin(), view_.statuses.end(), sent), 4);
}

TEST_F(MonitorTest, KeptLinesWithASpecialPostGoOutInAWaveWithoutOne) {
  configure(true, false, "PLUS", true);
  push_.route("/", [](const FixtureRequest&) { return FixtureResponse::with_status(502); });
  serve("15", test::discuz_listing({{"6699401", "京东PLUS"}}));
  crawl_rule(1);
  send_push(state_, *config_.current(), view_);
  ASSERT_FALSE(state_.push_text.empty());

  push_.route("/", [](const FixtureRequest&) { return FixtureResponse::ok("{\"code\":0}"); });
  state_.special_found = false;  // a new wave
  serve("15", test::discuz_listing({{"6699402", "普通"}, {"6699401", "京东PLUS"}}));
  crawl_rule(1);
  send_push(state_, *config_.current(), view_);
  EXPECT_EQ(view_.statuses.back(), gbk("已发出微信提醒指令"));
  EXPECT_NE(push_.last_request().body.find("6699402"), std::string::npos);
}

TEST_F(MonitorTest, PendingLinesAreCutToTheNewestWholeLines) {
  push_.route("/", [](const FixtureRequest&) { return FixtureResponse::with_status(503); });
  configure(true, false);
  for (int i = 0; i < 400; ++i)
    add_push_line(state_.push_text, "title " + std::to_string(i) + std::string(60, 'x'),
                  "http://www.zuanke8.com/thread-" + std::to_string(6600000 + i) + "-1-1.html");
  ASSERT_GT(state_.push_text.size(), kMaxPendingPushBytes);
  send_push(state_, *config_.current(), view_);
  EXPECT_LE(state_.push_text.size(), kMaxPendingPushBytes);
  EXPECT_EQ(state_.push_text.rfind("\r\n* %[", 0), 0u);            // starts with a whole line
  EXPECT_NE(state_.push_text.find("6600399"), std::string::npos);  // the newest stays
  EXPECT_EQ(state_.push_text.find("6600000"), std::string::npos);
}

TEST_F(MonitorTest, SpacesAroundThePushKeyAreIgnored) {
  configure(true, false);
  // ASCII and full-width spaces; only spaces is no key (the lines wait).
  for (const char* key : {" SCTKEY1", "SCTKEY1  ", "\xA1\xA1SCTKEY1\xA1\xA1", "  "}) {
    Configuration c = *config_.current();
    c.tx_wxkey = key;
    config_.replace(c);
    push_.clear_requests();
    state_.push_text.clear();
    add_push_line(state_.push_text, "t", "http://x/");
    send_push(state_, *config_.current(), view_);
    const bool no_key = std::string(key) == "  ";
    ASSERT_EQ(push_.request_count(), no_key ? 0u : 1u) << key;
    if (!no_key) EXPECT_EQ(push_.last_request().path(), "/SCTKEY1.send");
    EXPECT_EQ(state_.push_text.empty(), !no_key);
  }
}

TEST_F(MonitorTest, PausingDuringThePushKeepsTheWavesLines) {
  std::mutex m;
  std::condition_variable arrived;
  bool push_arrived = false;
  push_.route("/", [&](const FixtureRequest&) {
    std::lock_guard lock(m);
    push_arrived = true;
    arrived.notify_all();
    return FixtureResponse::never_answer();
  });
  configure(true, false);
  serve("15", test::discuz_listing(test::sample_threads(3, 6699300)));
  Monitor monitor(db_, rules_, config_, view_, stored_);
  monitor.start({1});
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(30), [&] { return push_arrived; }));
  }
  monitor.stop();
  monitor.join();
  const Text lines = monitor.state().push_text;
  EXPECT_NE(lines.find("6699300"), std::string::npos);
  const Text sent = gbk("已发出微信提醒指令");
  EXPECT_EQ(std::count(view_.statuses.begin(), view_.statuses.end(), sent), 0);
  EXPECT_EQ(std::count(view_.statuses.begin(), view_.statuses.end(),
                       gbk("微信提醒发送失败，本轮线报将随下一波重发")),
            0);  // a pause is no failure

  // Started again, the next wave's push carries them.
  push_.route("/", [](const FixtureRequest&) { return FixtureResponse::ok("{\"code\":0}"); });
  push_.clear_requests();
  monitor.start({1});
  ASSERT_TRUE(view_.wait_for_status(sent));
  monitor.stop();
  monitor.join();
  EXPECT_TRUE(monitor.state().push_text.empty());
  ASSERT_EQ(push_.request_count(), 1u);
  EXPECT_NE(push_.last_request().body.find("6699300"), std::string::npos);
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
    EXPECT_EQ(fresh.contains(id), db_.is_post_stored(id)) << id;
  }
  stored_.contains("1");
  stored_.add("thread-7777777-1-1.html");
  EXPECT_TRUE(stored_.contains("7777777"));
  EXPECT_FALSE(stored_.contains("7777778"));
}

// The monitor releases the index after the first wave, on its worker; the
// heap is handed back then. Questions after that read the table again and
// see what was stored meanwhile.
TEST_F(MonitorTest, ReleasedStoredPostIndexReadsTheTableAgain) {
  ASSERT_TRUE(db_.insert_found_post("x", 1, "t", "thread-6699009-1-1.html", "t", 0));
  std::thread([this] {
    EXPECT_TRUE(stored_.contains("6699009"));
    EXPECT_EQ(stored_.size(), 1u);
    stored_.release();
  }).join();
  EXPECT_EQ(stored_.size(), 0u);
  stored_.add("thread-5555555-1-1.html");  // not loaded: left to the table
  ASSERT_TRUE(db_.insert_found_post("x", 1, "t", "thread-7777777-1-1.html", "t", 0));
  EXPECT_TRUE(stored_.contains("7777777"));
  EXPECT_TRUE(stored_.contains("6699009"));
  EXPECT_FALSE(stored_.contains("5555555"));
  EXPECT_EQ(stored_.size(), 2u);
}

}  // namespace
}  // namespace qnl
