// The daily sign-ins against the fixture server playing JD: every branch of
// every step, the fixed order, the login each uses, expired logins.
#include "jd/sign_in.h"
#include "jd_test_support.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::gbk;

std::vector<Text> gbk_lines(std::initializer_list<const char*> lines) {
  std::vector<Text> out;
  for (const char* line : lines) out.push_back(gbk(line));
  return out;
}

class JdSignInTest : public test::JdFixture {
 protected:
  // Answers of the five PC requests (nullptr: 404 with nothing).
  void pc_answers(const char* p1, const char* p2, const char* p3, const char* p4, const char* p5) {
    set(endpoints::kJdVipHost, "/sign/index", p1);
    set(endpoints::kJdFinanceSignHost, "/newSign/doSign", p2);
    set(endpoints::kJdCommunityHost, "/channel/shouji.html", p3);
    set(endpoints::kJdCommunityHost, "/homepage/user/punch.html", p4);
    set(endpoints::kJdDataWalletHost, "/web/json/sign.action", p5);
  }
  void mobile_answers(const char* m1, const char* m2, const char* m3, const char* m4,
                      const char* m5, const char* m6) {
    set(endpoints::kJdClientApiHost, "/client.action", m1);
    set(endpoints::kJdDoubleSignHost, "/countersign/receiveAward.json", m2);
    set(endpoints::kJdPayHost, "/my/signIn/", m3);
    route(
        endpoints::kJdFinanceMobileHost, "/gw/generic/base/h5/m/baseSignInEncryptNew",
        [m4 = std::string(m4 ? m4 : ""), m5 = std::string(m5 ? m5 : "")](const FixtureRequest& r) {
          return FixtureResponse::ok(r.method == "POST" ? m5 : m4);
        });
    set(endpoints::kJdLotteryHost, "/activemcenter/muserwelfare/draw", m6);
  }
  void set(std::string_view host, const char* path, const char* body) {
    if (body)
      answer(host, path, body);
    else
      route(host, path, [](const FixtureRequest&) { return FixtureResponse::with_status(404); });
  }
};

TEST_F(JdSignInTest, PcStepsWriteTheirLinesInOrder) {
  struct Case {
    const char* name;
    const char* p1;
    const char* p2;
    const char* p4;
    const char* p5;
    std::vector<Text> lines;
  };
  const Case cases[] = {
      {"all signed", "<div>签到成功</div>",
       R"({"signSuccess":true,"accountBalance":"0.05","continuityDays":"3"})",
       R"({"punchNum":4,"getPoint":10})", R"({"extraMessage":"10M流量","msg":"您已连续签到2天"})",
       gbk_lines({"京东签到：签到成功",
                  "京东金融签到:签到成功,获得0.05钢镚!已连续签到3天,连续签到7天有惊喜杳哟",
                  "京友帮签到:恭喜你,签到成功!您已连续签到4天,获得10",
                  "流量签到:签到成功,10M流量"})},
      {"already signed", "<div>今日已签到</div>签到成功",
       R"({"resBusiCode":null,"accountBalance":"1"})", R"({"msg":"今日已签到,请勿重复签到!"})",
       R"({"msg":"未能抢到流量"})",
       gbk_lines({"京东签到：今日已经签到！", "京东金融签到:签到失败,您已签到!",
                  "京友帮签到:今日已签到,请勿重复签到!", "流量签到:签到成功,未能抢到流量"})},
      {"nothing recognised", "<html></html>", R"({"other":1})", R"({"other":1})", R"({"other":1})",
       gbk_lines({"京东签到：签到不可知", "流量签到:签到失败!"})},
      {"no answers", nullptr, nullptr, nullptr, nullptr,
       gbk_lines({"京东签到：签到不可知", "流量签到:签到失败!"})},
  };
  mark_verified();
  store_logins("thor=pc1", "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view_.log.clear();
    pc_answers(c.p1, c.p2, "<script>var t = {token: \"tk9\"};</script>", c.p4, c.p5);
    const size_t before = requests().size();
    run_pc_sign_ins(account_);
    EXPECT_EQ(view_.log, c.lines);
    const auto sent = requests();
    ASSERT_EQ(sent.size() - before, 5u);
    EXPECT_EQ(sent[before].host + sent[before].path, "vip.jd.com/sign/index");
    EXPECT_TRUE(sent[before].request.tls);
    EXPECT_FALSE(sent[before + 1].request.tls);  // the finance sign-in is plain
    EXPECT_EQ(sent[before + 3].request.method, "POST");
    EXPECT_EQ(sent[before + 3].request.body, "token=tk9&mark=shouji");
    EXPECT_EQ(sent[before + 4].host, "datawallet.jd.com");
    for (size_t i = before; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i].request.header("Cookie"), std::optional<std::string>("thor=pc1"));
      EXPECT_NE(sent[i].request.header("User-Agent").value_or("").find("Windows NT"),
                std::string::npos);
    }
  }
  // Without the community token the punch is still sent, with an empty one.
  pc_answers(nullptr, nullptr, nullptr, nullptr, nullptr);
  run_pc_sign_ins(account_);
  EXPECT_EQ(requests().back().request.method, "GET");
  EXPECT_EQ(requests().at(requests().size() - 2).request.body, "token=&mark=shouji");
}

