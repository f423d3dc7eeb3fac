#include "jd/jd_account.h"

#include "net/endpoints.h"
#include "net/page_fetch.h"
#include "net/web_request.h"
#include "storage/configuration.h"
#include "storage/database.h"
#include "text/encoding.h"

namespace qnl {
namespace {

constexpr TextView kMobileCheckAgent =
    "User-Agent: Mozilla/5.0 (iPhone; CPU iPhone OS 11_0 like Mac OS X) AppleWebKit/604.1.38 "
    "(KHTML, like Gecko) Version/11.0 Mobile/15A372 Safari/604.1";

Text L(const char* utf8) {
  return utf8_to_local(utf8);
}

// The host of an absolute address, lower-cased.
Text host_of(TextView url) {
  const size_t scheme = url.find("://");
  if (scheme == TextView::npos) return {};
  TextView rest = url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  if (const size_t at = rest.rfind('@'); at != TextView::npos) rest = rest.substr(at + 1);
  rest = rest.substr(0, rest.find(':'));
  return to_lower(rest);
}

Text remove_all(TextView text, TextView sought) {
  return replace_text(text, sought, "", 1, -1, true);
}

}  // namespace

bool jd_login_expired(const JdAnswer& answer) {
  const Text host = host_of(answer.final_url);
  if (host == endpoints::kJdPcLoginHost || host == endpoints::kJdMobileLoginHost) return true;
  const Text flat = remove_all(remove_all(answer.text, " "), "\"");
  for (int64_t at = find_text(flat, "retcode:13"); at > 0;
       at = find_text(flat, "retcode:13", at + 1)) {
    const size_t next = static_cast<size_t>(at - 1) + 10;
    if (next >= flat.size() || flat[next] < '0' || flat[next] > '9') return true;
  }
  return find_text(flat, "msg:nologin", 1, true) > 0;
}

JdAccount::JdAccount(Database& db, ConfigStore& config, JdView& view, JdWaiter& waiter)
    : db_(db), config_(config), view_(view), waiter_(waiter) {}

Text JdAccount::cookie(bool pc) const {
  const auto record = config_.current();
  return pc ? record->jd_coo_pc : record->jd_coo_wap;
}

void JdAccount::mark_expired(bool pc) {
  expired_[pc ? 1 : 0] = true;
}

bool JdAccount::check_jd_login(bool pc, Text& cookie) {
  WebRequest request;
  request.url = Text(pc ? endpoints::kJdBeanAccount : endpoints::kJdUserInfo);
  request.cookies = cookie;
  if (pc)
    request.merge_cookies = false;
  else
    request.headers = Text(kMobileCheckAgent);
  std::string answer;
  if (!waiter_.run_exchange([&](HttpConnection& connection) {
        request.connection = &connection;
        answer = web_request(request);
      }))
    return false;
  if (!pc) cookie = request.cookies.value_or(cookie);

  Text summary;
  Text placeholder;
  if (pc) {
    // The bytes as they came, without conversion.
    const Text text = remove_all(answer, "\"");
    const Text balance = text_between(text, "balanceBeans", "}");
    if (balance.empty()) return false;
    summary = L("京东：") + balance;
    placeholder = L("电脑端没登陆");
  } else {
    const Text text =
        remove_all(remove_all(remove_all(utf8_bytes_to_text(answer), "\""), ":"), " ");
    const Text nickname = text_between(text, "nickname", ",");
    if (nickname.empty()) return false;
    summary = nickname + ":" + text_between(text, "levelName", ",") +
              text_between(text, "jdNum", ",") + text_between(text, "mobile", ",");
    placeholder = L("手机端未登陆");
  }
  config_.set_jd_cookie(pc, cookie);
  expired_[pc ? 1 : 0] = false;
  view_.set_account_caption(
      replace_text(view_.account_caption(), placeholder, summary, 1, -1, true));
  // Bound, never spliced: the stored text cannot change the statement.
  db_.store_jd_cookie(pc, cookie);
  return true;
}

bool JdAccount::await_jd_login(bool pc) {
  if (find_text(view_.account_caption(), L(pc ? "电脑端" : "手机端")) > 0 || expired(pc)) {
    Text stored = cookie(pc);
    if (!check_jd_login(pc, stored)) {
      if (waiter_.closing()) return false;
      // Emptied in memory only; the database keeps the old login.
      config_.set_jd_cookie(pc, "");
      view_.open_login_centre(pc ? 1 : 2);
    }
  }
  if (!waiter_.wait(800)) return false;
  while (view_.login_mode() > 0) {
    if (!waiter_.wait(500)) return false;
  }
  return true;
}

JdAnswer JdAccount::fetch(TextView url, bool pc_site, TextView body, Text referer) {
  JdAnswer answer;
  const auto record = config_.current();
  const JdCookies cookies{record->jd_coo_pc, record->jd_coo_wap};
  answer.completed = waiter_.run_exchange([&](HttpConnection& connection) {
    answer.text = fetch_page(url, pc_site, body, referer, cookies, &connection, &answer.final_url);
  });
  if (!answer.completed) answer = JdAnswer{};
  return answer;
}

}  // namespace qnl
