// Code page conversions and percent coding.
#include "text/encoding.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

TEST(Encoding, RoundTripsChineseText) {
  const std::string utf8 = "赚客吧 线报 ok";
  const Text local = utf8_to_local(utf8);
  EXPECT_EQ(local, "\xD7\xAC\xBF\xCD\xB0\xC9 \xCF\xDF\xB1\xA8 ok");
  EXPECT_EQ(local_to_utf8(local), utf8);
  EXPECT_EQ(utf8_bytes_to_text(utf8), local);
}

TEST(Encoding, EuroSignIsByte80) {
  EXPECT_EQ(utf8_to_local("\xE2\x82\xAC"), "\x80");
  EXPECT_EQ(local_to_utf8("\x80"), "\xE2\x82\xAC");
}

TEST(Encoding, UnrepresentableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(utf8_to_local("a\xF0\x9F\x98\x80"
                          "b"),
            "a?b");  // emoji
  EXPECT_EQ(utf8_to_local("a\xFF"
                          "b"),
            "a?b");
  EXPECT_EQ(utf8_to_local("a\xE4\xB8"), "a?");  // cut-off sequence
  EXPECT_EQ(local_to_utf8("a\xFF"
                          "b"),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(Encoding, MalformedLocalTextLosesOnlyTheBadByte) {
  struct Case {
    const char* name;
    std::string local;
    std::string utf8;
  };
  const std::string bad = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"lone lead before markup", "a\x81<b>", "a" + bad + "<b>"},
      {"lone lead before a quote", "\xD6\"x\"", bad + "\"x\""},
      {"lead then 7F", "\xD6\x7F", bad + "\x7F"},
      {"lead at the end", "ab\xD6", "ab" + bad},
      {"FF alone", "\xFF<", bad + "<"},
      {"two lone leads then a pair", "\x81\n\xD6\xD0", bad + "\n\xE4\xB8\xAD"},
  };
  for (const Case& c : cases) EXPECT_EQ(local_to_utf8(c.local), c.utf8) << c.name;
}

TEST(Encoding, BodyEndsAtFirstNul) {
  EXPECT_EQ(utf8_bytes_to_text(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(utf8_bytes_to_text(""), "");
}

TEST(UrlCoding, Encode) {
  EXPECT_EQ(url_encode("a b/c-d.e_f~"), "a%20b%2Fc-d.e%5Ff%7E");
  EXPECT_EQ(url_encode("ab", false), "%61%62");
  EXPECT_EQ(url_encode(utf8_to_local("中")), "%D6%D0");
  EXPECT_EQ(url_encode(utf8_to_local("中"), true, true), "%E4%B8%AD");
  EXPECT_EQ(url_encode(""), "");
}

TEST(UrlCoding, Decode) {
  EXPECT_EQ(url_decode("a%20b+c"), "a b+c");
  EXPECT_EQ(url_decode("%d6%D0"), "\xD6\xD0");
  EXPECT_EQ(url_decode("%E4%B8%AD", true), "\xD6\xD0");
  // Malformed sequences are copied as they stand.
  EXPECT_EQ(url_decode("100%"), "100%");
  EXPECT_EQ(url_decode("%zz%4"), "%zz%4");
}

}  // namespace
}  // namespace qnl
