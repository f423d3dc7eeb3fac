// Shop-gift bean collection against the fixture server playing JD's shops:
// link preparation, both passes with their statuses and row order, the
// interval waits, and the runs that stop early.
#include "jd/bean_collection.h"
#include "jd_test_support.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::gbk;

TEST(JdLinkList, OuterBreaksAndEmptyLinesGo) {
  struct Case {
    const char* box;
    const char* tidied;
    std::vector<Text> lines;
  };
  const Case cases[] = {
      {"a\r\n\r\n\r\nb", "a\r\nb", {"a", "b"}},
      {"\r\na\r\n\r\nb\r\n", "a\r\nb", {"a", "b"}},
      // One break goes with the first trim, the final LF with the pattern.
      {"a\r\n\r\n", "a\r", {"a\r"}},
      // The LF before the link stays: it precedes no line break.
      {"\r\n\r\n\r\na", "\na", {"\na"}},
      {"a", "a", {"a"}},
      {"", "", {}},
      {"\r\n", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    test::RecordingJdView view;
    view.links = c.box;
    EXPECT_EQ(prepare_link_list(view), c.lines);
    EXPECT_EQ(view.links, c.tidied);
  }
}

class JdBeanTest : public test::JdFixture {
 protected:
  void SetUp() override {
    JdFixture::SetUp();
    mark_verified();
    store_logins("thor=pc1", "");
    // Shop pages: 100 has a gift, 200 lacks its vender id, 300 has no gift
    // set up, 400 has a gift whose claim fails.
    for (const char* shop : {"100", "300", "400"}) {
      answer(endpoints::kJdMallHost, std::string("/index-") + shop + ".html",
             std::string("<html><a href=\"/view?a=1&shopId=") + shop +
                 "&id=9\">x</a><input type=\"hidden\" id=\"vender_id\" value=\"v" + shop +
                 "\" /></html>");
    }
    answer(endpoints::kJdMallHost, "/index-200.html", "<html>&shopId=200&id=1</html>");
    answer(endpoints::kJdMallHost, "/shopSign-1.html",
           "<div class=\"everyday-area J_everyday_area big-award\"><span style=\"color:#fd0;\r\n"
           ">20京豆</span></div>");
    answer(endpoints::kJdMallHost, "/SHOPSIGN-2.html", "<div class=\"no-award\"></div>");
    route(endpoints::kJdShopGiftHost, "/shopGift/getShopGiftInfo", [](const FixtureRequest& r) {
      const std::string target = r.path();
      if (target.find("venderId=v300&") != std::string::npos)
        return FixtureResponse::ok(
            R"(jQuery1843931({"result":false,"message":"店铺未开通礼包活动"}))");
      const std::string shop = target.find("venderId=v100&") != std::string::npos ? "1" : "4";
      return FixtureResponse::ok(R"(jQuery1843931({"result":true,"jshop_token":"tok)" + shop +
                                 R"(","giftList":[{"activityId": "a)" + shop +
                                 R"(","prizeType":4}]}))");
    });
    route(endpoints::kJdShopGiftHost, "/shopGift/drawShopGiftInfo", [](const FixtureRequest& r) {
      if (r.path().find("vId=v100&") != std::string::npos)
        return FixtureResponse::ok(R"(jQuery154812({"result":true,"msg":"领取成功"}))");
      return FixtureResponse::ok(R"(jQuery154812({"result":false,"msg":"已领取"}))");
    });
  }

  std::vector<std::string> row_summary() {
    std::vector<std::string> out;
    for (const BeanRow& row : view_.rows)
      out.push_back(utf8_of(row[kBeanLink]) + "|" + utf8_of(row[kBeanAction]) + "|" +
                    utf8_of(row[kBeanStatus]));
    return out;
  }
  static std::string utf8_of(const Text& text) { return local_to_utf8(text); }
};

