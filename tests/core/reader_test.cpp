// The forum reader against the fixture server playing the forum and the
// other sites: reader pages by rule, the quick reply's body and post, and
// the forum login's check and store.
#include <gtest/gtest.h>

#include <thread>

#include "monitor/crawl_rules.h"
#include "net/web_request.h"
#include "reader/forum_account.h"
#include "reader/quick_reply.h"
#include "reader/reader_page.h"
#include "storage/database.h"
#include "support/fixture_server.h"
#include "support/test_database.h"
#include "text/encoding.h"
#include "text/time_text.h"

namespace qnl {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::FixtureServer;
using test::ScopedNetOverrides;

Text L(std::string_view utf8) {
  return utf8_to_local(utf8);
}

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// A forum thread page (GBK) with the post and two replies, as Discuz shows it.
std::string forum_thread_page() {
  return L(R"HTML(<html><head><title>t</title></head><body>
<form><input type="hidden" name="formhash" value="ab12cd34" /></form>
<a href="forum.php?mod=forumdisplay&amp;fid=19&amp;page=1">活动线报</a>
<a href="forum.php?mod=viewthread&amp;action=printable&amp;tid=12345" target="_blank">打印</a>
<div><a href="space-uid-1.html" target="_blank" class="xw1">楼主甲</a></div>
<table><tr><td class="t_f" id="postmessage_100">正文 <img src="s.gif" zoomfile="big.jpg" /></td></tr></table>
<div><a href="space-uid-2.html" target="_blank" class="xw1">回复乙</a></div>
<table><tr><td class="t_f" id="postmessage_101">第二楼<script>window.open('#_k1_huitie_k2_x', 'tosoft')</script></td></tr></table>
</body></html>)HTML");
}

class ReaderPageTest : public ::testing::Test {
 protected:
  PostToRead post(int rule, std::string url, std::string title = {}) {
    return PostToRead{rule, std::move(url), std::move(title)};
  }
  Text read(const PostToRead& p) {
    return read_post_page(p, rules, connection, "0123abcd0123abcd");
  }

