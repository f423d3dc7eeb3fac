#include "jd/bean_collection.h"

#include "jd/jd_account.h"
#include "net/endpoints.h"
#include "text/encoding.h"
#include "text/regex.h"

namespace qnl {
namespace {

Text L(const char* utf8) {
  return utf8_to_local(utf8);
}

bool contains(TextView text, const char* utf8) {
  return find_text(text, L(utf8)) > 0;
}

constexpr const char* kWaiting = "等待签到";

}  // namespace

bool is_jd_link(TextView link) {
  TextView rest = link;
  if (const size_t scheme = rest.find("://"); scheme != TextView::npos)
    rest = rest.substr(scheme + 3);
  TextView host = rest.substr(0, rest.find_first_of("/?#\\"));
  if (const size_t at = host.rfind('@'); at != TextView::npos) host = host.substr(at + 1);
  host = host.substr(0, host.find(':'));
  const TextView domain = endpoints::kJdDomain;
  if (host == domain) return true;
  return host.size() > domain.size() && host.ends_with(domain) &&
         host[host.size() - domain.size() - 1] == '.';
}

std::vector<Text> prepare_link_list(JdView& view) {
  Text text = view.links_text();
  if (left_text(text, 2) == "\r\n") text.erase(0, 2);
  if (right_text(text, 2) == "\r\n") text.erase(text.size() - 2);
  // A CR at a line start and an LF at a line end go, all found in the text
  // as it was: runs of empty lines shrink to one line break.
  RegexObject expression;
  if (expression.execute("(?:^\\r|\\n$)", text)) text = expression.replace("");
  view.set_links_text(text);
  return split_text(view.links_text(), "\r\n");
}

void run_bean_collection(JdAccount& account) {
  JdView& view = account.view();
  JdWaiter& waiter = account.waiter();

  view.show_bean_list(false);
  const std::vector<Text> lines = prepare_link_list(view);
  view.clear_bean_rows();
  if (lines.empty()) {
    view.show_message(L("请输入至少一条京东领豆链接"));
    return;
  }
  if (!account.await_jd_login(true)) return;
  if (account.cookie(true).empty()) {
    view.jd_log(L("\r\n没登陆，签到取消，你可以登陆后重试！"));
    return;
  }

  // The interval box is read anew before every wait.
  auto wait_interval = [&] { return waiter.wait(to_integer(view.interval_text()) * 1000); };
  bool expired = false;
  // Fetches with the PC login; an answer that shows an expired login stops
  // the run's requests.
  auto fetch = [&](TextView url, Text referer, Text& answer) {
    const JdAnswer got = account.fetch(url, true, {}, std::move(referer));
    if (!got.completed) return false;
    if (jd_login_expired(got)) {
      account.mark_expired(true);
      expired = true;
    }
    answer = got.text;
    return true;
  };
  const Text expired_status = L("登陆已失效");

  std::vector<Text> rejected;
  for (size_t i = 1; i <= lines.size() && !expired; ++i) {
    const Text& line = lines[i - 1];
    if (find_text(line, endpoints::kJdDomain) < 1 || !is_jd_link(line)) {
      // Shown in place of the empty line that follows every link.
      rejected.push_back(line + L("#不是正确的京东链接"));
      view.jd_log(rejected.back());
      continue;
    }
    view.jd_log(L("\r\n当前进度>>") + std::to_string(i));
    Text answer;
    if (find_text(line, "shopSign", 1, true) > 0) {
      if (!fetch(line, {}, answer)) return;
      Text status;
      if (expired)
        status = expired_status;
      else if (find_text(answer, "big-award\"") > 0)
        status = L("中啦") + text_between(answer, "#fd0;\r\n>", "</span>");
      else if (find_text(answer, "no-award") > 0)
        status = L("没中");
      else
        status = L("没中！！！");
      BeanRow row;
      row[kBeanLink] = line;
      row[kBeanAction] = L("签到");
      row[kBeanStatus] = status;
      view.insert_bean_row(0, row);
    } else {
      if (!fetch(line, {}, answer)) return;
      BeanRow row;
      row[kBeanLink] = line;
      row[kBeanShopId] = text_between(answer, "&shopId=", "&id=");
      row[kBeanVenderId] = text_between(answer, "vender_id\" value=\"", "\"");
      view.insert_bean_row(-1, row);
      const int r = view.bean_row_count() - 1;
      if (expired) {
        view.set_bean_cell(r, kBeanStatus, expired_status);
      } else if (row[kBeanShopId].empty() || row[kBeanVenderId].empty()) {
        view.set_bean_cell(r, kBeanStatus, "id or vid null");
      } else {
        const Text query = Text(endpoints::kJdShopGiftQuery) + row[kBeanVenderId] +
                           Text(endpoints::kJdShopGiftQueryEnd);
        if (!fetch(query, line, answer)) return;
        const Text text = replace_text(
            replace_text(replace_text(answer, "\"", "", 1, -1, true), " ", "", 1, -1, true), "}",
            ",", 1, -1, true);
        const Text token = text_between(text, "jshop_token:", ",");
        const Text activity = text_between(text, "activityId:", ",");
        view.set_bean_cell(r, kBeanToken, token);
        if (expired) {
          view.set_bean_cell(r, kBeanStatus, expired_status);
        } else if (!activity.empty()) {
          view.set_bean_cell(r, kBeanActivityId, activity);
          view.set_bean_cell(r, kBeanStatus, L(kWaiting));
        } else if (contains(text, "店铺未开通礼包")) {
          view.set_bean_cell(r, kBeanStatus, L("未开通礼包"));
        } else if (token.empty()) {
          view.set_bean_cell(r, kBeanStatus, "token aid null");
        } else if (contains(text, "礼包信息失败")) {
          view.set_bean_cell(r, kBeanStatus, L("无礼包"));
        } else {
          view.set_bean_cell(r, kBeanStatus, "aid null");
        }
      }
      if (!expired && !wait_interval()) return;
    }
    view.jd_log({});
  }

  // Second pass: claim every gift found, the interval before each.
  const Text& last_line = lines.back();
  for (int r = 0; r < view.bean_row_count() && !expired; ++r) {
    if (view.bean_cell(r, kBeanStatus) != L(kWaiting)) continue;
    if (!wait_interval()) return;
    const Text claim = Text(endpoints::kJdShopGiftClaim) + view.bean_cell(r, kBeanVenderId) +
                       "&jshop_token=" + view.bean_cell(r, kBeanToken) +
                       "&aId=" + view.bean_cell(r, kBeanActivityId) +
                       Text(endpoints::kJdShopGiftClaimEnd);
    Text answer;
    if (!fetch(claim, last_line, answer)) return;
    if (expired)
      view.set_bean_cell(r, kBeanStatus, expired_status);
    else
      view.set_bean_cell(r, kBeanStatus, contains(answer, "领取成功") ? Text("ok") : answer);
  }

  view.show_bean_list(true);
  view.set_jd_output(L("领豆完毕！！！\r\n领豆完毕！！！\r\n"));
  // The rejected links stay in view after the run.
  for (const Text& line : rejected) view.jd_log(line);
  if (expired) view.jd_log(L("电脑端登陆已失效，领豆停止，请重新登陆后重试！"));
}

Text bean_row_text(const BeanRow& row) {
  return join_text(std::vector<Text>(row.begin(), row.end()), "\r\n");
}

Text link_sources_page() {
  return L("<html><head><meta charset=\"utf-8\"></head>"
           "<body style=\"background-color:#FCFAF0\"><br><br><br>"
           "<p>最新的可以领京豆的链接，推荐去下面网站获取：</p>"
           "<p>一：<a h1ref=\"") +
         Text(endpoints::kForumBeanSearch) + L("\" target=\"_blank\">赚客吧搜索 京豆</a></p>") +
         "<!---->" + L("<p>二：在爱Q生活网找（<a href=\"") + Text(endpoints::kIqshwBeanArticle) +
         "\">" +
         Text(endpoints::kIqshwBeanArticle.substr(endpoints::kIqshwBeanArticle.find("://") + 3)) +
         L("</a>）</p></body></html>");
}

}  // namespace qnl
