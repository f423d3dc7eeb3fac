// Loading the crawl rules into the grid and the plan list.
#include "monitor/crawl_rules.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "storage/database.h"
#include "support/test_database.h"
#include "text/encoding.h"

namespace qnl {
namespace {

const char kRules[] = R"SQL(
CREATE TABLE rule (id INTEGER, isdo TEXT, rank INTEGER, isgbk TEXT, type TEXT, name TEXT,
  url TEXT, cookie TEXT, reg TEXT, before TEXT, after TEXT, tindex TEXT, idindex TEXT,
  pinurl TEXT, lastid TEXT);
INSERT INTO rule VALUES (1, '1', 90, '1', '1', '赚客大家谈', 'http://a/', 'k=v', 'r', 'b', 'a', '1', '2', 'thread-[2]-1-1.html', '0');
INSERT INTO rule VALUES (2, '3', 80, '1', '1', 'hidden', '', '', '', '', '', '', '', '', '');
INSERT INTO rule VALUES (3, ' 1', 70, '1', '1', 'spaced', '', '', '', '', '', '', '', '', '');
INSERT INTO rule VALUES (4, '0', 60, '1', '8', 'first four', '', '', '', '', '', '', '', '', '100');
INSERT INTO rule VALUES (4, '1', 50, '1', '8', 'second four', '', '', '', '', '', '', '', '', '200');
INSERT INTO rule VALUES (19, '1', 40, '1', '1', 'beyond', '', '', '', '', '', '', '', '', '');
INSERT INTO rule VALUES (0, '1', 30, '1', '1', 'zero', '', '', '', '', '', '', '', '', '');
INSERT INTO rule VALUES (5, '', 100, '1', '1', 'top', '', '', '', '', '', '', '', '', '');
INSERT INTO rule VALUES (6, NULL, 100, '1', '1', 'null isdo: left out by the query', '', '', '', '', '', '', '', '', '');
)SQL";

TEST(LoadRules, GridAndPlansFollowTheTable) {
  test::TempDir dir;
  const auto file = dir.path() / "rules.sdb";
  ASSERT_TRUE(test::make_database(file, kRules));
  Database db;
  ASSERT_TRUE(db.db_open(file));
  RuleGrid grid;
  const std::vector<Plan> plans = load_rules(db, grid);

  // Highest rank first; hidden rows and ids outside 1-18 left out; both rows
  // of id 4 listed.
  std::vector<int> ids;
  for (const Plan& p : plans) ids.push_back(p.id);
  EXPECT_EQ(ids, (std::vector<int>{5, 1, 3, 4, 4}));
  EXPECT_FALSE(plans[0].ticked);  // empty isdo
  EXPECT_TRUE(plans[1].ticked);
  EXPECT_FALSE(plans[2].ticked);  // " 1" is not "1"
  EXPECT_FALSE(plans[3].ticked);
  EXPECT_TRUE(plans[4].ticked);
  EXPECT_EQ(plans[1].name, utf8_to_local("赚客大家谈"));

  EXPECT_EQ(grid.rule_field(1, kCookie), "k=v");
  EXPECT_EQ(grid.rule_field(1, kPinurl), "thread-[2]-1-1.html");
  EXPECT_EQ(grid.rule_field(4, kName), "second four");  // the later row wins
  EXPECT_EQ(grid.rule_field(4, kLastid), "200");
  EXPECT_EQ(grid.rule_field(2, kName), "");  // hidden: not in the grid
  EXPECT_EQ(grid.rule_field(19, kName), "");
  EXPECT_EQ(grid.rule_field(1, 15), "");  // unused fields stay empty
}

TEST(RuleGrid, OneRuleIsReadWithItsNumbersConverted) {
  test::TempDir dir;
  const auto file = dir.path() / "rules.sdb";
  ASSERT_TRUE(test::make_database(file, kRules));
  Database db;
  ASSERT_TRUE(db.db_open(file));
  RuleGrid grid;
  load_rules(db, grid);

  const CrawlRule one = grid.rule(1);
  const std::vector<Text> texts{one.name,   one.url,   one.cookie, one.reg,
                                one.before, one.after, one.pinurl};
  EXPECT_EQ(texts, (std::vector<Text>{utf8_to_local("赚客大家谈"), "http://a/", "k=v", "r", "b",
                                      "a", "thread-[2]-1-1.html"}));
  EXPECT_EQ(std::make_tuple(one.id, one.tindex, one.idindex, one.type, one.lastid, one.isgbk),
            std::make_tuple(1, 1, 2, int64_t{1}, int64_t{0}, true));
  EXPECT_EQ(grid.rule(4).lastid, 200);  // the later row wins

  // Numbers as the grid converts them; the flag is exact text equality.
  const struct {
    const char* text;
    int64_t number;
    bool flag;
  } fields[] = {
      {"1", 1, true},      {"8", 8, false},   {" 1", 1, false},
      {"", 0, false},      {"abc", 0, false}, {"-3", -3, false},
      {"１２", 12, false}, {"7x", 7, false},  {"9223372036854775807", INT64_MAX, false},
  };
  for (const auto& f : fields) {
    for (RuleField field : {kTindex, kIdindex, kType, kLastid, kIsgbk})
      grid.set_rule_field(3, field, utf8_to_local(f.text));
    const CrawlRule rule = grid.rule(3);
    EXPECT_EQ(rule.type, f.number) << f.text;
    EXPECT_EQ(rule.lastid, f.number) << f.text;
    EXPECT_EQ(rule.isgbk, f.flag) << f.text;
    if (f.number == static_cast<int>(f.number)) EXPECT_EQ(rule.tindex, f.number) << f.text;
  }

  // Outside the grid or never loaded: empty.
  for (int id : {0, 7, 19}) {
    const CrawlRule empty = grid.rule(id);
    EXPECT_TRUE(empty.url.empty() && empty.reg.empty() && empty.type == 0 && !empty.isgbk) << id;
  }
}

TEST(LoadRules, FailedQueryGivesNoPlans) {
  test::TempDir dir;
  const auto file = dir.path() / "empty.sdb";
  ASSERT_TRUE(test::make_database(file, "CREATE TABLE other (x);"));
  Database db;
  ASSERT_TRUE(db.db_open(file));
  RuleGrid grid;
  EXPECT_TRUE(load_rules(db, grid).empty());
}

TEST(RuleGrid, FieldsAreReadAndWrittenWhole) {
  RuleGrid grid;
  grid.set_rule_field(0, kCookie, "x");
  grid.set_rule_field(1, 24, "x");
  EXPECT_EQ(grid.rule_field(0, kCookie), "");
  EXPECT_EQ(grid.rule_field(1, 24), "");

  // A reader on another thread sees one whole cookie text or the other.
  const Text a(4096, 'a');
  const Text b(8192, 'b');
  grid.set_rule_field(1, kCookie, a);
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) grid.set_rule_field(1, kCookie, i % 2 ? a : b);
  });
  for (int i = 0; i < 2000; ++i) {
    const Text seen = grid.rule_field(1, kCookie);
    ASSERT_TRUE(seen == a || seen == b);
  }
  writer.join();
}

}  // namespace
}  // namespace qnl