TEST_F(JdBeanTest, RunSignsClaimsAndListsRowsInTheirOrder) {
  view_.links =
      gbk("\r\nhttps://mall.jd.com/shopSign-1.html\r\nhttps://mall.jd.com/index-100.html\r\n\r\n"
          "http://example.org/shop?jd.com\r\nhttps://mall.jd.com/index-200.html\r\n"
          "https://mall.jd.com/SHOPSIGN-2.html\r\nhttps://mall.jd.com/index-300.html\r\n"
          "https://mall.jd.com/index-400.html\r\n");
  run_bean_collection(account_);

  EXPECT_EQ(row_summary(), (std::vector<std::string>{
                               "https://mall.jd.com/SHOPSIGN-2.html|签到|没中",
                               "https://mall.jd.com/shopSign-1.html|签到|中啦20京豆",
                               "https://mall.jd.com/index-100.html||ok",
                               "https://mall.jd.com/index-200.html||id or vid null",
                               "https://mall.jd.com/index-300.html||未开通礼包",
                               "https://mall.jd.com/index-400.html||" +
                                   std::string(R"(jQuery154812({"result":false,"msg":"已领取"}))"),
                           }));
  const BeanRow& gift = view_.rows[2];
  EXPECT_EQ(gift[kBeanShopId], "100");
  EXPECT_EQ(gift[kBeanVenderId], "v100");
  EXPECT_EQ(gift[kBeanToken], "tok1");
  EXPECT_EQ(gift[kBeanActivityId], "a1");
  EXPECT_TRUE(view_.list_shown);

  // Progress lines skip the rejected line's number; it is shown instead of
  // the empty line, and again after the final text.
  const std::vector<Text> expected_log = {gbk("\r\n当前进度>>1"),
                                          "",
                                          gbk("\r\n当前进度>>2"),
                                          "",
                                          gbk("http://example.org/shop?jd.com#不是正确的京东链接"),
                                          gbk("\r\n当前进度>>4"),
                                          "",
                                          gbk("\r\n当前进度>>5"),
                                          "",
                                          gbk("\r\n当前进度>>6"),
                                          "",
                                          gbk("\r\n当前进度>>7"),
                                          "",
                                          gbk("<output>领豆完毕！！！\r\n领豆完毕！！！\r\n"),
                                          gbk("http://example.org/shop?jd.com#不是正确的京东链接")};
  EXPECT_EQ(view_.log, expected_log);
  EXPECT_EQ(view_.output, gbk("领豆完毕！！！\r\n领豆完毕！！！\r\nhttp://example.org/"
                              "shop?jd.com#不是正确的京东链接\r\n"));

  // Gate, one wait per shop link (none for sign-in links), one per claim.
  EXPECT_EQ(waiter_.waits, (std::vector<int64_t>{800, 3000, 3000, 3000, 3000, 3000, 3000}));

  // No gift query for the shop without a vender id; queries refer to their
  // shop, claims to the last line of the list.
  std::vector<std::string> queries;
  for (const test::JdRequest& r : requests()) {
    EXPECT_EQ(r.request.header("Cookie"), std::optional<std::string>("thor=pc1"));
    if (r.host != "f-mall.jd.com") continue;
    queries.push_back(r.path + " < " + r.request.header("Referer").value_or(""));
  }
  EXPECT_EQ(
      queries,
      (std::vector<std::string>{
          "/shopGift/getShopGiftInfo?callback=jQuery1843931&venderId=v100&_=1531970395937 < "
          "https://mall.jd.com/index-100.html",
          "/shopGift/getShopGiftInfo?callback=jQuery1843931&venderId=v300&_=1531970395937 < "
          "https://mall.jd.com/index-300.html",
          "/shopGift/getShopGiftInfo?callback=jQuery1843931&venderId=v400&_=1531970395937 < "
          "https://mall.jd.com/index-400.html",
          "/shopGift/drawShopGiftInfo?callback=jQuery154812&vId=v100&jshop_token=tok1&aId=a1&_="
          "1531989916075 < https://mall.jd.com/index-400.html",
          "/shopGift/drawShopGiftInfo?callback=jQuery154812&vId=v400&jshop_token=tok4&aId=a4&_="
          "1531989916075 < https://mall.jd.com/index-400.html",
      }));
}

TEST_F(JdBeanTest, IntervalIsReadAnewBeforeEveryWait) {
  view_.links = "https://mall.jd.com/index-100.html\r\nhttps://mall.jd.com/index-200.html";
  view_.interval = "4";
  waiter_.after_wait = [&] {
    if (waiter_.waits.size() == 2) view_.interval = "10";
  };
  run_bean_collection(account_);
  EXPECT_EQ(waiter_.waits, (std::vector<int64_t>{800, 4000, 10000, 10000}));
}

