// Both regular-expression facilities: the byte-oriented Perl engine the
// crawler matches listings with, and the character-oriented regex object that
// strips markup.
#include "text/regex.h"

#include <gtest/gtest.h>

#include <random>

#include "support/test_database.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::gbk;

MatchList search(TextView pattern, TextView text, bool case_sensitive = false) {
  CompiledRegex re;
  EXPECT_TRUE(regex_compile(re, pattern, case_sensitive)) << pattern;
  return regex_search_all(re, text);
}

// Runs a test body once with the shortcuts and once through the engine only.
class FastAndEngine : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { regex_set_fast_paths(GetParam()); }
  void TearDown() override { regex_set_fast_paths(true); }
};
INSTANTIATE_TEST_SUITE_P(Paths, FastAndEngine, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "fast" : "engine"; });

// ---- Perl-syntax engine ----

TEST(PerlEngine, OptionalGroupThatDidNotTakePart) {
  const Text text = "ac";
  const MatchList matches = search("a(b)?", text, true);
  ASSERT_EQ(matches.size(), 1u);
  int64_t position = 99;
  EXPECT_EQ(match_group_text(matches[0], text, 0, &position), "a");
  EXPECT_EQ(position, 0);
  EXPECT_FALSE(matches[0][1].matched);
  EXPECT_EQ(match_group_text(matches[0], text, 1, &position), "");
  EXPECT_EQ(position, -1);
  EXPECT_EQ(match_group_text(matches[0], text, 7, &position), "");
}

TEST(PerlEngine, CaseSwitch) {
  EXPECT_EQ(search("TITLE", "<title>", false).size(), 1u);
  EXPECT_EQ(search("TITLE", "<title>", true).size(), 0u);
}

TEST(PerlEngine, DotTakesLineBreaksAndAnchorsMatchAtLineBreaks) {
  const Text text = "<a>x\r\ny</a>\nline";
  const MatchList tag = search("<a>(.*?)</a>", text);
  ASSERT_EQ(tag.size(), 1u);
  EXPECT_EQ(match_group_text(tag[0], text, 1), "x\r\ny");
  const MatchList lines = search("^line$", text);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0][0].offset, 12);
}

TEST(PerlEngine, BytesAreTheUnitAndOffsetsAreBytes) {
  const Text text = gbk("中文<b>ab");
  // [^<] steps through each double-byte character byte by byte.
  EXPECT_EQ(search("[^<]", text).size(), 4u + 4u);
  const MatchList b = search("<b>(a)", text);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0][0].offset, 4);
  EXPECT_EQ(b[0][1].offset, 7);
  // Chinese in a pattern matches its bytes.
  EXPECT_EQ(search(gbk("文<"), text).size(), 1u);
}

TEST(PerlEngine, AllMatchesLeftToRightIncludingEmptyOnes) {
  const MatchList m = search("a*", "baaac");
  std::vector<std::pair<int64_t, int64_t>> spans;
  for (const auto& match : m) spans.emplace_back(match[0].offset, match[0].length);
  const std::vector<std::pair<int64_t, int64_t>> expected = {{0, 0}, {1, 3}, {4, 0}, {5, 0}};
  EXPECT_EQ(spans, expected);
  EXPECT_EQ(search("aa", "aaaaa").size(), 2u);  // non-overlapping
}

TEST(PerlEngine, InvalidPatternFindsNothing) {
  CompiledRegex re;
  EXPECT_FALSE(regex_compile(re, "a(b", false));
  EXPECT_FALSE(re.valid());
  EXPECT_TRUE(regex_search_all(re, "a(b").empty());
  // A failed compile also drops an earlier good expression.
  ASSERT_TRUE(regex_compile(re, "a", false));
  EXPECT_FALSE(regex_compile(re, "[", false));
  EXPECT_TRUE(regex_search_all(re, "a").empty());
  EXPECT_TRUE(regex_search_all(CompiledRegex(), "a").empty());
}

TEST(PerlEngine, CatastrophicPatternCountsAsNoMatch) {
  const Text text(3000, 'a');
  EXPECT_TRUE(search("(a*)*b", text).empty());
  EXPECT_TRUE(search("(a|aa|aaa)*(a|aa)*b", text).empty());
}