TEST_F(JdSignInTest, MobileStepsWriteTheirLinesInOrder) {
  struct Case {
    const char* name;
    const char* m1;
    const char* m2;
    const char* m3;
    const char* m4;
    const char* m5;
    const char* m6;
    std::vector<Text> lines;
  };
  const Case cases[] = {
      {"first of the day",
       R"({"code":"0","data":{"status":"1","signShowBean":{"signText":"签到成功，获得2京豆"}}})",
       R"({"res":{"code":0,"data":[{"awardCount":5,"x":1}]}})",
       R"({"data":{"resBusiMsg":"签到成功","signContinuity":2}})",
       R"({"resultData":{"showMsg":"获得0.1钢镚","isSuccess":true}})",
       R"({"code":"00","message":"0.02"})", R"(jsonpCBKH({"ret":0,"retmsg":"ok"}))",
       gbk_lines({"京东移动端签到:签到成功，获得2京豆",
                  "京东移动端双签领奖:您已领取双签礼包,京豆数:5", "京东移动端签到领钢镚①:签到成功!",
                  "京东移动端签到领钢镚②:获得0.1钢镚", "京东移动端小金库签到:获得0.02元红包!",
                  "京东每日抽奖:很遗憾今天没中奖哦，请明天再来!"})},
      {"already done", R"({"signText":""})", R"({"res":{"code":"DS104"}})",
       R"({"data":{"resBusiMsg":"已经领取过"}})", R"({"resultData":{"showMsg":"今日已签到"}})",
       R"({"code":"01","message":"今天你已领取过了"})", R"(jsonpCBKH({"ret":11,"retmsg":"x"}))",
       gbk_lines({"京东移动端签到:", "京东移动端双签领奖:领奖结果未知!",
                  "京东移动端签到领钢镚①:签到失败,已经领取过!", "京东移动端签到领钢镚②:今日已签到",
                  "京东移动端小金库签到:今天你已领取过了",
                  "京东每日抽奖:您已经抽过奖了，请明天再来!'活动过于火爆，请稍后重试!"})},
      {"other answers", "{}", "{}", R"({"data":{"resBusiMsg":"系统繁忙"}})", "{}",
       R"({"message":"活动太火爆"})", R"(jsonpCBKH({"ret":110,"prize":[]}))",
       gbk_lines({"京东移动端签到:", "京东移动端双签领奖:领奖结果未知!",
                  "京东移动端签到领钢镚①:签到结果未知!", "京东移动端签到领钢镚②:",
                  "京东移动端小金库签到:活动太火爆", "京东每日抽奖:好像中奖了,自己去看下!"})},
      {"no answers", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
       gbk_lines({"京东移动端签到:", "京东移动端双签领奖:领奖结果未知!",
                  "京东移动端签到领钢镚①:签到结果未知!", "京东移动端签到领钢镚②:",
                  "京东移动端小金库签到:签到结果未知!", "京东每日抽奖:抽奖结果未知!"})},
  };
  mark_verified();
  store_logins("", "pt_key=w1");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view_.log.clear();
    mobile_answers(c.m1, c.m2, c.m3, c.m4, c.m5, c.m6);
    const size_t before = requests().size();
    run_mobile_sign_ins(account_);
    EXPECT_EQ(view_.log, c.lines);
    const auto sent = requests();
    ASSERT_EQ(sent.size() - before, 6u);
    EXPECT_EQ(sent[before].path, "/client.action?functionId=signBeanStart&appid=ld");
    EXPECT_EQ(sent[before + 2].path, "/my/signIn/?sid=");
    EXPECT_EQ(sent[before + 3].request.method, "GET");
    EXPECT_EQ(sent[before + 4].request.method, "POST");
    EXPECT_EQ(sent[before + 4].request.body, "1");
    EXPECT_EQ(sent[before + 3].path, sent[before + 4].path);
    EXPECT_EQ(sent[before + 5].path,
              "/activemcenter/muserwelfare/draw?active=Mjiugongge2&level=&type=2&_=1529226932784&"
              "callback=jsonpCBKH&g_tk=4068217935&g_ty=ls");
    for (size_t i = before; i < sent.size(); ++i) {
      EXPECT_TRUE(sent[i].request.tls);
      EXPECT_EQ(sent[i].request.header("Cookie"), std::optional<std::string>("pt_key=w1"));
      EXPECT_NE(sent[i].request.header("User-Agent").value_or("").find("iPhone"),
                std::string::npos);
    }
  }
}

