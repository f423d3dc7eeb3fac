// Bounds on every search: a hostile rule expression or page can neither stall
// a crawl nor take much memory, and a stop request ends a search.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <gtest/gtest.h>
#include <pcre2.h>
#include <sys/resource.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>

#include "monitor/crawl_rules.h"
#include "monitor/crawler.h"
#include "monitor/monitor_view.h"
#include "storage/configuration.h"
#include "storage/database.h"
#include "storage/stored_posts.h"
#include "support/fixture_server.h"
#include "support/listing_pages.h"
#include "support/test_database.h"
#include "text/encoding.h"
#include "text/regex.h"

namespace qnl {
namespace {

long peak_rss_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::string empty_groups_pattern(const char* prefix) {
  std::string pattern = prefix;
  for (int i = 0; i < 2000; ++i) pattern += "()";
  return pattern + "(?:a|b)*+d|(?:(a)|b)*c";
}

TEST(RegexBounds, ManyGroupsOnALongRunEndAtTheLimitWithLittleMemory) {
  const Text text(100'000, 'a');
  const long before = peak_rss_kib();
  CompiledRegex re;
  ASSERT_TRUE(regex_compile(re, empty_groups_pattern(""), false));
  RegexOutcome outcome = RegexOutcome::kComplete;
  EXPECT_TRUE(regex_search_all(re, text, &outcome).empty());
  EXPECT_EQ(outcome, RegexOutcome::kLimit);
  EXPECT_LT(peak_rss_kib() - before, 128 * 1024);
}

TEST(RegexBounds, PatternsThatTurnTheJitOffAreRefused) {
  CompiledRegex re;
  EXPECT_FALSE(regex_compile(re, empty_groups_pattern("(*NO_JIT)"), false));
  EXPECT_FALSE(regex_compile(re, "(*NO_JIT)a", false));
  EXPECT_FALSE(regex_compile(re, "(*LIMIT_MATCH=10)(*NO_JIT)a", false));
  EXPECT_FALSE(re.valid());
  // Other start-of-pattern items may only lower the limits.
  ASSERT_TRUE(regex_compile(re, "(*LIMIT_MATCH=10)a", false));
  EXPECT_EQ(regex_search_all(re, "xa").size(), 1u);
}

// Runs of "a" short enough that each start position stays under the step
// limit; all the start positions together would take many seconds.
Text broken_runs() {
  Text text;
  for (int i = 0; i < 15; ++i) text += Text(20'000, 'a') + "x";
  return text;
}
constexpr const char* kSlowPattern = "(?:(a)|b)*c|(?:(a)|b)*d";

TEST(RegexBounds, CheapStartsThatAddUpRunOutOfTime) {
  const Text text = broken_runs();
  CompiledRegex re;
  ASSERT_TRUE(regex_compile(re, kSlowPattern, false));
  RegexOutcome outcome = RegexOutcome::kComplete;
  EXPECT_TRUE(regex_search_all(re, text, &outcome).empty());
  EXPECT_EQ(outcome, RegexOutcome::kLimit);
}

TEST(RegexBounds, AStopRequestEndsTheSearchBetweenWindows) {
  const Text text = broken_runs();
  CompiledRegex re;
  ASSERT_TRUE(regex_compile(re, kSlowPattern, false));
  int asked = 0;
  RegexOutcome outcome = RegexOutcome::kComplete;
  {
    const RegexStopScope scope([&asked] { return ++asked >= 3; });
    EXPECT_TRUE(regex_search_all(re, text, &outcome).empty());
  }
  EXPECT_EQ(outcome, RegexOutcome::kStopped);
  EXPECT_EQ(asked, 3);
  // Outside the scope nothing asks any more.
  ASSERT_TRUE(regex_compile(re, "a", false));
  EXPECT_EQ(regex_search_all(re, "aXa", &outcome).size(), 2u);
  EXPECT_EQ(outcome, RegexOutcome::kComplete);
  EXPECT_EQ(asked, 3);
}

TEST(RegexBounds, MatchesAcrossManyWindowsAreAllFound) {
  // Start positions are tried window by window: matches on both sides of
  // every window edge, empty matches and a match starting at the very end.
  Text text;
  for (int i = 0; i < 5000; ++i) text += "x<b>" + std::to_string(i) + "</b>";
  CompiledRegex re;
  ASSERT_TRUE(regex_compile(re, "<b>(\\d+)</b>", false));
  const MatchList found = regex_search_all(re, text);
  ASSERT_EQ(found.size(), 5000u);
  EXPECT_EQ(match_group_text(found[4999], text, 1), "4999");
  // A lone match at every position of the first windows and their edges.
  ASSERT_TRUE(regex_compile(re, "(?<=z)a", false));
  for (size_t p = 1; p < 1100; ++p) {
    const MatchList one = regex_search_all(re, Text(p, 'z') + "a" + Text(40, 'z'));
    ASSERT_EQ(one.size(), 1u) << p;
    EXPECT_EQ(one[0][0].offset, static_cast<int64_t>(p));
  }
  ASSERT_TRUE(regex_compile(re, "$", false));
  EXPECT_EQ(regex_search_all(re, Text(3000, 'z')).size(), 1u);
  ASSERT_TRUE(regex_compile(re, "z*", false));
  EXPECT_EQ(regex_search_all(re, Text(3000, 'z') + "y").size(), 3u);  // zzz..., "", ""
}

// All matches of a plain global search, one PCRE2 call per match, for
// comparison with the windowed search.
std::vector<std::pair<size_t, size_t>> plain_search(const std::string& pattern,
                                                    const std::string& text) {
  std::vector<std::pair<size_t, size_t>> found;
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   PCRE2_DOTALL | PCRE2_MULTILINE | PCRE2_CASELESS, &error,
                                   &error_offset, nullptr);
  if (!code) return found;
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  size_t start = 0;
  uint32_t options = 0;
  while (start <= text.size()) {
    const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), start,
                               options, data, nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (options == 0) break;
      options = 0;
      ++start;
      continue;
    }
    if (rc < 0) break;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    found.emplace_back(ovector[0], ovector[1] - ovector[0]);
    options = ovector[0] == ovector[1] ? PCRE2_ANCHORED | PCRE2_NOTEMPTY_ATSTART : 0;
    start = ovector[1];
  }
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  return found;
}

TEST(RegexBounds, WindowedSearchFindsWhatAPlainSearchFinds) {
  const char* const atoms[] = {
      "a",     "b",   "<",   ">",    "x*",  "(?<=a)b", "(?<!<)a",    "^",        "$", ".*?",
      "[^<]*", "\\d", "a|b", "(a)?", "\\b", "(?=b)",   "<b>.*?</b>", "\xD6\xD0", "\n"};
  const char* const pieces[] = {"a",    "b", "<b>", "</b>",     "\n",
                                "\r\n", "1", " ",   "\xD6\xD0", "\x81"};
  std::mt19937 random(5);
  for (int round = 0; round < 400; ++round) {
    std::string pattern;
    const int atom_count = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < atom_count; ++i) pattern += atoms[random() % std::size(atoms)];
    std::string text;
    const int length = static_cast<int>(random() % 1500);
    while (static_cast<int>(text.size()) < length) text += pieces[random() % std::size(pieces)];
    CompiledRegex re;
    ASSERT_TRUE(regex_compile(re, pattern, false)) << pattern;
    std::vector<std::pair<size_t, size_t>> windowed;
    for (const RegexMatch& m : regex_search_all(re, text))
      windowed.emplace_back(static_cast<size_t>(m[0].offset), static_cast<size_t>(m[0].length));
    ASSERT_EQ(windowed, plain_search(pattern, text)) << testing::PrintToString(pattern);
  }
}

