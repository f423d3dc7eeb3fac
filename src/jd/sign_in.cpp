#include "jd/sign_in.h"

#include "jd/jd_account.h"
#include "net/endpoints.h"
#include "text/encoding.h"

namespace qnl {
namespace {

Text L(const char* utf8) {
  return utf8_to_local(utf8);
}

bool contains(TextView text, const char* utf8) {
  return find_text(text, L(utf8)) > 0;
}

bool is_amount(TextView text) {
  if (text.empty()) return false;
  for (const char c : text)
    if ((c < '0' || c > '9') && c != '.') return false;
  return true;
}

// One sign-in request after another, each answer checked for an expired
// login first.
class Pass {
 public:
  Pass(JdAccount& account, bool pc) : account_(account), pc_(pc) {}

  // Runs the gate; false when the pass stops there (its line written).
  bool gate() {
    if (!account_.await_jd_login(pc_)) return false;
    if (!account_.cookie(pc_).empty()) return true;
    log("没登陆，签到取消，你可以登陆后重试！");
    return false;
  }

  // False when the pass must stop: the program is closing, or the answer
  // showed that the login has expired (one line says so, and the next
  // gate verifies the login again).
  bool fetch(TextView url, Text& answer, TextView body = {}) {
    const JdAnswer got = account_.fetch(url, pc_, body);
    if (!got.completed) return false;
    if (jd_login_expired(got)) {
      account_.mark_expired(pc_);
      log(pc_ ? "电脑端登陆已失效，签到停止，请重新登陆后重试！"
              : "手机端登陆已失效，签到停止，请重新登陆后重试！");
      return false;
    }
    answer = got.text;
    return true;
  }

  void log(const char* utf8) { account_.view().jd_log(L(utf8)); }
  void log(const Text& text) { account_.view().jd_log(text); }

 private:
  JdAccount& account_;
  bool pc_;
};

}  // namespace

void run_pc_sign_ins(JdAccount& account) {
  Pass pass(account, true);
  if (!pass.gate()) return;
  Text a;

  // Member sign-in.
  if (!pass.fetch(endpoints::kJdVipSign, a)) return;
  if (contains(a, "今日已签到"))
    pass.log("京东签到：今日已经签到！");
  else if (contains(a, "签到成功"))
    pass.log("京东签到：签到成功");
  else
    pass.log("京东签到：签到不可知");

  // Finance sign-in.
  if (!pass.fetch(endpoints::kJdFinanceSign, a)) return;
  if (contains(a, "null")) {
    pass.log("京东金融签到:签到失败,您已签到!");
  } else if (contains(a, "accountBalance")) {
    const Text balance = text_between(a, "accountBalance\":\"", "\"");
    const Text days = text_between(a, "continuityDays\":\"", "\"");
    pass.log(L("京东金融签到:签到成功,获得") + balance + L("钢镚!已连续签到") + days +
             L("天,连续签到7天有惊喜杳哟"));
  }

  // Community punch: the token comes from the community page.
  if (!pass.fetch(endpoints::kJdCommunityPage, a)) return;
  const Text token = text_between(a, "token: \"", "\"");
  if (!pass.fetch(endpoints::kJdCommunityPunch, a, "token=" + token + "&mark=shouji")) return;
  if (contains(a, "getPoint")) {
    const Text days = text_between(a, "punchNum\":", ",");
    const Text points = text_between(a, "getPoint\":", "}");
    pass.log(L("京友帮签到:恭喜你,签到成功!您已连续签到") + days + L("天,获得") + points);
  } else if (contains(a, "今日已签到,请勿重复签到!")) {
    pass.log("京友帮签到:今日已签到,请勿重复签到!");
  }

  // Mobile-data sign-in.
  if (!pass.fetch(endpoints::kJdDataWalletSign, a)) return;
  if (contains(a, "您已连续签到"))
    pass.log(L("流量签到:签到成功,") + text_between(a, "extraMessage\":\"", "\""));
  else if (contains(a, "未能抢到流量"))
    pass.log("流量签到:签到成功,未能抢到流量");
  else
    pass.log("流量签到:签到失败!");
}

void run_mobile_sign_ins(JdAccount& account) {
  Pass pass(account, false);
  if (!pass.gate()) return;
  Text a;

  // Bean sign-in.
  if (!pass.fetch(endpoints::kJdBeanSign, a)) return;
  pass.log(L("京东移动端签到:") + text_between(a, "signText\":\"", "\""));

  // Double sign-in award: only an award count shows it was received.
  if (!pass.fetch(endpoints::kJdDoubleSignAward, a)) return;
  const Text award = text_between(a, "awardCount\":", ",");
  if (award.empty())
    pass.log("京东移动端双签领奖:领奖结果未知!");
  else
    pass.log(L("京东移动端双签领奖:您已领取双签礼包,京豆数:") + award);

  // Payment sign-in: success only when the answer says so.
  if (!pass.fetch(endpoints::kJdPaySign, a)) return;
  if (contains(a, "已经领取过"))
    pass.log("京东移动端签到领钢镚①:签到失败,已经领取过!");
  else if (contains(a, "签到成功"))
    pass.log("京东移动端签到领钢镚①:签到成功!");
  else
    pass.log("京东移动端签到领钢镚①:签到结果未知!");

  // Finance sign-in.
  if (!pass.fetch(endpoints::kJdFinanceMobileSign, a)) return;
  pass.log(L("京东移动端签到领钢镚②:") + text_between(a, "showMsg\":\"", "\""));

  // Small-vault sign-in, the same address as a POST: an amount is a gain,
  // any other message is shown as it is.
  if (!pass.fetch(endpoints::kJdFinanceMobileSign, a, "1")) return;
  const Text message = text_between(a, "message\":\"", "\"");
  if (contains(a, "今天你已领取过了") || (!message.empty() && !is_amount(message)))
    pass.log(L("京东移动端小金库签到:") + message);
  else if (message.empty())
    pass.log("京东移动端小金库签到:签到结果未知!");
  else
    pass.log(L("京东移动端小金库签到:获得") + message + L("元红包!"));

  // Daily lottery.
  if (!pass.fetch(endpoints::kJdLotteryDraw, a)) return;
  const Text ret = text_between(a, "ret\":", ",");
  if (ret == "11")
    pass.log("京东每日抽奖:您已经抽过奖了，请明天再来!'活动过于火爆，请稍后重试!");
  else if (ret == "0")
    pass.log("京东每日抽奖:很遗憾今天没中奖哦，请明天再来!");
  else if (ret.empty())
    pass.log("京东每日抽奖:抽奖结果未知!");
  else
    pass.log("京东每日抽奖:好像中奖了,自己去看下!");
}

}  // namespace qnl