TEST_F(JdSignInTest, EachTaskNeedsItsOwnLogin) {
  mark_verified();
  store_logins("thor=pc1", "");
  pc_answers("签到成功", nullptr, nullptr, nullptr, nullptr);
  run_mobile_sign_ins(account_);
  EXPECT_EQ(view_.log, gbk_lines({"没登陆，签到取消，你可以登陆后重试！"}));
  EXPECT_TRUE(requests().empty());
  view_.log.clear();
  run_pc_sign_ins(account_);
  EXPECT_EQ(view_.log.front(), gbk("京东签到：签到成功"));
}

TEST_F(JdSignInTest, ExpiredLoginStopsTheTaskWithOneLineAndTheNextGateChecksAgain) {
  mark_verified();
  store_logins("thor=old", "pt_key=old");
  // The member sign-in sends the user to the login page.
  route(endpoints::kJdVipHost, "/sign/index", [](const FixtureRequest&) {
    return FixtureResponse::with_status(
        302, {"Location: https://passport.jd.com/new/login.aspx?ReturnUrl=x"});
  });
  answer(endpoints::kJdPcLoginHost, "/new/login.aspx", "<html>签到成功 login</html>");
  run_pc_sign_ins(account_);
  EXPECT_EQ(view_.log, gbk_lines({"电脑端登陆已失效，签到停止，请重新登陆后重试！"}));
  EXPECT_EQ(visited(),
            (std::vector<std::string>{"vip.jd.com/sign/index", "passport.jd.com/new/login.aspx"}));
  EXPECT_TRUE(account_.expired(true));

  // The next PC task verifies the login again, finds it gone and leads the
  // user to the login centre; the mobile login is not touched.
  answer(endpoints::kJdBeanHost, "/myJingBean/getListDetail", R"({"code":"3"})");
  waiter_.after_wait = [&] { view_.mode = 0; };  // the user closes the centre
  view_.log.clear();
  run_pc_sign_ins(account_);
  EXPECT_EQ(view_.opened, std::vector<int>{1});
  EXPECT_EQ(view_.log, gbk_lines({"没登陆，签到取消，你可以登陆后重试！"}));
  EXPECT_EQ(config_.current()->jd_coo_wap, "pt_key=old");

  // A mobile answer naming the not-logged-in state.
  view_.log.clear();
  view_.mode = 0;
  mobile_answers(R"({"code":"3","retcode":13,"msg":"no login"})", "{}", "{}", "{}", "{}", "{}");
  run_mobile_sign_ins(account_);
  EXPECT_EQ(view_.log, gbk_lines({"手机端登陆已失效，签到停止，请重新登陆后重试！"}));
  EXPECT_TRUE(account_.expired(false));
}

}  // namespace
}  // namespace qnl