  FixtureServer server;
  ScopedNetOverrides overrides{{server.connect_to("www.zuanke8.com", 80)}, false};
  RuleGrid rules;
  HttpConnection connection;
};

TEST_F(ReaderPageTest, ForumPostShowsEachReplyInPageOrderWithTheReplyBar) {
  server.route("/thread-12345-1-1.html",
               [](const FixtureRequest&) { return FixtureResponse::ok(forum_thread_page()); });
  rules.set_rule_field(1, kCookie, "auth=u1; sid=s");
  rules.set_rule_field(3, kCookie, "other=3");
  const int64_t before = std::stoll(unix_time_text_now());
  const Text page = read(post(3, "http://www.zuanke8.com/thread-12345-1-1.html"));
  const int64_t after = std::stoll(unix_time_text_now());
  ASSERT_FALSE(page.empty());
  ASSERT_EQ(server.request_count(), 1u);
  EXPECT_EQ(server.last_request().header("Cookie"), "auth=u1; sid=s");  // rule 1's login

  const size_t first =
      page.find(L("<div class='artli'>楼主甲 ：正文 <img a=s.gif src=big.jpg /></div>"));
  const size_t second = page.find(L("<div class='artli'>回复乙 ：第二楼"));
  ASSERT_NE(first, Text::npos);
  ASSERT_NE(second, Text::npos);
  EXPECT_LT(first, second);
  EXPECT_EQ(page.find("<div class='artli'>", second + 1), Text::npos);

  EXPECT_FALSE(contains(page, "display:none;zz;"));
  EXPECT_TRUE(contains(page, "<div class=\"rep-main\" style=\"position:fixed;"));
  EXPECT_TRUE(contains(page,
                       "http://www.zuanke8.com/forum.php?mod=post&action=reply&fid=19&tid=12345"
                       "&extra=page%3D1&replysubmit=yes&infloat=yes&handlekey=fastpost&inajax=1"));
  const size_t time_at = page.find("\"posttime=");
  ASSERT_NE(time_at, Text::npos);
  const Text data = page.substr(time_at + 1, page.find('"', time_at + 1) - time_at - 1);
  const Text time = text_between(data, "posttime=", "&");
  EXPECT_EQ(time.size(), 10u);
  EXPECT_GE(std::stoll(time), before);
  EXPECT_LE(std::stoll(time), after);
  EXPECT_EQ(data, "posttime=" + time + "&formhash=ab12cd34&usesig=1&connect_publish_t=0&message=");
  // The header holds the post's address and title; no page links to show.
  EXPECT_TRUE(
      contains(page, "<a id=\"kkh3\" href1=\"http://www.zuanke8.com/thread-12345-1-1.html\""));
  EXPECT_TRUE(contains(page, "<div id=\"kkpage\"></div>"));
  EXPECT_TRUE(contains(page, "@kkbase"));
  for (const char* placeholder : {"@kkurl", "@kktitle", "@kkpage", "@kk_"})
    EXPECT_FALSE(contains(page, placeholder)) << placeholder;
}

TEST_F(ReaderPageTest, OnlyThePagesOwnScriptCarriesTheNonce) {
  const Text nonce = make_page_nonce();
  EXPECT_EQ(nonce.size(), 32u);
  EXPECT_NE(nonce, make_page_nonce());
  EXPECT_EQ(nonce.find_first_not_of("0123456789abcdef"), Text::npos);

  // Content that imitates the template's marks and placeholders.
  const Text content = "<script@kknonce>evil()</script><script nonce=@kk_hash>x()</script><head>";
  ForumPostFields fields{"<script@kknonce>", "19", "<script@kknonce>", "1700000000"};
  const Text page = fill_reader_template(content, nonce, &fields);
  const Text policy = "script-src 'nonce-" + nonce + "'";
  EXPECT_EQ(page.find(policy), page.find("Content-Security-Policy") + 34);
  EXPECT_LT(page.find(policy), page.find("<body>"));  // in the head, so it is enforced
  EXPECT_TRUE(contains(page, "frame-src 'none'"));
  EXPECT_TRUE(contains(page, "form-action 'none'"));
  // One script element carries the nonce: the template's last one.
  const Text marked = "<script nonce=\"" + nonce + "\">";
  const size_t at = page.find(marked);
  ASSERT_NE(at, Text::npos);
  EXPECT_EQ(page.find(marked, at + 1), Text::npos);
  EXPECT_GT(at, page.find("class=\"rep-main\""));
  EXPECT_TRUE(contains(page, "<script@kknonce>evil()"));
  // No inline event handler in the template itself.
  EXPECT_FALSE(contains(page, "onclick"));
  EXPECT_FALSE(contains(page, "javascript:"));
}

TEST_F(ReaderPageTest, ForumPageWithoutItemsIsUnreadableAndNoAnswerGivesNoPage) {
  server.route("/thread-1-1-1.html",
               [](const FixtureRequest&) { return FixtureResponse::ok("<html>nothing</html>"); });
  server.route("/empty", [](const FixtureRequest&) { return FixtureResponse::ok(""); });
  EXPECT_EQ(read(post(1, "http://www.zuanke8.com/thread-1-1-1.html")), reader_unreadable_page());
  EXPECT_EQ(read(post(2, "http://www.zuanke8.com/missing")), reader_unreadable_page());  // 404 page
  EXPECT_EQ(read(post(2, "http://www.zuanke8.com/empty")), "");
}

TEST_F(ReaderPageTest, PrintableViewIsReadAgainWithoutCookiesWhenEmpty) {
  server.route("/forum.php", [](const FixtureRequest& r) {
    if (r.header("Cookie")) return FixtureResponse::ok("<html>login expired</html>");
    return FixtureResponse::ok(
        L("<html><script>x</script></p><h2>标题</h2>正文一\n"
          "<hr noshade size=\"2\" width=\"100%\" color=\"#808080\">回复者: b<br>回复内容\n"
          "<hr noshade size=\"2\" width=\"100%\" color=\"BORDERCOLOR\">tail</html>"));
  });
  rules.set_rule_field(6, kCookie, "c6=1");
  const Text page = read(post(6, server.base_url() + "forum.php?mod=viewthread&tid=8"));
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].path(), "/forum.php?mod=viewthread&tid=8&action=printable");
  EXPECT_EQ(requests[0].header("Cookie"), "c6=1");
  EXPECT_EQ(requests[1].path(), requests[0].path());
  EXPECT_FALSE(requests[1].header("Cookie").has_value());
  EXPECT_TRUE(contains(
      page,
      L("<div id=\"kkinfo\"><h2>标题</h2>正文一</p><p class=artli>回复者: b<br>回复内容</div>")));
  // Not a forum post: the reply bar stays hidden, its placeholders unfilled.
  EXPECT_TRUE(contains(page, "display:none;zz;"));
  EXPECT_TRUE(contains(page, "@kk_hash"));
}

