// Cookie text: collection of one response's cookies and the merge rules that
// keep a stored login current.
#include "net/cookie_text.h"

#include <gtest/gtest.h>

namespace qnl {
namespace {

Text merge(Text old_cookies, Text new_cookies) {
  return merge_cookie_text(old_cookies, new_cookies);
}

TEST(CollectResponseCookies, TakesNameValueOfEachSetCookieLine) {
  EXPECT_EQ(collect_response_cookies("Content-Type: text/html\r\n"
                                     "Set-Cookie: a=1; path=/; HttpOnly\r\n"
                                     "Server: x\r\n"
                                     "Set-Cookie:  b=2 ; domain=.jd.com"),
            "a=1; b=2");
}

TEST(CollectResponseCookies, LineWithoutSemicolonGivesTheWholeValue) {
  EXPECT_EQ(collect_response_cookies("Set-Cookie: token=abc=def"), "token=abc=def");
}

TEST(CollectResponseCookies, NameMustBeExactlySetCookie) {
  EXPECT_EQ(collect_response_cookies("set-cookie: a=1; path=/\r\nSET-COOKIE: b=2"), "");
  // No ": " after the name: not a Set-Cookie line.
  EXPECT_EQ(collect_response_cookies("Set-Cookie:c=3"), "");
  EXPECT_EQ(collect_response_cookies(""), "");
  EXPECT_EQ(collect_response_cookies("Server: x\r\nContent-Length: 3"), "");
}

TEST(CollectResponseCookies, EmptyEntriesAreKept) {
  EXPECT_EQ(collect_response_cookies("Set-Cookie: ; path=/\r\nSet-Cookie: a=1; path=/"), "; a=1");
}

TEST(MergeCookieText, NewEntriesComeFirstAndReplaceOldOnes) {
  EXPECT_EQ(merge("a=1; b=2", "b=3; c=4"), "b=3; c=4; a=1");
}

TEST(MergeCookieText, DeletedEntryRemovesTheOldCookie) {
  EXPECT_EQ(merge("a=1; b=2", "b=deleted"), "a=1");
  EXPECT_EQ(merge("x=deleted; a=1", ""), "a=1");
  EXPECT_EQ(merge("a=1", "a=deleted"), "");
}

TEST(MergeCookieText, FirstOldEntryOfANameWins) {
  EXPECT_EQ(merge("a=1; a=2", ""), "a=1");
}

TEST(MergeCookieText, RepeatedNewEntries) {
  EXPECT_EQ(merge("a=9; b=2", "a=1; a=2"), "a=1; a=2; b=2");
  EXPECT_EQ(merge("a=9", "a=1; a=1"), "a=1");
}

TEST(MergeCookieText, SpacesAreRemovedFromBothVariables) {
  Text old_cookies = "k=v w; z=1";
  Text new_cookies = "n = 5";
  const Text merged = merge_cookie_text(old_cookies, new_cookies);
  EXPECT_EQ(merged, "n=5; k=vw; z=1");
  EXPECT_EQ(old_cookies, merged);
  EXPECT_EQ(new_cookies, "n=5");
  // The full-width space counts as a space too.
  EXPECT_EQ(merge("a=\xA1\xA1"
                  "1",
                  ""),
            "a=1");
}

TEST(MergeCookieText, NamesCompareExactlyAndEntriesWithoutEquals) {
  EXPECT_EQ(merge("A=1; flag", "a=2; flag"), "a=2; flag; A=1");
}

TEST(MergeCookieText, EmptyInputs) {
  EXPECT_EQ(merge("", ""), "");
  EXPECT_EQ(merge("", "a=1"), "a=1");
  EXPECT_EQ(merge("a=1;", ""), "a=1");
}

TEST(MergeCookieText, EmptyEntryBetweenSeparatorsSurvives) {
  EXPECT_EQ(merge("a=1;;b=2", ""), "a=1; ; b=2");
}

TEST(RemoveDuplicateEntries, KeepsFirstOccurrenceOfWholePieces) {
  EXPECT_EQ(remove_duplicate_entries("a=1; b=2; a=1; a=3", "; "), "a=1; b=2; a=3");
  EXPECT_EQ(remove_duplicate_entries("x,y,,x,", ","), "x,y,");
  EXPECT_EQ(remove_duplicate_entries("", "; "), "");
}

// Servers set cookies in UTF-8 (or any bytes); a value ending in a byte of
// 0x80 or above must not swallow the ";", "=" or space after it.
TEST(CookieTextBytes, DelimitersAfterHighBytesStillDelimit) {
  const Text city = "city=\xE4\xB8\xAD";  // "中" in UTF-8: ends in 0xAD
  struct Case {
    const char* what;
    Text old_cookies;
    Text new_cookies;
    Text merged;
  };
  const Case cases[] = {
      {"replaced after a UTF-8 value", city + "; sid=1", "sid=old", "sid=old; " + city},
      {"no space after the separator", city + ";sid=1", "sid=2", "sid=2; " + city},
      {"value ending in a lone lead byte", "a=\x81; b=1", "b=2", "b=2; a=\x81"},
      {"name ending in a high byte", "\xE4\xB8\xAD=1; b=1", "\xE4\xB8\xAD=2",
       "\xE4\xB8\xAD=2; b=1"},
      {"deleted after a high byte", city + "; sid=1", "sid=deleted", city},
      {"space after a high byte removed", "a=\xAD b; c=1", "",
       "a=\xAD"
       "b; c=1"},
      {"full-width space still a space",
       "a=\xA1\xA1"
       "1; b=\xB0\xA1",
       "", "a=1; b=\xB0\xA1"},
      {"repeated entries after high bytes", city + "; " + city, "", city},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(merge(c.old_cookies, c.new_cookies), c.merged);
  }
}

TEST(CookieTextBytes, CollectedEntryEndsAtTheFirstSemicolon) {
  EXPECT_EQ(collect_response_cookies("Set-Cookie: city=\xE4\xB8\xAD; path=/\r\n"
                                     "Set-Cookie: n=\x81\r\n"
                                     "Set-Cookie: m=\xB0; Domain=.jd.com"),
            "city=\xE4\xB8\xAD; n=\x81; m=\xB0");
  EXPECT_EQ(remove_duplicate_entries("a=\xAD; a=\xAD; b", "; "), "a=\xAD; b");
}

}  // namespace
}  // namespace qnl
