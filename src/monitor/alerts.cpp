#include "monitor/alerts.h"

#include "net/endpoints.h"
#include "net/web_request.h"
#include "storage/configuration.h"
#include "text/encoding.h"

namespace qnl {

void add_push_line(Text& push_text, TextView title, TextView post_url) {
  push_text += "\r\n* %[";
  push_text += title;
  push_text += "%]%(";
  push_text += post_url;
  push_text += "%)";
}

Text escape_push_text(TextView push_text) {
  Text text(push_text);
  for (const char* bracket : {"[", "]", "(", ")"})
    text = replace_text(text, bracket, Text("\\") + bracket, 1, -1, true);
  text = replace_text(text, "%\\", "", 1, -1, true);
  text = replace_text(text, "&", "%26", 1, -1, true);
  return replace_text(text, "?", "%3F", 1, -1, true);
}

Text push_body(TextView escaped_lines) {
  static const Text head = utf8_to_local("text=Quenlo：有新线报&desp=");
  return head + Text(escaped_lines);
}

void send_push(MonitorState& state, const Configuration& config, MonitorView& view,
               HttpConnection* connection) {
  if (!config.tx_wx || config.tx_wxkey.empty() || state.push_text.empty()) return;
  if (config.tx_onlygz && !state.special_found) {
    view.show_status(utf8_to_local("本次无特别关注的文章，跳过微信提醒"));
    state.push_text.clear();
    return;
  }
  WebRequest request;
  request.url = Text(endpoints::kPushService) + config.tx_wxkey + ".send";
  request.method = kPost;
  request.body = push_body(escape_push_text(state.push_text));
  request.connection = connection;
  web_request(request);  // the answer is not read: a failed push is not detected
  view.show_status(utf8_to_local("已发出微信提醒指令"));
  state.push_text.clear();
}

}  // namespace qnl
