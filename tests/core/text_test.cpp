// Text primitives: byte positions, double-byte safety and the edge rules
// the scrapers rely on.
#include "text/text.h"

#include <gtest/gtest.h>

#include <random>

#include "support/test_database.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::gbk;

TEST(FindText, PositionsAndStart) {
  EXPECT_EQ(find_text("abcabc", "c"), 3);
  EXPECT_EQ(find_text("abcabc", "c", 4), 6);
  EXPECT_EQ(find_text("abcabc", "c", -5), 3);
  EXPECT_EQ(find_text("abcabc", "x"), -1);
  EXPECT_EQ(find_text("abc", "", 2), 2);
  EXPECT_EQ(find_text("abc", "", 4), -1);
  EXPECT_EQ(find_text("", ""), -1);
  EXPECT_EQ(find_text("aBc", "bC", 1, true), 2);
  EXPECT_EQ(find_text("aBc", "bC"), -1);
}

TEST(FindText, NeverMatchesInsideADoubleByteCharacter) {
  // 0xD6 0x61 is one character whose second byte is the letter a.
  const Text text =
      "\xD6\x61"
      "a";
  EXPECT_EQ(find_text(text, "a"), 3);
  EXPECT_EQ(find_text(text, "A", 1, true), 3);
  // Folding must not equate second bytes that differ only as ASCII letters.
  EXPECT_EQ(find_text("\xD6\x41", "\xD6\x61", 1, true), -1);
  const Text words = gbk("免费赠品线报");
  EXPECT_EQ(find_text(words, gbk("线报")), 9);
}

TEST(ReplaceText, CaseStartAndCount) {
  EXPECT_EQ(replace_text("aAa", "a", "x"), "xxx");  // case ignored by default
  EXPECT_EQ(replace_text("aAa", "a", "x", 1, -1, true), "xAx");
  EXPECT_EQ(replace_text("aaaa", "a", "b", 3), "aabb");
  EXPECT_EQ(replace_text("aaaa", "a", "b", 1, 2), "bbaa");
  EXPECT_EQ(replace_text("aaaa", "aa", "a"), "aa");  // non-overlapping
  EXPECT_EQ(replace_text("abc", "", "x"), "abc");
  EXPECT_EQ(replace_text("\xD6\x61"
                         "a",
                         "a", "-"),
            "\xD6\x61-");
}

TEST(SplitText, EdgeRules) {
  using V = std::vector<Text>;
  EXPECT_EQ(split_text("a;b;", ";"), (V{"a", "b"}));
  EXPECT_EQ(split_text(";a", ";"), (V{"", "a"}));
  EXPECT_EQ(split_text("a;;b", ";"), (V{"a", "", "b"}));
  EXPECT_EQ(split_text("", ";"), V{});
  EXPECT_EQ(split_text("a\r\n\r\nb", "\r\n"), (V{"a", "", "b"}));
  EXPECT_EQ(split_text("a;b;c", ";", 2), (V{"a", "b;c"}));
}

TEST(Spaces, TrimAndRemove) {
  const Text wide = "\xA1\xA1";
  EXPECT_EQ(trim_spaces(" " + wide + "a b" + wide + " "), "a b");
  EXPECT_EQ(trim_spaces(" a\r\n"), "a\r\n");
  EXPECT_EQ(trim_spaces("\ta "), "\ta");
  EXPECT_EQ(trim_spaces("   "), "");
  EXPECT_EQ(remove_spaces("k=v w;" + wide + "x"), "k=vw;x");
  // A1 A1 inside a pair of other characters is not a space: B0 A1 | A1 B0.
  EXPECT_EQ(remove_spaces("\xB0\xA1\xA1\xB0"), "\xB0\xA1\xA1\xB0");
}

TEST(Substrings, ByteCounts) {
  EXPECT_EQ(left_text("abcdef", 2), "ab");
  EXPECT_EQ(left_text("abc", 0), "");
  EXPECT_EQ(left_text("abc", 10), "abc");
  EXPECT_EQ(right_text("abcdef", 2), "ef");
  EXPECT_EQ(right_text("abc", -1), "");
  EXPECT_EQ(mid_text("abcdef", 2, 3), "bcd");
  EXPECT_EQ(mid_text("abcdef", 7, 3), "");
  EXPECT_EQ(mid_text("abcdef", 5), "ef");
  EXPECT_EQ(mid_text("abcdef", 2, 0), "");
}

TEST(Case, AsciiOnly) {
  EXPECT_EQ(to_upper("ab\xD6\x61"
                     "c"),
            "AB\xD6\x61"
            "C");
  EXPECT_EQ(to_lower("AB\xD6\x41"
                     "C"),
            "ab\xD6\x41"
            "c");
}