TEST_F(ReaderPageTest, PrintableViewWithContentAtOnceIsReadOnce) {
  server.route("/p", [](const FixtureRequest&) {
    return FixtureResponse::ok(
        "<script></script></p>body<hr noshade size=2 width=100% color=BORDERCOLOR>");
  });
  EXPECT_TRUE(
      contains(read(post(10, server.base_url() + "p?tid=1")), "<div id=\"kkinfo\">body</div>"));
  EXPECT_EQ(server.request_count(), 1u);
  // A 404 page, with and without cookies: a page without the post.
  EXPECT_EQ(read(post(9, server.base_url() + "nothing?tid=1")), reader_unreadable_page());
  EXPECT_EQ(server.request_count(), 3u);
}

TEST_F(ReaderPageTest, ArchiveReaderChecksTheTitleThenStripsTheArchivePage) {
  EXPECT_EQ(read(post(11, "http://www.zuanke8.com/thread-777-1-1.html", L("求助 - [阅读权限 20]"))),
            L("游客无权限阅读！"));
  EXPECT_EQ(server.request_count(), 0u);

  server.route("/archiver/", [](const FixtureRequest&) {
    return FixtureResponse::ok(
        L("<html><div class=\"page\">A<ins class=\"ad\">ad</ins>B<SCRIPT>x()</SCRIPT>C"
          "<!--无图 横幅--></div>D<div class=\"page\">E</html>"));
  });
  const Text page = read(post(11, "http://www.zuanke8.com/thread-777-1-1.html", L("普通标题")));
  EXPECT_EQ(server.last_request().path(), "/archiver/?tid-777.html");
  EXPECT_FALSE(server.last_request().header("Cookie").has_value());
  EXPECT_TRUE(contains(page, "<div id=\"kkinfo\">ABCD</div>"));
}

TEST_F(ReaderPageTest, ArticleSiteIsReadAgainOnceAndLosesItsEmptyAltTexts) {
  int calls = 0;
  server.route("/a/1.html", [&calls](const FixtureRequest&) {
    if (++calls == 1) return FixtureResponse::ok("<html>busy</html>");
    return FixtureResponse::ok(
        "<div class=\"content-intro typo\"><img alt=\"\" src=x.png>text</p><div "
        "class=\"keyword\">");
  });
  rules.set_rule_field(12, kCookie, "never=sent");
  const Text page = read(post(12, server.base_url() + "a/1.html"));
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(server.last_request().header("Cookie").has_value());
  EXPECT_TRUE(
      contains(page, "<div id=\"kkinfo\"><div class='artli'><img src=x.png>text</p></div></div>"));
}

TEST_F(ReaderPageTest, RulesWithoutAReaderGiveNoPageAndFetchNothing) {
  for (int rule : {7, 8, 13, 18, 99}) EXPECT_EQ(read(post(rule, server.base_url() + "x")), "");
  EXPECT_EQ(server.request_count(), 0u);
}