TEST(PerlEngine, TextBeyondTheCapIsNotSearched) {
  Text text(kRegexTextCap - 2, ' ');
  text += "needle";
  EXPECT_TRUE(search("needle", text).empty());
  EXPECT_EQ(search("ne", text).size(), 1u);
}

// ---- Regex object: the behaviour callers rely on ----

TEST_P(FastAndEngine, FontTagsRemovedGlobally) {
  EXPECT_EQ(regex_replace_all("<font.*?>", "<font color=red>big</FONT><font size=2>deal", ""),
            "big</FONT>deal");
}

TEST_P(FastAndEngine, DotStopsAtLineFeedOnly) {
  EXPECT_EQ(regex_replace_all("<b>.*?</b>", "<b>x\ny</b>", ""), "<b>x\ny</b>");
  EXPECT_EQ(regex_replace_all("a.b", "a\nb", ""), "a\nb");
  EXPECT_EQ(regex_replace_all("<b>.*?</b>", "<b>x\ry</b>!", ""), "!");
  EXPECT_EQ(regex_replace_all("a.b", "a\rb!", ""), "!");
  // A later start on the same line still matches.
  EXPECT_EQ(regex_replace_all("<b>.*?</b>", "<b>x\n<b>y</b>", ""), "<b>x\n");
}

TEST_P(FastAndEngine, ExecuteFindingNothing) {
  RegexObject re;
  EXPECT_TRUE(re.execute("zzz", "abc"));
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.sub_match_count(), 0);
  EXPECT_EQ(re.replace("x"), "abc");
  EXPECT_EQ(re.pattern(), "zzz");
  int64_t position = 5;
  EXPECT_EQ(re.match_text(1, &position), "");
  EXPECT_EQ(position, -1);
}

TEST_P(FastAndEngine, InPlaceGivesTheSameText) {
  const Text subject = gbk("<a>中</a>x<a>文</a>");
  for (const char* pattern : {"</a>", "<a>.*?</a>", "<a>", "z", "a(", "a*"}) {
    for (const char* replacement : {"", "]", "<<long replacement>>"}) {
      Text t = subject;
      regex_replace_all_in_place(pattern, t, replacement);
      EXPECT_EQ(t, regex_replace_all(pattern, subject, replacement)) << pattern << replacement;
    }
  }
  Text t = "abcabc";
  regex_replace_all_in_place("b", t, TextView(t).substr(2, 1));  // replacement inside the text
  EXPECT_EQ(t, "accacc");
}

TEST_P(FastAndEngine, InvalidPattern) {
  RegexObject re;
  EXPECT_EQ(re.replace("x"), "");  // never executed
  ASSERT_TRUE(re.execute("b", "abc"));
  EXPECT_FALSE(re.execute("a(", "abc"));
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.replace("x"), "");
  EXPECT_EQ(re.pattern(), "");
  EXPECT_EQ(regex_replace_all("a(", "abc", ""), "");
  EXPECT_EQ(regex_replace_all("[x", "abc", ""), "");
}

TEST_P(FastAndEngine, CaseIgnoredByDefault) {
  EXPECT_EQ(regex_replace_all("<SPAN class=XW1>", "a<span CLASS=xw1>b", ""), "ab");
  RegexObject re;
  ASSERT_TRUE(re.execute("title", "TITLE Title", true));
  EXPECT_EQ(re.match_count(), 0);
  ASSERT_TRUE(re.execute("title", "TITLE Title"));
  EXPECT_EQ(re.match_count(), 2);
}

TEST_P(FastAndEngine, AnchorsAtCrAndLfOnlyInMultiLineMode) {
  RegexObject re;
  ASSERT_TRUE(re.execute("^b", "a\rb\nb"));
  EXPECT_EQ(re.match_count(), 2);
  ASSERT_TRUE(re.execute("a$", "a\ra\r\na"));
  EXPECT_EQ(re.match_count(), 3);
  ASSERT_TRUE(re.execute("^b", "a\rb\nb", false, false));
  EXPECT_EQ(re.match_count(), 0);
  ASSERT_TRUE(re.execute("^a|b$", "a\nb\na\nb", false, false));
  EXPECT_EQ(re.match_count(), 2);
  // Ends of the text count in both modes.
  EXPECT_EQ(regex_replace_all("^\\s+|\\s+$", "\r\n x \r\n", ""), "x");
}

