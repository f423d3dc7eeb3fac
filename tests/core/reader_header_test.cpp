// The reader page's header: the post's title and address, as text.
#include <gtest/gtest.h>

#include "reader/reader_page.h"
#include "text/encoding.h"

namespace qnl {
namespace {

Text L(std::string_view utf8) {
  return utf8_to_local(utf8);
}

// The header takes the title and address as text: markup, quotes and
// placeholders in them stay text, and double-byte characters stay whole.
TEST(ReaderHeader, TitleAndAddressAreTextInThePage) {
  struct Case {
    const char* title;
    const char* url;
    const char* shown_title;
    const char* shown_url;
  };
  const Case cases[] = {
      {"京东 PLUS", "http://www.zuanke8.com/thread-1-1-1.html", "京东 PLUS",
       "http://www.zuanke8.com/thread-1-1-1.html"},
      {"<script>x()</script>", "http://a/?a=1&b=2", "&lt;script&gt;x()&lt;/script&gt;",
       "http://a/?a=1&amp;b=2"},
      {"a\" onmouseover=\"x", "http://a/\"><b>", "a&quot; onmouseover=&quot;x",
       "http://a/&quot;&gt;&lt;b&gt;"},
      {"@kkpage @kk_hash @kkinfo", "@kktitle", "&#64;kkpage &#64;kk_hash &#64;kkinfo",
       "&#64;kktitle"},
      {"src zoomfile", "http://a/src", "src zoomfile", "http://a/src"},
  };
  ForumPostFields fields{"ab12", "19", "77", "1700000000"};
  for (const Case& c : cases) {
    const PostToRead post{3, L(c.url), L(c.title)};
    const Text page = fill_reader_template("<p>body</p>", "00ff", &fields, &post);
    const Text header = "<a id=\"kkh3\" href1=\"" + L(c.shown_url) + "\" title=\"" +
                        L("在浏览器中访问原网页") + "\">" + L(c.shown_title) + "</a>";
    EXPECT_NE(page.find(header), Text::npos) << c.title;
    EXPECT_NE(page.find("<div id=\"kkpage\"></div>"), Text::npos);
    EXPECT_EQ(page.find("@kktitle"), Text::npos);
    EXPECT_EQ(page.find("@kkurl"), Text::npos);
  }
  // 0x40 ("@") as the trail byte of a double-byte character
  // is part of that character, not an at sign.
  const Text title = "\x81\x40kk";
  const PostToRead post{6, "u", title};
  const Text page = fill_reader_template("x", "00ff", nullptr, &post);
  EXPECT_NE(page.find("\">" + title + "</a>"), Text::npos);
  // A lone lead byte does not swallow the markup after it.
  const PostToRead broken{6, "u", "a\x81<b>"};
  EXPECT_NE(fill_reader_template("x", "00ff", nullptr, &broken).find("a\x81&lt;b&gt;</a>"),
            Text::npos);
}

}  // namespace
}  // namespace qnl
