#include "reader/forum_account.h"

#include "monitor/crawl_rules.h"
#include "net/endpoints.h"
#include "net/web_request.h"
#include "storage/database.h"
#include "text/encoding.h"

namespace qnl {

bool save_forum_login(Text& cookie, Database& db, RuleGrid& rules) {
  WebRequest request;
  request.url = Text(endpoints::kForumUserGroup);
  request.cookies = cookie;
  const Text answer = web_request(request);
  cookie = request.cookies.value_or(cookie);
  // Only a logged-in user's page tells the way to the next level.
  if (find_text(answer, utf8_to_local("距离下一级")) < 1) return false;
  // A failed statement is not reported: the login still holds for this run.
  db.store_forum_cookie(cookie);
  rules.set_rule_field(1, kCookie, cookie);
  return true;
}

}  // namespace qnl