TEST_F(ReaderPageTest, CancelledConnectionStopsAReadInProgress) {
  server.route("/slow", [](const FixtureRequest&) { return FixtureResponse::never_answer(); });
  Text page = "unset";
  std::thread reader([&] { page = read(post(1, server.base_url() + "slow")); });
  while (server.request_count() == 0) std::this_thread::yield();
  connection.cancel();
  reader.join();
  EXPECT_EQ(page, "");
  // A cancelled connection fetches nothing more.
  EXPECT_EQ(read(post(6, server.base_url() + "slow")), "");
  EXPECT_EQ(server.request_count(), 1u);
}

TEST(ReaderFixedPages, LoadingAndTimeOutPages) {
  EXPECT_TRUE(contains(reader_loading_page(), L("alt=\"驾~看你往哪跑！！\"")));
  EXPECT_TRUE(contains(reader_loading_page(), "text-align: center;padding-top:50px;"));
  EXPECT_EQ(reader_timeout_page(),
            L("<body style='text-align: center;padding:50px;background:#000;font-size:38px;"
              "color:#fff;'>页面访问超时</body>"));
}

// ---- Quick reply ----

const char kReplyAddress[] =
    "http://www.zuanke8.com/forum.php?mod=post&action=reply&fid=19&tid=12345&extra=page%3D1&"
    "replysubmit=yes&infloat=yes&handlekey=fastpost&inajax=1";
const char kPostHead[] =
    "posttime=1700000000&formhash=ab12cd34&usesig=1&connect_publish_t=0&message=";

Text reply_url(std::string_view encoded_message, std::string_view action = "huitie") {
  return "file:///opt/quenlo/@kkbase#_k1_" + Text(action) + "_k2_" + kReplyAddress + "_k3_" +
         kPostHead + Text(encoded_message) + "_k4_";
}

TEST(QuickReply, BodyKeepsTheHeadAndSendsTheReplyAsCp936PercentForm) {
  auto body_for = [](std::string_view encoded) {
    const auto request = decode_reply_request(reply_url(encoded));
    EXPECT_TRUE(request.has_value());
    EXPECT_EQ(request->reply_address, kReplyAddress);
    return request ? request->body : Text();
  };
  EXPECT_EQ(body_for("a1-b2"), Text(kPostHead) + "a1-b2");
  EXPECT_EQ(body_for("a&b=c"), Text(kPostHead) + "a%26b%3Dc");  // encodeURI keeps & and =
  EXPECT_EQ(body_for("%E4%BD%A0%E5%A5%BD"), Text(kPostHead) + "%C4%E3%BA%C3");  // 你好
  EXPECT_EQ(body_for("a%20b_~/."), Text(kPostHead) + "a%20b%5F%7E%2F.");
  EXPECT_EQ(body_for(""), Text(kPostHead));
  // Only the first "message=" splits.
  EXPECT_EQ(body_for("message=x"), Text(kPostHead) + "message%3Dx");
  EXPECT_EQ(reply_body("posttime=1&formhash=a%20b"), "posttime=1&formhash=a b");
}

TEST(QuickReply, OtherActionsAndOtherAddressesAreRefused) {
  EXPECT_FALSE(decode_reply_request(reply_url("x", "other")).has_value());
  EXPECT_FALSE(decode_reply_request("#_k2_" + Text(kReplyAddress) + "_k3_a_k4_").has_value());
  EXPECT_FALSE(decode_reply_request("").has_value());
  // The forum login goes to the forum's reply address only.
  for (const char* address : {"http://evil.example/forum.php?mod=post&action=reply&fid=1",
                              "http://www.zuanke8.com.evil/x",
                              "https://www.zuanke8.com/forum.php?mod=post&action=reply&fid=1",
                              "http://www.zuanke8.com/forum.php?mod=post&action=replyx"}) {
    EXPECT_FALSE(decode_reply_request("#_k1_huitie_k2_" + Text(address) + "_k3_message=x_k4_"))
        << address;
  }
}