TEST_F(JdBeanTest, RunsThatStopBeforeTheirFirstRequest) {
  // Nothing but line breaks: a message, the list stays hidden.
  view_.links = "\r\n\r\n";
  view_.list_shown = true;
  view_.rows.push_back({});
  run_bean_collection(account_);
  EXPECT_EQ(view_.messages, std::vector<Text>{gbk("请输入至少一条京东领豆链接")});
  EXPECT_FALSE(view_.list_shown);
  EXPECT_TRUE(view_.rows.empty());
  EXPECT_TRUE(waiter_.waits.empty());

  // No PC login after the gate.
  store_logins("", "pt_key=w");
  view_.links = "https://mall.jd.com/index-100.html";
  run_bean_collection(account_);
  EXPECT_EQ(view_.log, std::vector<Text>{gbk("\r\n没登陆，签到取消，你可以登陆后重试！")});
  EXPECT_FALSE(view_.list_shown);
  EXPECT_TRUE(requests().empty());
}

TEST_F(JdBeanTest, ExpiredLoginInAGiftQueryStopsTheRun) {
  route(endpoints::kJdShopGiftHost, "/shopGift/getShopGiftInfo", [](const FixtureRequest&) {
    return FixtureResponse::with_status(302, {"Location: https://passport.jd.com/new/login.aspx"});
  });
  answer(endpoints::kJdPcLoginHost, "/new/login.aspx", "<html>login</html>");
  view_.links = "https://mall.jd.com/index-100.html\r\nhttps://mall.jd.com/index-400.html";
  run_bean_collection(account_);
  EXPECT_EQ(row_summary(),
            std::vector<std::string>{"https://mall.jd.com/index-100.html||登陆已失效"});
  EXPECT_EQ(view_.log.back(), gbk("电脑端登陆已失效，领豆停止，请重新登陆后重试！"));
  EXPECT_TRUE(view_.list_shown);
  EXPECT_TRUE(account_.expired(true));
}

TEST(JdLinkList, OnlyLinksToJdHostsGoOutWithTheLogin) {
  struct Case {
    const char* link;
    bool accepted;
  };
  for (const Case& c : {Case{"https://mall.jd.com/index-1.html", true},
                        Case{"http://jd.com/x", true}, Case{"mall.jd.com/shopSign-2.html", true},
                        Case{"https://mall.jd.com:443/index-1.html?x=1", true},
                        Case{"https://MALL.JD.COM/index-1.html", false},
                        Case{"https://evil.example/?jd.com", false},
                        Case{"https://evil.example/jd.com/shopSign-1.html", false},
                        Case{"https://notjd.com/index-1.html", false},
                        Case{"https://mall.jd.com.evil.example/index-1.html", false},
                        Case{"https://mall.jd.com@evil.example/index-1.html", false},
                        Case{"https://evil.example\\@mall.jd.com/", false}}) {
    SCOPED_TRACE(c.link);
    EXPECT_EQ(is_jd_link(c.link), c.accepted);
  }
}

TEST(JdBeanPages, RowTextAndLinkSourcesPage) {
  BeanRow row;
  row[kBeanLink] = "https://mall.jd.com/index-1.html";
  row[kBeanStatus] = "ok";
  EXPECT_EQ(bean_row_text(row), "\r\nhttps://mall.jd.com/index-1.html\r\n\r\n\r\n\r\n\r\n\r\nok");
  const Text page = link_sources_page();
  EXPECT_NE(
      page.find(
          "h1ref=\"http://www.zuanke8.com/search.php?mod=forum&searchid=2929&orderby=dateline&"
          "ascdesc=desc&fid=&searchsubmit=yes&kw=%BE%A9%B6%B9\" target=\"_blank\""),
      std::string::npos);
  EXPECT_NE(page.find(" href=\"http://www.iqshw.com/qita/143694.html\">www.iqshw.com/qita/"
                      "143694.html</a>"),
            std::string::npos);
  EXPECT_NE(page.find("#FCFAF0"), std::string::npos);
  EXPECT_NE(page.find(gbk("最新的可以领京豆的链接，推荐去下面网站获取：")), std::string::npos);
}

}  // namespace
}  // namespace qnl
