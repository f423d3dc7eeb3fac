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

bool push_accepted(int status, TextView answer) {
  if (status < 200 || status > 299) return false;
  // Looks for the key "code" directly inside the outermost object, stepping
  // over strings and nested objects and arrays.
  int depth = 0;
  size_t at = 0;
  auto skip_spaces = [&] {
    while (at < answer.size() &&
           (answer[at] == ' ' || answer[at] == '\t' || answer[at] == '\r' || answer[at] == '\n'))
      ++at;
  };
  while (at < answer.size()) {
    const char c = answer[at];
    if (c == '"') {
      size_t end = at + 1;
      while (end < answer.size() && answer[end] != '"') end += answer[end] == '\\' ? 2 : 1;
      if (end >= answer.size()) return false;
      const TextView word = answer.substr(at + 1, end - at - 1);
      at = end + 1;
      if (depth != 1 || word != "code") continue;
      skip_spaces();
      if (at >= answer.size() || answer[at] != ':') continue;  // a value, not a key
      ++at;
      skip_spaces();
      if (at >= answer.size() || answer[at] != '0') return false;
      ++at;
      skip_spaces();
      return at < answer.size() && (answer[at] == ',' || answer[at] == '}');
    }
    if (c == '{' || c == '[') ++depth;
    if (c == '}' || c == ']') --depth;
    ++at;
  }
  return false;
}

PushResult post_push_message(TextView key, TextView body, HttpConnection* connection) {
  WebRequest request;
  request.url = Text(endpoints::kPushService) + Text(key) + ".send";
  request.method = kPost;
  request.body = Text(body);
  request.connection = connection;
  const std::string answer = web_request(request);
  if (connection != nullptr && connection->cancelled()) return PushResult::kCancelled;
  return push_accepted(request.status, answer) ? PushResult::kSent : PushResult::kFailed;
}

void send_push(MonitorState& state, const Configuration& config, MonitorView& view,
               HttpConnection* connection) {
  const Text key = trim_spaces(config.tx_wxkey);
  if (!config.tx_wx || key.empty() || state.push_text.empty()) return;
  const bool special = state.special_found || state.pending_special;
  state.pending_special = false;
  if (config.tx_onlygz && !special) {
    view.show_status(utf8_to_local("本次无特别关注的文章，跳过微信提醒"));
    state.push_text.clear();
    return;
  }
  const PushResult result =
      post_push_message(key, push_body(escape_push_text(state.push_text)), connection);
  if (result == PushResult::kSent) {
    view.show_status(utf8_to_local("已发出微信提醒指令"));
    state.push_text.clear();
    return;
  }
  // The lines go out with a later wave's push; the newest are kept whole.
  state.pending_special = special;
  if (state.push_text.size() > kMaxPendingPushBytes) {
    const size_t line =
        state.push_text.find("\r\n* %[", state.push_text.size() - kMaxPendingPushBytes);
    state.push_text.erase(0, line == Text::npos ? state.push_text.size() : line);
  }
  if (result == PushResult::kFailed)
    view.show_status(utf8_to_local("微信提醒发送失败，本轮线报将随下一波重发"));
}

}  // namespace qnl