TEST(QuickReply, PostsWithTheForumLoginAndMergesItsCookies) {
  FixtureServer server([](const FixtureRequest& r) {
    if (r.body.ends_with("ok"))
      return FixtureResponse::ok(L("<root><![CDATA[回复发布成功]]></root>"),
                                 {"Set-Cookie: lastact=9; path=/"});
    return FixtureResponse::ok(L("<root>抱歉，您需要登录</root>"));
  });
  ScopedNetOverrides overrides({server.connect_to("www.zuanke8.com", 80)}, false);
  RuleGrid rules;
  rules.set_rule_field(1, kCookie, "auth=u1");

  auto request = decode_reply_request(reply_url("ok"));
  ASSERT_TRUE(request);
  const ReplyOutcome outcome = post_reply(*request, rules);
  EXPECT_TRUE(outcome.posted);
  const FixtureRequest sent = server.last_request();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ("http://www.zuanke8.com" + sent.path(), kReplyAddress);
  EXPECT_EQ(sent.body, Text(kPostHead) + "ok");
  EXPECT_EQ(sent.header("Cookie"), "auth=u1");
  EXPECT_EQ(sent.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(sent.header("Referer"), kReplyAddress);
  EXPECT_EQ(rules.rule_field(1, kCookie), "lastact=9; auth=u1");

  request = decode_reply_request(reply_url("refused"));
  const ReplyOutcome refused = post_reply(*request, rules);
  EXPECT_FALSE(refused.posted);
  EXPECT_EQ(refused.answer, L("<root>抱歉，您需要登录</root>"));
}

// ---- Forum account ----

class ForumAccountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(shipped.ok());
    ASSERT_TRUE(db.db_open(shipped.path()));
    load_rules(db, rules);
  }
  Text stored_cookie() {
    const QueryResult r = db.db_query("SELECT cookie FROM rule WHERE id=1");
    return r.rows.empty() ? Text("<none>") : r.rows[0][0];
  }

  test::ShippedDatabase shipped;
  Database db;
  RuleGrid rules;
  FixtureServer server{[](const FixtureRequest& r) {
    if (r.header("Cookie").value_or("").find("auth=") == std::string::npos)
      return FixtureResponse::ok(L("<root>请先登录</root>"));
    return FixtureResponse::ok(L("<root>距离下一级还需 10 积分</root>"),
                               {"Set-Cookie: lastvisit=5; path=/"});
  }};
  ScopedNetOverrides overrides{{server.connect_to("www.zuanke8.com", 80)}, false};
};

TEST_F(ForumAccountTest, LoginIsCheckedOnTheUserGroupPageAndStoredWhole) {
  Text cookie = "auth=a'b; sid=1";  // a quote must neither break nor change the statement
  EXPECT_TRUE(save_forum_login(cookie, db, rules));
  EXPECT_EQ(server.last_request().path(),
            "/home.php?mod=spacecp&ac=usergroup&showextgroups=1&inajax=1&"
            "ajaxtarget=g_upmine_menu");
  EXPECT_EQ(server.last_request().header("Cookie"), "auth=a'b; sid=1");
  EXPECT_EQ(cookie, "lastvisit=5; auth=a'b; sid=1");  // merged: new ones first
  EXPECT_EQ(stored_cookie(), cookie);
  EXPECT_EQ(rules.rule_field(1, kCookie), cookie);
}

TEST_F(ForumAccountTest, NoLoginStoresNothing) {
  rules.set_rule_field(1, kCookie, "old=1");
  const Text before = stored_cookie();
  Text cookie = "sid=guest";
  EXPECT_FALSE(save_forum_login(cookie, db, rules));
  Text empty;
  EXPECT_FALSE(save_forum_login(empty, db, rules));
  EXPECT_EQ(stored_cookie(), before);
  EXPECT_EQ(rules.rule_field(1, kCookie), "old=1");
}

}  // namespace
}  // namespace qnl