TEST_P(FastAndEngine, LineEndsAreCrLfOrCrLfAndNeverInsideCrLf) {
  struct Case {
    const char* pattern;
    const char* subject;
    bool multiline;
    std::vector<int64_t> offsets;
  };
  const Case cases[] = {
      {"$", "a\r\nb", true, {1, 4}},
      {"^", "a\r\nb", true, {0, 3}},
      {"$", "a\n\rb", true, {1, 2, 4}},
      {"^", "a\n\rb", true, {0, 2, 3}},
      {"x$", "x\r\r\nx", true, {0, 4}},
      {"[^<]*$", "ab\r\n<", true, {0, 2, 5}},  // "ab", empty before CR, empty at the end
      {"$", "a\r\n", false, {3}},
      {"^", "\r\na", false, {0}},
      {"(?m)$", "a\nb", false, {1, 3}},
  };
  for (const Case& c : cases) {
    RegexObject re;
    ASSERT_TRUE(re.execute(c.pattern, c.subject, false, c.multiline)) << c.pattern;
    std::vector<int64_t> offsets;
    for (int64_t m = 1; m <= re.match_count(); ++m) {
      int64_t position = -1;
      re.match_text(m, &position);
      offsets.push_back(position);
    }
    EXPECT_EQ(offsets, c.offsets) << testing::PrintToString(c.pattern) << " on "
                                  << testing::PrintToString(std::string(c.subject));
  }
}

TEST(RegexObjectBounds, AStopRequestLeavesTheTextAlone) {
  const Text page = "<font a>x<font b>y";
  int asked = 0;
  {
    const RegexStopScope scope([&asked] { return ++asked > 0; });
    EXPECT_EQ(regex_replace_all("<f[a-z]+ .>", page, ""), page);
    // The shortcuts for plain and lazy-span patterns run in linear time and
    // are not stopped.
    EXPECT_EQ(regex_replace_all("<font.*?>", page, ""), "xy");
  }
  EXPECT_GT(asked, 0);
  EXPECT_EQ(regex_replace_all("<f[a-z]+ .>", page, ""), "xy");
}

TEST_P(FastAndEngine, GlobalSwitchAndPlainReplacement) {
  RegexObject re;
  ASSERT_TRUE(re.execute("o", "foo boo", false, true, false));
  EXPECT_EQ(re.match_count(), 1);
  EXPECT_EQ(re.replace("0"), "f0o boo");
  ASSERT_TRUE(re.execute("o", "foo boo"));
  EXPECT_EQ(re.replace("$&\\1"), "f$&\\1$&\\1 b$&\\1$&\\1");  // no $ sequences
  // Empty matches advance one character at a time.
  EXPECT_EQ(regex_replace_all("x*", gbk("a中"), "-"), gbk("-a-中-"));
}

TEST_P(FastAndEngine, GroupsAndByteOffsetsAfterChinese) {
  RegexObject re;
  const Text subject = gbk("中文 id=12, 国 id=345");
  ASSERT_TRUE(re.execute("id=(\\d+)(x)?", subject));
  ASSERT_EQ(re.match_count(), 2);
  EXPECT_EQ(re.sub_match_count(), 2);
  int64_t position = 0;
  EXPECT_EQ(re.match_text(1, &position), "id=12");
  EXPECT_EQ(position, 5);
  EXPECT_EQ(re.sub_match_text(2, 1, &position), "345");
  EXPECT_EQ(position, 18);
  EXPECT_EQ(re.sub_match_text(2, 2, &position), "");
  EXPECT_EQ(position, -1);
  EXPECT_EQ(re.sub_match_text(2, 3), "");
  EXPECT_EQ(re.sub_match_text(2, 0), "");
  EXPECT_EQ(re.match_text(3), "");
  EXPECT_EQ(re.match_text(0), "");

  // Copies share the results.
  const RegexObject copy = re;
  EXPECT_EQ(copy.match_text(2), "id=345");
}

