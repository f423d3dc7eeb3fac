// Text primitives: byte positions, double-byte safety and the edge rules
// the scrapers rely on.
#include "text/text.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qnl
