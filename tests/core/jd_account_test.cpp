// JD logins against the fixture server playing JD: the PC and mobile checks
// with their captions and storage, the login gate, the expired-login rule.
#include "jd/jd_account.h"

#include "jd/sign_in.h"
#include "jd_test_support.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::gbk;

using JdAccountTest = test::JdFixture;

TEST_F(JdAccountTest, PcCheckShowsTheWholeTextAfterTheBalanceMarkerAndStoresTheLogin) {
  answer(endpoints::kJdBeanHost, "/myJingBean/getListDetail",
         R"({"code":"0000","data":{"balanceBeans":52},"list":[]})",
         {"Set-Cookie: thor=changed; path=/"});
  Text cookie = "thor=t1; pin=p1";
  EXPECT_TRUE(account_.check_jd_login(true, cookie));
  EXPECT_EQ(view_.caption, gbk("手机端未登陆 - 京东：:52"));
  // Not merged: the PC check keeps the text it was given.
  EXPECT_EQ(cookie, "thor=t1; pin=p1");
  EXPECT_EQ(config_.current()->jd_coo_pc, "thor=t1; pin=p1");
  EXPECT_EQ(stored("jd_coo_pc"), "thor=t1; pin=p1");
  const auto sent = requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].request.tls);
  EXPECT_EQ(sent[0].request.method, "GET");
  EXPECT_EQ(sent[0].request.header("Cookie"), std::optional<std::string>("thor=t1; pin=p1"));
}

TEST_F(JdAccountTest, MobileCheckBuildsTheSummaryAndStoresTheMergedLogin) {
  answer(endpoints::kJdUserInfoHost, "/user/info/QueryJDUserInfo",
         R"(getUserInfoCb({"retcode":0,"base":{"nickname":"abc","levelName":"gold","jdNum":7,)"
         R"("mobile":"138","curPin":"p"}});)",
         {"Set-Cookie: wq_skey=s9; path=/"});
  Text cookie = "pt_key=k1; pt_pin=p1";
  EXPECT_TRUE(account_.check_jd_login(false, cookie));
  EXPECT_EQ(view_.caption, gbk("abc:gold7138 - 电脑端没登陆"));
  EXPECT_EQ(cookie, "wq_skey=s9; pt_key=k1; pt_pin=p1");
  EXPECT_EQ(config_.current()->jd_coo_wap, cookie);
  EXPECT_EQ(stored("jd_coo_wap"), cookie);
  const FixtureRequest sent = requests().at(0).request;
  EXPECT_EQ(sent.path(),
            "/user/info/QueryJDUserInfo?sceneid=80027&_=1531376033300&sceneval=2&callback="
            "getUserInfoCb&g_ty=ls");
  EXPECT_NE(sent.header("User-Agent").value_or("").find("iPhone OS 11_0"), std::string::npos);
}

TEST_F(JdAccountTest, AnswersWithoutTheFieldsStoreNothing) {
  struct Case {
    bool pc;
    const char* body;  // nullptr: the host answers 404 with nothing
  };
  for (const Case& c :
       {Case{true, R"({"code":"3","message":"not login"})"}, Case{true, nullptr},
        Case{false, R"(getUserInfoCb({"retcode":13,"msg":"no login"});)"}, Case{false, nullptr}}) {
    SCOPED_TRACE(c.body ? c.body : "404");
    if (c.body) {
      answer(endpoints::kJdBeanHost, "/myJingBean/getListDetail", c.body);
      answer(endpoints::kJdUserInfoHost, "/user/info/QueryJDUserInfo", c.body);
    } else {
      route(endpoints::kJdBeanHost, "/myJingBean/getListDetail",
            [](const FixtureRequest&) { return FixtureResponse::with_status(404); });
      route(endpoints::kJdUserInfoHost, "/user/info/QueryJDUserInfo",
            [](const FixtureRequest&) { return FixtureResponse::with_status(404); });
    }
    Text cookie = "a=1";
    EXPECT_FALSE(account_.check_jd_login(c.pc, cookie));
    EXPECT_EQ(view_.caption, gbk("手机端未登陆 - 电脑端没登陆"));
    EXPECT_EQ(config_.current()->jd_coo_pc, "");
    EXPECT_EQ(config_.current()->jd_coo_wap, "");
    EXPECT_EQ(stored("jd_coo_pc"), stored("jd_coo_wap"));
  }
}

