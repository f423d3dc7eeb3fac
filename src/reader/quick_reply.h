// The quick reply: the reader page's reply bar hands a reply over as a
// window request named "tosoft" whose address carries
// "_k1_huitie_k2_" + reply address + "_k3_" + post data + "_k4_"; it is
// posted to the forum with the forum login.
#pragma once

#include <optional>

#include "text/text.h"

namespace qnl {

class RuleGrid;

struct ReplyRequest {
  Text reply_address;
  Text body;  // the form body to post
};

// Decodes a "tosoft" request address. None when its action is not
// "huitie", or when the reply address is not the forum's reply address (the
// forum login is never sent anywhere else).
std::optional<ReplyRequest> decode_reply_request(TextView url);

// The form body for the page script's post data (UTF-8 percent form): the
// decoded data up to and including the first "message=" as it is, then the
// reply text as CP936 bytes in percent form (capital hex digits; only "-",
// ".", digits and ASCII letters stay as they are).
Text reply_body(TextView post_data);

struct ReplyOutcome {
  bool posted = false;  // the forum answered "发布成功"
  Text answer;          // the forum's answer as CP936 text
};

// Posts the reply with rule 1's cookie text, merging the answer's cookies
// into that field as it is after the answer (a synchronous exchange,
// 15-second time-out).
ReplyOutcome post_reply(const ReplyRequest& request, RuleGrid& rules);

}  // namespace qnl