TEST_P(FastAndEngine, CharacterIsTheUnit) {
  RegexObject re;
  const Text middle = gbk("中.文");
  ASSERT_TRUE(re.execute(middle, gbk("中国文 中a文")));
  EXPECT_EQ(re.match_count(), 2);
  EXPECT_EQ(re.match_text(1), gbk("中国文"));
  // [^<] takes a whole double-byte character.
  ASSERT_TRUE(re.execute("[^<]+", gbk("中文<b")));
  ASSERT_EQ(re.match_count(), 2);
  EXPECT_EQ(re.match_text(1), gbk("中文"));
  ASSERT_TRUE(re.execute("^.$", gbk("中")));
  EXPECT_EQ(re.match_count(), 1);
  ASSERT_TRUE(re.execute(gbk("[中国]+"), gbk("文中国文")));
  EXPECT_EQ(re.match_text(1), gbk("中国"));
  // Chinese is not a word character.
  ASSERT_TRUE(re.execute("\\w+", gbk("ab中文cd")));
  EXPECT_EQ(re.match_count(), 2);
}

TEST_P(FastAndEngine, NeverMatchesInsideACharacter) {
  // 0xD6 0x61 is one character whose second byte is the letter a; 0x95 0x5C
  // and 0x95 0x7C end in a backslash and a bar.
  const Text tricky = "\xD6\x61";
  EXPECT_EQ(regex_replace_all("a", tricky + "A", ""), tricky);
  EXPECT_EQ(regex_replace_all("A.*?>", tricky + "x>A>", ""), tricky + "x>");
  EXPECT_EQ(regex_replace_all(tricky, "a" + tricky + "a", ""), "aa");
  EXPECT_EQ(regex_replace_all("\x95\x5C", "x\x95\x5Cy", ""), "xy");
  EXPECT_EQ(regex_replace_all("\x95\x7C", "x\x95\x7Cy", ""), "xy");
  EXPECT_EQ(regex_replace_all("\x95\x7C+", "\x95\x7C\x95\x7C!", ""), "!");
}

TEST_P(FastAndEngine, ALoneLeadByteIsACharacterOfItsOwn) {
  struct Case {
    const char* name;
    const char* pattern;
    std::string subject;
    int64_t count;
    int64_t first_offset;
  };
  const Case cases[] = {
      {"markup after a lone lead byte", "<b>", "a\x81<b>", 1, 2},
      {"lazy span starting after it", "<b>.*?</b>", "\x81<b>x</b>", 1, 1},
      {"a lone lead byte is one dot", "^.<", "\x81<", 1, 0},
      {"7F after a lead byte", "\x7F", "\xD6\x7F", 1, 1},
      {"a real pair hides its trail", "A", "\x81\x41", 0, -1},
      {"line feed after a lead byte", "!$", "\x81!\n", 1, 1},
  };
  for (const Case& c : cases) {
    RegexObject re;
    ASSERT_TRUE(re.execute(c.pattern, c.subject)) << c.name;
    EXPECT_EQ(re.match_count(), c.count) << c.name;
    int64_t offset = -1;
    re.match_text(1, &offset);
    EXPECT_EQ(offset, c.first_offset) << c.name;
  }
}

TEST_P(FastAndEngine, ChineseLiteralsAndTheQuotePlaceholder) {
  const Text page = gbk("<div><!--无图广告横幅--></div>正文<!--无图x横幅--></div>");
  EXPECT_EQ(regex_replace_all(gbk("<!--无图(.*?)横幅--></div>"), page, ""), gbk("<div>正文"));
  RegexObject re;
  ASSERT_TRUE(re.execute(gbk("id=#引号(.*?)#引号"), "<a id=\"x1\">", false, true, true, true));
  EXPECT_EQ(re.pattern(), "id=\"(.*?)\"");
  EXPECT_EQ(re.sub_match_text(1, 1), "x1");
  ASSERT_TRUE(re.execute(gbk("#引号"), "\"", false, true, true, false));
  EXPECT_EQ(re.match_count(), 0);
}