TEST_F(JdAccountTest, CookieTextWithQuotesIsStoredExactlyAndChangesNothingElse) {
  answer(endpoints::kJdBeanHost, "/myJingBean/getListDetail", R"({"balanceBeans":1})");
  const Text keywords = stored("keywd");
  Text cookie = "a='1'; b=x' WHERE 0; --; c=\"q\"";
  ASSERT_TRUE(account_.check_jd_login(true, cookie));
  EXPECT_EQ(stored("jd_coo_pc"), cookie);
  EXPECT_EQ(stored("keywd"), keywords);
  EXPECT_EQ(db_.db_query("SELECT count(*) FROM con").rows.at(0).at(0), "1");
}

TEST_F(JdAccountTest, GateChecksOnlyUntilVerifiedAndLeadsToTheLoginCentreOnFailure) {
  route(endpoints::kJdBeanHost, "/myJingBean/getListDetail", [](const FixtureRequest& r) {
    return FixtureResponse::ok(r.header("Cookie") == std::optional<std::string>("good=1")
                                   ? R"({"balanceBeans":5})"
                                   : "{}");
  });
  // A stored login that works: checked once, then the caption says verified.
  store_logins("good=1", "");
  ASSERT_TRUE(account_.await_jd_login(true));
  EXPECT_EQ(view_.caption, gbk("手机端未登陆 - 京东：:5"));
  EXPECT_EQ(waiter_.waits, std::vector<int64_t>{800});
  EXPECT_TRUE(view_.opened.empty());
  ASSERT_TRUE(account_.await_jd_login(true));
  EXPECT_EQ(requests().size(), 1u);

  // A stored mobile login that fails: emptied in memory only, the login
  // centre opens, and the gate holds until it is closed.
  store_logins("good=1", "bad=1");
  Text before = stored("jd_coo_wap");
  int polls = 0;
  waiter_.waits.clear();
  waiter_.after_wait = [&] {
    if (view_.mode > 0 && ++polls == 3) view_.mode = 0;  // the user closes the window
  };
  ASSERT_TRUE(account_.await_jd_login(false));
  EXPECT_EQ(view_.opened, std::vector<int>{2});
  EXPECT_EQ(waiter_.waits, (std::vector<int64_t>{800, 500, 500}));
  EXPECT_EQ(config_.current()->jd_coo_wap, "");
  EXPECT_EQ(config_.current()->jd_coo_pc, "good=1");
  EXPECT_EQ(stored("jd_coo_wap"), before);
}

TEST_F(JdAccountTest, TaskWaitingInTheGateWritesItsCancellationWhenTheCentreCloses) {
  // The centre was opened (from the label) before the task: the task waits
  // for it, then finds no login.
  mark_verified();
  view_.mode = 2;
  waiter_.after_wait = [&] {
    if (waiter_.waits.size() == 4) view_.mode = 0;
  };
  run_pc_sign_ins(account_);
  EXPECT_EQ(waiter_.waits, (std::vector<int64_t>{800, 500, 500, 500}));
  EXPECT_EQ(view_.log, std::vector<Text>{gbk("没登陆，签到取消，你可以登陆后重试！")});
  EXPECT_TRUE(requests().empty());
}

TEST(JdLoginExpired, RedirectsToLoginPagesAndNotLoggedInBodies) {
  struct Case {
    const char* final_url;
    const char* body;
    bool expired;
  };
  const Case cases[] = {
      {"https://passport.jd.com/new/login.aspx?ReturnUrl=x", "<html>", true},
      {"https://plogin.m.jd.com/user/login.action", "", true},
      {"https://PLOGIN.M.JD.COM:443/login", "", true},
      {"https://vip.jd.com/sign/index", "<html>passport.jd.com</html>", false},
      {"https://wq.jd.com/x", R"(cb({"retcode":13,"msg":"x"}))", true},
      {"https://wq.jd.com/x", R"(cb({"retcode": 13}))", true},
      {"https://wq.jd.com/x", R"(cb({"retcode":130}))", false},
      {"https://wq.jd.com/x", R"(cb({"retcode":0,"msg":"No Login"}))", true},
      {"https://wq.jd.com/x", R"(cb({"retcode":0,"msg":"ok"}))", false},
      {"", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.final_url) + " " + c.body);
    JdAnswer a;
    a.final_url = c.final_url;
    a.text = c.body;
    EXPECT_EQ(jd_login_expired(a), c.expired);
  }
}

}  // namespace
}  // namespace qnl
