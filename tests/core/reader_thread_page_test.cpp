// The reader on the forum's real thread markup (Discuz! X3.4), the post's
// header, and what the user is shown when a page holds no post.
#include <gtest/gtest.h>

#include "monitor/crawl_rules.h"
#include "net/web_request.h"
#include "reader/reader_page.h"
#include "support/fixture_server.h"
#include "support/thread_pages.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::FixtureServer;
using test::ScopedNetOverrides;

Text L(std::string_view utf8) {
  return utf8_to_local(utf8);
}

class ReaderOnForumMarkup : public ::testing::Test {
 protected:
  Text read(int rule, const std::string& url, const std::string& title_utf8 = "t") {
    return read_post_page(PostToRead{rule, url, L(title_utf8)}, rules, connection,
                          "0123abcd0123abcd");
  }
  // The items of a reader page, as "author ：message" texts in page order.
  static std::vector<Text> items(const Text& page) {
    std::vector<Text> found;
    const Text open = "<div class='artli'>";
    for (size_t at = page.find(open); at != Text::npos; at = page.find(open, at + 1))
      found.push_back(page.substr(at + open.size(), page.find("</div>", at) - at - open.size()));
    return found;
  }

  FixtureServer server;
  ScopedNetOverrides overrides{{server.connect_to("www.zuanke8.com", 80)}, false};
  RuleGrid rules;
  HttpConnection connection;
};

// Both forms of the author link a Discuz forum writes: its default
// home.php?mod=space&amp;uid=N, and space-uid-N.html where it rewrites
// addresses. A coloured group's member (the second post) is read as well.
class AuthorLinkForms : public ReaderOnForumMarkup, public ::testing::WithParamInterface<bool> {};

TEST_P(AuthorLinkForms, EveryPostOfTheThreadPageIsRead) {
  test::ThreadPage thread = test::sample_thread_page();
  thread.rewritten_links = GetParam();
  const Text html = test::discuz_thread_page(thread);
  ASSERT_NE(html.find(GetParam() ? "space-uid-446740.html" : "home.php?mod=space&amp;uid=446740"),
            Text::npos);
  server.route("/thread-6699009-1-1.html",
               [&html](const FixtureRequest&) { return FixtureResponse::ok(html); });
  const std::string url = "http://www.zuanke8.com/thread-6699009-1-1.html";
  const Text page = read(2, url, "京东PLUS会员 领满199减100券");

  const std::vector<Text> found = items(page);
  ASSERT_EQ(found.size(), 3u) << local_to_utf8(page);
  EXPECT_EQ(
      found[0].find(L("赚友甲 ：领券地址在这里，速度<br /><br /><ignore_js_op><img id=aimg_3201")),
      0u);
  // Pictures load from their full-size address.
  EXPECT_NE(found[0].find("a=static/image/common/none.gif src=data/attachment/forum/202612/09/"
                          "quan.jpg"),
            Text::npos);
  EXPECT_EQ(found[1], L("版主乙 ：已领，<font color=Red>谢谢分享</font>"));
  EXPECT_EQ(found[2], L("赚友丙 ：没货了？"));
  // The reply goes to this thread with the page's form token.
  EXPECT_NE(page.find("forum.php?mod=post&action=reply&fid=15&tid=6699009&extra=page%3D1"),
            Text::npos);
  EXPECT_NE(page.find("&formhash=f472fc1f&usesig=1"), Text::npos);
  EXPECT_EQ(page.find("display:none;zz;"), Text::npos);
  // The header names the post and keeps its address.
  EXPECT_NE(page.find(L("title=\"在浏览器中访问原网页\">京东PLUS会员 领满199减100券</a>")),
            Text::npos);
  EXPECT_NE(page.find("href1=\"" + url + "\""), Text::npos);
}

INSTANTIATE_TEST_SUITE_P(Forms, AuthorLinkForms, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "rewritten" : "plain"; });

// A page that came but holds no post is not a time-out; an answer without
// a page is.
struct OutcomeCase {
  const char* name;
  int rule;
  const char* url;    // path on the forum host, or on the fixture server when it starts with "@"
  bool page_arrives;  // the site sends a page without a post in it, else an empty answer
};

class ReadOutcome : public ReaderOnForumMarkup,
                    public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(ReadOutcome, PageWithoutAPostIsToldApartFromNoPage) {
  const OutcomeCase& c = GetParam();
  const bool arrives = c.page_arrives;
  server.set_handler([arrives](const FixtureRequest&) {
    if (!arrives) return FixtureResponse::ok("");
    return FixtureResponse::ok(test::discuz_message_page("抱歉，本帖要求阅读权限高于 10 才能浏览"));
  });
  const std::string url = c.url[0] == '@' ? server.base_url() + (c.url + 1)
                                          : "http://www.zuanke8.com" + std::string(c.url);
  const Text page = read(c.rule, url);
  EXPECT_GE(server.request_count(), 1u);
  EXPECT_EQ(page, arrives ? reader_unreadable_page() : Text());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ReadOutcome,
    ::testing::Values(OutcomeCase{"forum_page", 3, "/thread-5-1-1.html", true},
                      OutcomeCase{"forum_empty", 3, "/thread-5-1-1.html", false},
                      OutcomeCase{"printable_page", 6, "@forum.php?mod=viewthread&tid=5", true},
                      OutcomeCase{"printable_empty", 10, "@forum.php?mod=viewthread&tid=5", false},
                      OutcomeCase{"article_page", 12, "@a/5.html", true},
                      OutcomeCase{"article_empty", 12, "@a/5.html", false},
                      OutcomeCase{"archive_page", 11, "/thread-5-1-1.html", true},
                      OutcomeCase{"archive_empty", 11, "/thread-5-1-1.html", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderFixedPages, UnreadablePageSaysThePostCouldNotBeRead) {
  const std::string shown = local_to_utf8(reader_unreadable_page());
  EXPECT_NE(shown.find("未能从页面中读出帖子"), std::string::npos);
  EXPECT_EQ(shown.find("超时"), std::string::npos);
  EXPECT_NE(reader_unreadable_page(), reader_timeout_page());
}

}  // namespace
}  // namespace qnl