TEST(RegexBounds, ShippedRulesPassOnALargeListingAndTheCrawlerTellsALimitApart) {
  test::ShippedDatabase shipped;
  Database db;
  ASSERT_TRUE(db.db_open(shipped.path()));
  // On the heap: clang 14 crashes on a local grid of this size.
  const auto grid = std::make_unique<RuleGrid>();
  RuleGrid& rules = *grid;
  load_rules(db, rules);
  const Text page = test::discuz_listing(test::sample_threads(150, 6699100), true, 300);
  ASSERT_GT(page.size(), 300u * 1024);
  for (int id : {1, 2, 3, 4, 5, 9, 10}) {
    Text listing = cut_listing(page, "", "");
    prepare_listing(id, listing);
    RegexOutcome outcome = RegexOutcome::kLimit;
    const auto posts =
        match_posts(listing, rules.rule_field(id, kReg),
                    static_cast<int>(to_integer(rules.rule_field(id, kTindex))),
                    static_cast<int>(to_integer(rules.rule_field(id, kIdindex))), &outcome);
    EXPECT_EQ(outcome, RegexOutcome::kComplete) << "rule " << id;
    EXPECT_EQ(posts.size(), 150u) << "rule " << id;
  }
  RegexOutcome outcome = RegexOutcome::kComplete;
  EXPECT_TRUE(match_posts(Text(100'000, 'a'), empty_groups_pattern(""), 1, 1, &outcome).empty());
  EXPECT_EQ(outcome, RegexOutcome::kLimit);
}

class StatusView : public MonitorView {
 public:
  void show_status(const Text& text) override { statuses.push_back(text); }
  void add_article_row(const ArticleRow&) override { ++rows; }
  void add_reminder_row(const Text&, const Text&, const Text&) override {}
  void clear_reminders() override {}
  std::vector<Text> statuses;
  int rows = 0;
};

TEST(RegexBounds, ACrawlWhoseRuleHitsALimitFindsNothingAndNamesTheRule) {
  test::ShippedDatabase shipped;
  Database db;
  ASSERT_TRUE(db.db_open(shipped.path()));
  // On the heap: clang 14 crashes on a local grid of this size.
  const auto grid = std::make_unique<RuleGrid>();
  RuleGrid& rules = *grid;
  load_rules(db, rules);
  ConfigStore config;
  ASSERT_EQ(load_configuration(db, config), ConfigLoad::loaded);
  test::FixtureServer forum;
  forum.set_handler([](const test::FixtureRequest&) {
    return test::FixtureResponse::ok(Text(100'000, 'a'), {"Content-Type: text/html; charset=gbk"});
  });
  const test::ScopedNetOverrides overrides({forum.connect_to("www.zuanke8.com", 80)});
  rules.set_rule_field(1, kBefore, "");  // the whole page is the listing
  rules.set_rule_field(1, kReg, empty_groups_pattern(""));
  StoredPostIndex stored(db);
  MonitorState state;
  StatusView view;
  CrawlContext context{db, rules, config, view, state, stored};
  crawl(1, context);
  EXPECT_EQ(view.rows, 0);
  ASSERT_EQ(view.statuses.size(), 1u);
  EXPECT_EQ(view.statuses[0], test::gbk("赚客大家谈：规则表达式超出匹配限制，本次未找到文章"));
}

}  // namespace
}  // namespace qnl
