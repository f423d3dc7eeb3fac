#include "reader/quick_reply.h"

#include "monitor/crawl_rules.h"
#include "net/endpoints.h"
#include "net/web_request.h"
#include "text/encoding.h"

namespace qnl {

std::optional<ReplyRequest> decode_reply_request(TextView url) {
  if (text_between(url, "_k1_", "_k2_") != "huitie") return std::nullopt;
  ReplyRequest request;
  request.reply_address = text_between(url, "_k2_", "_k3_");
  const Text forum_reply = Text(endpoints::kForumReply) + "&";
  if (request.reply_address.compare(0, forum_reply.size(), forum_reply) != 0) return std::nullopt;
  request.body = reply_body(text_between(url, "_k3_", "_k4_"));
  return request;
}

Text reply_body(TextView post_data) {
  const Text decoded = url_decode(post_data, true);
  const int64_t at = find_text(decoded, "message=", 1, false);
  if (at < 1) return decoded;
  const size_t head_length = static_cast<size_t>(at - 1) + 8;
  return decoded.substr(0, head_length) +
         url_encode(TextView(decoded).substr(head_length), true, false);
}

ReplyOutcome post_reply(const ReplyRequest& reply, RuleGrid& rules) {
  WebRequest request;
  request.url = reply.reply_address;
  request.method = kPost;
  request.body = reply.body;
  request.cookies = rules.rule(1).cookie;
  request.merge_cookies = false;
  ReplyOutcome outcome;
  outcome.answer = web_request(request);
  // Into the login as it is now: the monitor may have merged a fetch meanwhile.
  rules.merge_response_cookies(1, std::move(request.response_cookies));
  outcome.posted = find_text(outcome.answer, utf8_to_local("发布成功"), 1, false) > 0;
  return outcome;
}

}  // namespace qnl