TEST(ToInteger, LeadingDigitsOnly) {
  EXPECT_EQ(to_integer("42abc"), 42);
  EXPECT_EQ(to_integer("  -17"), -17);
  EXPECT_EQ(to_integer("+5"), 5);
  EXPECT_EQ(to_integer("abc"), 0);
  EXPECT_EQ(to_integer(""), 0);
  EXPECT_EQ(to_integer(gbk("１２３")), 123);
  EXPECT_EQ(to_integer(gbk("－８")), -8);
  EXPECT_EQ(to_integer("99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(to_integer("-99999999999999999999999"), INT64_MIN);
  EXPECT_EQ(to_integer("6699009"), 6699009);
}

TEST(TextBetween, Markers) {
  EXPECT_EQ(text_between("x\"def\"y", "#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5"), "def");
  EXPECT_EQ(text_between(gbk("<a class=\"title\">T</a>"), gbk("class=#引号title#引号>"), "<"), "T");
  // The end marker must follow the start marker.
  EXPECT_EQ(text_between("END start", "start", "END"), "");
  EXPECT_EQ(text_between("<B>x</B>", "<b>", "</b>"), "");
  EXPECT_EQ(text_between("<B>x</B>", "<b>", "</b>", 1, true), "x");
  EXPECT_EQ(text_between("abc", "", "c"), "ab");
  EXPECT_EQ(text_between("abc", "a", ""), "");
  EXPECT_EQ(text_between("[1][2]", "[", "]", 3), "2");
  EXPECT_EQ(text_between("abc", "x", "c"), "");
}

TEST(FlattenPage, Steps) {
  Text title = "a &quot;free&quot; deal";
  EXPECT_EQ(flatten_page(title), "a free deal");
  EXPECT_EQ(title, "a free deal");  // updated in place

  Text tabs = "one\ttwo\tthree";
  EXPECT_EQ(flatten_page(tabs), "onetwothree");

  Text spaces = "a    b   c  d e";  // 4 -> 2, 3 -> 2, 2 -> 1
  EXPECT_EQ(flatten_page(spaces), "a  b  c d e");

  Text lines = "<a href=\"x\">\r\n  t  </a>";
  EXPECT_EQ(flatten_page(lines), "<a href=x> t </a>");

  Text entities = "&LT;b&Gt; 50&#37; it's &amp; &QUOT;";
  EXPECT_EQ(flatten_page(entities), "<b> 50% its &amp; &QUOT;");

  // An entity broken by a line break is whole again after the breaks go.
  Text broken = "&l\nt;";
  EXPECT_EQ(flatten_page(broken), "<");
  // A quote removed last does not make a new entity.
  Text late = "&l\"t;";
  EXPECT_EQ(flatten_page(late), "&lt;");
}

// ---- malformed double-byte text ----
//
// A lead byte 0x81-0xFE is half of a character only when a trail byte
// (0x40-0x7E, 0x80-0xFE) follows; otherwise it, and the byte after it, are
// characters of their own.

struct FindCase {
  const char* name;
  std::string text;
  std::string sought;
  bool ignore_case;
  int64_t expected;
};

TEST(MalformedText, FindTextSeesTheByteAfterALoneLeadByte) {
  const FindCase cases[] = {
      {"lt after lone lead", "a\x81<b>", "<b>", false, 3},
      {"quote after lone lead", "\x81\"x\"", "\"", false, 2},
      {"7F is not a trail byte", "\x81\x7F", "\x7F", false, 2},
      {"FF is not a lead byte", "\xFF\x41", "A", false, 2},
      {"80 is a single byte", "\x80\x41", "a", true, 2},
      {"lead at the very end", "ab\x81", "\x81", false, 3},
      {"real pair still protected", "\x81\x41", "A", false, -1},
      {"real pair, ignoring case", "\x81\x41", "a", true, -1},
      {"lone lead then letter found ignoring case", "\x81!a", "A", true, 3},
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(find_text(c.text, c.sought, 1, c.ignore_case), c.expected) << c.name;
  }
}

TEST(MalformedText, IgnoringCaseFindsWhatExactSearchFinds) {
  // The needle ends in half a character; the text's pair continues it.
  const Text text = "xx\xD6\xD0yy";
  EXPECT_EQ(find_text(text, "xx\xD6"), 1);
  EXPECT_EQ(find_text(text, "XX\xD6", 1, true), 1);
  EXPECT_EQ(find_text(text, "\xD6", 1, true), 3);
  EXPECT_EQ(replace_text(text, "XX\xD6", "-"), "-\xD0yy");

  // Random texts and needles cut out of them: whatever exact search finds,
  // search ignoring case finds at the same place or earlier.
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'A', '<', '"', '\x81', '\xD6', '\xD0', '\x7F', '\xFF', '\x80'};
  for (int round = 0; round < 3000; ++round) {
    Text t;
    const int length = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) t.push_back(alphabet[random() % sizeof alphabet]);
    const size_t from = random() % t.size();
    const Text needle = t.substr(from, 1 + random() % (t.size() - from));
    const int64_t exact = find_text(t, needle);
    const int64_t folded = find_text(t, needle, 1, true);
    if (exact > 0) {
      EXPECT_GT(folded, 0) << testing::PrintToString(t) << " " << testing::PrintToString(needle);
      EXPECT_LE(folded, exact);
    }
  }
}