TEST_P(FastAndEngine, CatastrophicPatternLeavesTheTextAlone) {
  const Text text(3000, 'a');
  RegexObject re;
  EXPECT_TRUE(re.execute("(a*)*b", text));
  EXPECT_EQ(re.match_count(), 0);
  EXPECT_EQ(re.replace(""), text);
  EXPECT_EQ(regex_replace_all("(a|aa|aaa)*(a|aa)*b", text, ""), text);
}

TEST_P(FastAndEngine, ProgramStripPatterns) {
  const Text row =
      gbk("<th class=new><img src=static/image/filetype/common.gif alt=attach_img /> "
          "<a href=thread-6699009-1-1.html  class=s xst target=_blank>京东 线报<img "
          "src=x.gif />价</a> - [阅读权限 <span class=xw1>10</span>]<span class=tps>&nbsp;...<a "
          "href=x>2</a></span></th>");
  Text t = row;
  t = regex_replace_all("<img src=.*?/>", t, "");
  t = regex_replace_all("<span class=tps>.*?</span>", t, "");
  t = regex_replace_all("<span class=xw1>", t, "");
  t = regex_replace_all("</span>]", t, "]");
  t = regex_replace_all("</a>", t, "");
  EXPECT_EQ(t, gbk("<th class=new> <a href=thread-6699009-1-1.html  class=s xst "
                   "target=_blank>京东 线报价 - [阅读权限 10]</th>"));

  const Text page =
      gbk("a<ins class=ad>广告</ins>b<SCRIPT>var x='</script>';</script>c<ins>\n</INS>d");
  Text p = regex_replace_all("<ins(.*?)/ins>", page, "");
  p = regex_replace_all("<script(.*?)/script>", p, "");
  // The second ins element spans a line feed and stays.
  EXPECT_EQ(p, "ab';</script>c<ins>\n</INS>d");
}

// The shortcuts must give exactly the engine's matches; compare both on
// random texts mixing markup, letters, line breaks and double-byte characters
// (some with letter or markup trail bytes).
TEST(RegexObjectPaths, ShortcutsAgreeWithTheEngine) {
  const std::vector<Text> pieces = {
      "<",        ">",        "/",        "a",    "A",    "b",    " ",    "\n",  "\r", "=",
      "\xD6\xD0", "\xD6\x61", "\x95\x5C", "\x80", "\xFF", "\xD6", "</a>", "<a ", "/>", "]"};
  const std::vector<Text> patterns = {
      "a",     "A<",       "<a",   "\xD6\xD0", "</a>",       "<.*?>",        "<(.*?)/>",
      "a.*?b", "\xD6\x61", "]",    "a\\/",     "<a .*?</a>", "a.b",          "^a",
      "b$",    "[^<]+",    "\\w+", "a|b",      "(a)(b)?",    "\xD6\x61.*?>", "/>]"};
  std::mt19937 rng(12345);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 60);
  for (int round = 0; round < 400; ++round) {
    Text subject;
    for (int i = length(rng); i > 0; --i) subject += pieces[pick(rng)];
    for (const Text& pattern : patterns) {
      for (const bool case_sensitive : {false, true}) {
        RegexObject fast, engine;
        regex_set_fast_paths(true);
        ASSERT_TRUE(fast.execute(pattern, subject, case_sensitive));
        regex_set_fast_paths(false);
        ASSERT_TRUE(engine.execute(pattern, subject, case_sensitive));
        regex_set_fast_paths(true);
        ASSERT_EQ(fast.match_count(), engine.match_count()) << pattern << " on " << subject;
        ASSERT_EQ(fast.sub_match_count(), engine.sub_match_count());
        for (int64_t m = 1; m <= fast.match_count(); ++m) {
          for (int64_t g = 0; g <= fast.sub_match_count(); ++g) {
            int64_t fast_pos = 0, engine_pos = 0;
            const Text a =
                g == 0 ? fast.match_text(m, &fast_pos) : fast.sub_match_text(m, g, &fast_pos);
            const Text b = g == 0 ? engine.match_text(m, &engine_pos)
                                  : engine.sub_match_text(m, g, &engine_pos);
            ASSERT_EQ(a, b) << pattern << " on " << subject;
            ASSERT_EQ(fast_pos, engine_pos) << pattern << " on " << subject;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace qnl