TEST(MalformedText, SpaceAndCaseHelpersStepOneByteOverALoneLeadByte) {
  const Text wide = "\xA1\xA1";
  // A1 A1 after a lone lead byte: the lead byte cannot take A1 as a trail
  // when "<" stands between them, but 81 A1 A1 is a pair and a lone A1.
  EXPECT_EQ(remove_spaces("\x81 " + wide + "x"), "\x81x");
  EXPECT_EQ(remove_spaces("\x81\xA1\xA1"), "\x81\xA1\xA1");
  EXPECT_EQ(trim_spaces("\x81 "), "\x81");
  EXPECT_EQ(trim_spaces(" \xFF "), "\xFF");
  EXPECT_EQ(to_upper("\x81"
                     "a\x81!a"),
            "\x81"
            "a\x81!A");
  EXPECT_EQ(to_lower("\xFF"
                     "A\x7F"
                     "B"),
            "\xFF"
            "a\x7F"
            "b");
  EXPECT_EQ(to_integer("\x81"
                       "5"),
            0);  // 81 35 is not a pair: "5" is not leading
  EXPECT_EQ(split_text("a\x81;b", ";"), (std::vector<Text>{"a\x81", "b"}));
  EXPECT_EQ(text_between("\x81<b>x</b>", "<b>", "</b>"), "x");
}

TEST(MalformedText, NoQuadraticWalkInsideARunOfCharacters) {
  // Every byte pair A1 B0 in a run of B0 A1 straddles two characters: none
  // of the many byte hits counts.
  Text run;
  for (int i = 0; i < 20000; ++i) run += "\xB0\xA1";
  EXPECT_EQ(find_text(run, "\xA1\xB0"), -1);
  // A pair of its own after the run is found.
  EXPECT_EQ(find_text(run + "\xA1\xB0", "\xA1\xB0"), static_cast<int64_t>(run.size()) + 1);
  EXPECT_EQ(find_text(run + "!\xA1\xB0", "\xA1\xB0"), static_cast<int64_t>(run.size()) + 2);
}

// The cleaning steps one by one, each replacing every occurrence, as the
// one-pass cleaner must behave.
Text flatten_by_steps(Text t) {
  t = replace_text(t, "\n", "", 1, -1, true);
  t = replace_text(t, "\r", "", 1, -1, true);
  t = replace_text(t, "\t", "", 1, -1, true);
  t = replace_text(t, "  ", " ", 1, -1, true);
  t = replace_text(t, "&lt;", "<", 1, -1, false);
  t = replace_text(t, "&gt;", ">", 1, -1, false);
  t = replace_text(t, "&quot;", "\"", 1, -1, true);
  t = replace_text(t, "&#37;", "%", 1, -1, true);
  t = replace_text(t, "\"", "", 1, -1, true);
  return replace_text(t, "'", "", 1, -1, true);
}

TEST(MalformedText, OnePassCleanerAgreesWithTheSteps) {
  const char* pieces[] = {"\n",    "\r",   "\t",   " ",    "  ", "&lt;", "&GT;", "&quot;",
                          "&#37;", "\"",   "'",    "&",    "l",  "t;",   "\x81", "\xD6",
                          "\xD0",  "\xA1", "\xFF", "\x80", ";",  "&l",   "qu",   "ot;"};
  std::mt19937 random(11);
  for (int round = 0; round < 20000; ++round) {
    Text t;
    const int count = 1 + static_cast<int>(random() % 10);
    for (int i = 0; i < count; ++i) t += pieces[random() % std::size(pieces)];
    Text flattened = t;
    flatten_page(flattened);
    ASSERT_EQ(flattened, flatten_by_steps(t)) << testing::PrintToString(t);
  }
}

}  // namespace
}  // namespace qnl
