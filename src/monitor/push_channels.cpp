#include "monitor/push_channels.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>

#include "net/endpoints.h"
#include "text/encoding.h"

namespace qnl {
namespace {

// Largest message text each service takes. Telegram counts UTF-16 code units
// ("1-4096 characters"); the others count UTF-8 bytes. Bark's whole
// notification must fit an Apple push (4 KB), so its body keeps room for the
// rest; PushPlus, DingTalk and the plain webhook name no limit that we rely
// on, so they get a modest one.
constexpr size_t kPushPlusLimit = 10000;
constexpr size_t kBarkLimit = 3000;
constexpr size_t kTelegramLimit = 4096;
constexpr size_t kNtfyLimit = 4096;
constexpr size_t kWeComLimit = 4096;
constexpr size_t kDingTalkLimit = 4000;
constexpr size_t kWebhookLimit = 8000;
constexpr size_t kWebhookPosts = 50;

using Measure = std::function<size_t(std::string_view)>;

size_t utf8_bytes(std::string_view s) {
  return s.size();
}

size_t utf16_units(std::string_view s) {
  size_t units = 0;
  for (const unsigned char c : s) {
    if ((c & 0xC0) != 0x80) ++units;  // a lead byte
    if (c >= 0xF0) ++units;           // outside the basic plane: a surrogate pair
  }
  return units;
}

// Drops whole UTF-8 characters from the end until `measure` fits `limit`.
std::string cut_to(std::string s, size_t limit, const Measure& measure) {
  while (!s.empty() && measure(s) > limit) {
    size_t end = s.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    s.erase(end);
  }
  return s;
}

std::string more_line(size_t left_out) {
  return "\xE2\x80\xA6\xE5\x8F\xA6\xE6\x9C\x89 " + std::to_string(left_out) +
         " \xE6\x9D\xA1";  // "…另有 N 条"
}

// `head` and then as many whole lines as fit, with a closing line naming how
// many did not.
std::string fit_lines(const std::string& head, const std::vector<std::string>& lines,
                      std::string_view sep, size_t limit, const Measure& measure) {
  std::string out = cut_to(head, limit, measure);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string next = out.empty() ? lines[i] : out + std::string(sep) + lines[i];
    const size_t after = lines.size() - i - 1;
    const std::string tail = after ? std::string(sep) + more_line(after) : std::string();
    if (measure(next + tail) <= limit) {
      out = next;
      continue;
    }
    const std::string closing = std::string(sep) + more_line(lines.size() - i);
    if (measure(out + closing) <= limit) out += closing;
    break;
  }
  return out;
}

bool is_web_address(std::string_view url) {
  auto starts = [&](std::string_view p) {
    return url.size() > p.size() && std::equal(p.begin(), p.end(), url.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == b;
           });
  };
  return starts("http://") || starts("https://");
}

std::string u8(TextView local) {
  return local_to_utf8(local);
}

// A title inside Markdown: its own brackets, emphasis marks and angle
// brackets cannot become layout (a "<@all>" in a title must not call out a
// whole group).
std::string markdown_title(std::string_view title) {
  std::string out;
  for (const char c : title) {
    switch (c) {
      case '[':
      case ']':
      case '(':
      case ')':
      case '*':
      case '_':
      case '`':
      case '\\':
      case '#':
        out += '\\';
        out += c;
        break;
      case '<':
        out += "\xEF\xBC\x9C";
        break;  // full-width "＜"
      case '>':
        out += "\xEF\xBC\x9E";
        break;  // full-width "＞"
      case '\r':
      case '\n':
        out += ' ';
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string markdown_url(std::string_view url) {
  std::string out;
  for (const char c : url) {
    switch (c) {
      case '(':
        out += "%28";
        break;
      case ')':
        out += "%29";
        break;
      case ' ':
        out += "%20";
        break;
      case '<':
        out += "%3C";
        break;
      case '>':
        out += "%3E";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string one_line(std::string_view s) {
  std::string out(s);
  std::replace(out.begin(), out.end(), '\r', ' ');
  std::replace(out.begin(), out.end(), '\n', ' ');
  return out;
}

const char kStar[] = "\xE2\x98\x85 ";  // "★ "

std::vector<std::string> markdown_lines(const std::vector<PushPost>& posts) {
  std::vector<std::string> lines;
  for (const PushPost& p : posts) {
    std::string line = "- ";
    if (p.special) line += kStar;
    const std::string url = u8(p.url);
    if (is_web_address(url))
      line += "[" + markdown_title(u8(p.title)) + "](" + markdown_url(url) + ")";
    else
      line += markdown_title(u8(p.title));
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> plain_lines(const std::vector<PushPost>& posts) {
  std::vector<std::string> lines;
  for (const PushPost& p : posts) {
    std::string line = p.special ? kStar : "";
    line += one_line(u8(p.title));
    if (!p.url.empty()) line += "\n" + one_line(u8(p.url));
    lines.push_back(std::move(line));
  }
  return lines;
}

bool any_special(const std::vector<PushPost>& posts) {
  return std::any_of(posts.begin(), posts.end(), [](const PushPost& p) { return p.special; });
}

std::string message_title(const std::vector<PushPost>& posts) {
  std::string title =
      "Quenlo\xEF\xBC\x9A\xE6\x9C\x89\xE6\x96\xB0\xE7\xBA\xBF\xE6\x8A\xA5";  // Quenlo：有新线报
  if (any_special(posts))
    title +=
        "\xEF\xBC\x88\xE5\x90\xAB\xE7\x89\xB9\xE5\x88\xAB\xE5\x85\xB3\xE6\xB3\xA8\xEF\xBC\x89";  // （含特别关注）
  return title;
}

// The newest post's address when it is a web address, for "open on click".
std::string newest_web_url(const std::vector<PushPost>& posts) {
  if (posts.empty()) return {};
  std::string url = u8(posts.front().url);
  return is_web_address(url) ? url : std::string();
}

std::string js(std::string_view utf8) {
  return "\"" + json_escape(utf8) + "\"";
}

// The value after `name=` in a pasted webhook address, or the text itself.
std::string key_from(std::string_view text, std::string_view name) {
  std::string s(trim_spaces(text));
  const std::string probe = std::string(name) + "=";
  const size_t at = s.find(probe);
  if (at != std::string::npos) {
    s = s.substr(at + probe.size());
    s = s.substr(0, s.find('&'));
  }
  return s;
}

// Percent-encodes all but the unreserved characters of RFC 3986.
std::string query_value(std::string_view s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (std::isalnum(b) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return out;
}

bool token_chars(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == ':' || c == '_' || c == '-';
  });
}

// A user-given server address with a trailing "/", or the default.
std::string server_base(TextView server, std::string_view fallback) {
  std::string s(trim_spaces(server));
  if (s.empty()) return std::string(fallback);
  if (!is_web_address(s)) return {};
  if (s.back() != '/') s += '/';
  return s;
}

void json_post(WebRequest& r, std::string url, std::string body) {
  r.url = std::move(url);
  r.method = kPost;
  r.body_bytes = std::move(body);
  r.add_default_headers = false;
  r.headers =
      "Content-Type: application/json; charset=utf-8\r\nAccept: application/json\r\n"
      "User-Agent: Quenlo";
}

// The integer after `"name":` in a JSON answer, if any.
bool json_int(std::string_view body, std::string_view name, long& value) {
  const std::string probe = "\"" + std::string(name) + "\"";
  size_t at = body.find(probe);
  if (at == std::string::npos) return false;
  at += probe.size();
  while (at < body.size() && (body[at] == ' ' || body[at] == ':' || body[at] == '\t')) ++at;
  size_t end = at;
  if (end < body.size() && body[end] == '-') ++end;
  while (end < body.size() && std::isdigit(static_cast<unsigned char>(body[end]))) ++end;
  if (end == at) return false;
  value = std::strtol(std::string(body.substr(at, end - at)).c_str(), nullptr, 10);
  return true;
}

bool json_true(std::string_view body, std::string_view name) {
  const std::string probe = "\"" + std::string(name) + "\"";
  size_t at = body.find(probe);
  if (at == std::string::npos) return false;
  at += probe.size();
  while (at < body.size() && (body[at] == ' ' || body[at] == ':' || body[at] == '\t')) ++at;
  return body.substr(at, 4) == "true";
}

}  // namespace

std::string_view channel_name_utf8(PushChannel channel) {
  switch (channel) {
    case PushChannel::pushplus:
      return "PushPlus";
    case PushChannel::bark:
      return "Bark";
    case PushChannel::telegram:
      return "Telegram";
    case PushChannel::ntfy:
      return "ntfy";
    case PushChannel::wecom:
      return "\xE4\xBC\x81\xE4\xB8\x9A\xE5\xBE\xAE\xE4\xBF\xA1";  // 企业微信
    case PushChannel::dingtalk:
      return "\xE9\x92\x89\xE9\x92\x89";  // 钉钉
    case PushChannel::webhook:
      return "Webhook";
  }
  return "";
}

std::string_view channel_key(PushChannel channel) {
  switch (channel) {
    case PushChannel::pushplus:
      return "pushplus";
    case PushChannel::bark:
      return "bark";
    case PushChannel::telegram:
      return "telegram";
    case PushChannel::ntfy:
      return "ntfy";
    case PushChannel::wecom:
      return "wecom";
    case PushChannel::dingtalk:
      return "dingtalk";
    case PushChannel::webhook:
      return "webhook";
  }
  return "";
}

bool PushSettings::ready(PushChannel channel) const {
  const ChannelSettings& s = (*this)[channel];
  if (!s.on) return false;
  switch (channel) {
    case PushChannel::telegram:
      return !trim_spaces(s.key).empty() && !trim_spaces(s.target).empty();
    case PushChannel::webhook:
      return !trim_spaces(s.server).empty();
    default:
      return !trim_spaces(s.key).empty();
  }
}

std::string json_escape(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 8);
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (b < 0x20) {
          static const char hex[] = "0123456789abcdef";
          out += "\\u00";
          out += hex[b >> 4];
          out += hex[b & 15];
        } else {
          out += c;
        }
    }
  }
  return out;
}

WebRequest channel_request(PushChannel channel, const ChannelSettings& s,
                           const std::vector<PushPost>& posts) {
  WebRequest r;
  const std::string title = message_title(posts);
  const std::string key = u8(trim_spaces(s.key));
  const std::string newest = newest_web_url(posts);
  switch (channel) {
    case PushChannel::pushplus: {
      if (key.empty()) break;
      const std::string content =
          fit_lines({}, markdown_lines(posts), "\n", kPushPlusLimit, utf8_bytes);
      json_post(r, std::string(endpoints::kPushPlusSend),
                "{\"token\":" + js(key) + ",\"title\":" + js(title) +
                    ",\"content\":" + js(content) + ",\"template\":\"markdown\"}");
      break;
    }
    case PushChannel::bark: {
      const std::string base = server_base(s.server, endpoints::kBarkServer);
      if (key.empty() || base.empty()) break;
      const std::string body = fit_lines({}, plain_lines(posts), "\n", kBarkLimit, utf8_bytes);
      std::string json =
          "{\"device_key\":" + js(key) + ",\"title\":" + js(title) + ",\"body\":" + js(body) +
          ",\"group\":\"Quenlo\",\"level\":" + js(any_special(posts) ? "timeSensitive" : "active");
      if (!newest.empty()) json += ",\"url\":" + js(newest);
      json_post(r, base + "push", json + "}");
      break;
    }
    case PushChannel::telegram: {
      const std::string chat = u8(trim_spaces(s.target));
      if (!token_chars(key) || chat.empty()) break;
      const std::string text =
          fit_lines(title, plain_lines(posts), "\n\n", kTelegramLimit, utf16_units);
      json_post(r, std::string(endpoints::kTelegramApi) + "bot" + key + "/sendMessage",
                "{\"chat_id\":" + js(chat) + ",\"text\":" + js(text) +
                    ",\"link_preview_options\":{\"is_disabled\":true}}");
      break;
    }
    case PushChannel::ntfy: {
      const std::string base = server_base(s.server, endpoints::kNtfyServer);
      if (key.empty() || base.empty()) break;
      const std::string message = fit_lines({}, plain_lines(posts), "\n", kNtfyLimit, utf8_bytes);
      std::string json =
          "{\"topic\":" + js(key) + ",\"title\":" + js(title) + ",\"message\":" + js(message) +
          ",\"priority\":" + (any_special(posts) ? "4" : "3") + ",\"tags\":[\"loudspeaker\"]";
      if (!newest.empty()) json += ",\"click\":" + js(newest);
      json_post(r, base, json + "}");
      break;
    }
    case PushChannel::wecom: {
      const std::string robot = key_from(key, "key");
      if (robot.empty()) break;
      const std::string content =
          fit_lines("**" + title + "**", markdown_lines(posts), "\n", kWeComLimit, utf8_bytes);
      json_post(r, std::string(endpoints::kWeComRobot) + query_value(robot),
                "{\"msgtype\":\"markdown\",\"markdown\":{\"content\":" + js(content) + "}}");
      break;
    }
    case PushChannel::dingtalk: {
      const std::string token = key_from(key, "access_token");
      if (token.empty()) break;
      const std::string text =
          fit_lines("#### " + title, markdown_lines(posts), "\n", kDingTalkLimit, utf8_bytes);
      json_post(r, std::string(endpoints::kDingTalkRobot) + query_value(token),
                "{\"msgtype\":\"markdown\",\"markdown\":{\"title\":" + js(title) +
                    ",\"text\":" + js(text) + "}}");
      break;
    }
    case PushChannel::webhook: {
      const std::string url = u8(trim_spaces(s.server));
      if (!is_web_address(url)) break;
      const std::string text =
          fit_lines(title, plain_lines(posts), "\n", kWebhookLimit, utf8_bytes);
      std::string list;
      for (size_t i = 0; i < posts.size() && i < kWebhookPosts; ++i) {
        if (i) list += ",";
        list += "{\"title\":" + js(u8(posts[i].title)) + ",\"url\":" + js(u8(posts[i].url)) +
                ",\"special\":" + (posts[i].special ? "true" : "false") + "}";
      }
      json_post(r, url,
                "{\"title\":" + js(title) + ",\"text\":" + js(text) + ",\"posts\":[" + list + "]}");
      break;
    }
  }
  return r;
}

ChannelResult send_channel(PushChannel channel, const ChannelSettings& settings,
                           const std::vector<PushPost>& posts, HttpConnection* connection) {
  ChannelResult result;
  result.channel = channel;
  WebRequest request = channel_request(channel, settings, posts);
  if (request.url.empty()) {
    result.answer = "\xE8\xAE\xBE\xE7\xBD\xAE\xE4\xB8\x8D\xE5\xAE\x8C\xE6\x95\xB4";  // 设置不完整
    return result;
  }
  request.connection = connection;
  result.answer = web_request(request);
  result.status = request.status;
  const std::string_view body = result.answer;
  long code = -1;
  const bool http_ok = request.status >= 200 && request.status < 300;
  switch (channel) {
    case PushChannel::pushplus:
    case PushChannel::bark:
      result.ok = http_ok && json_int(body, "code", code) && code == 200;
      break;
    case PushChannel::telegram:
      result.ok = http_ok && json_true(body, "ok");
      break;
    case PushChannel::wecom:
    case PushChannel::dingtalk:
      result.ok = http_ok && json_int(body, "errcode", code) && code == 0;
      break;
    case PushChannel::ntfy:
    case PushChannel::webhook:
      result.ok = http_ok;
      break;
  }
  return result;
}

std::vector<PushPost> test_posts() {
  return {{utf8_to_local("Quenlo \xE6\xB5\x8B\xE8\xAF\x95\xE6\xB6\x88\xE6\x81\xAF"),  // 测试消息
           Text(endpoints::kForum), false}};
}

Text failed_channels_status(const std::vector<PushChannel>& failed) {
  std::string text = "\xE6\x8E\xA8\xE9\x80\x81\xE5\xA4\xB1\xE8\xB4\xA5\xEF\xBC\x9A";  // 推送失败：
  for (size_t i = 0; i < failed.size(); ++i) {
    if (i) text += "\xE3\x80\x81";  // 、
    text += channel_name_utf8(failed[i]);
  }
  return utf8_to_local(text);
}

void WaveAlerts::set_settings(PushSettings settings) {
  auto next = std::make_shared<const PushSettings>(std::move(settings));
  std::lock_guard lock(mutex_);
  settings_ = std::move(next);
}

std::shared_ptr<const PushSettings> WaveAlerts::settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

void WaveAlerts::begin_wave() {
  wave_posts_.clear();
}

void WaveAlerts::add_post(PushPost post) {
  wave_posts_.push_back(post);
  unsent_.push_back(std::move(post));
}

std::vector<PushPost> WaveAlerts::wave_posts() const {
  return {wave_posts_.rbegin(), wave_posts_.rend()};
}

WaveAlerts::Outcome WaveAlerts::finish_wave(bool only_special, HttpConnection* connection) {
  Outcome outcome;
  outcome.wave_posts = wave_posts();
  const auto settings = this->settings();
  for (const PushChannel channel : kPushChannels) {
    auto& pending = pending_[static_cast<int>(channel)];
    if (!settings->ready(channel)) {
      pending.clear();  // a channel switched off gathers nothing
      continue;
    }
    pending.insert(pending.end(), unsent_.begin(), unsent_.end());
    if (pending.size() > kBacklog) pending.erase(pending.begin(), pending.end() - kBacklog);
  }
  unsent_.clear();
  for (const PushChannel channel : kPushChannels) {
    auto& pending = pending_[static_cast<int>(channel)];
    if (pending.empty()) continue;
    if (only_special && !any_special(pending)) {
      pending.clear();
      continue;
    }
    if (connection && connection->cancelled()) {
      outcome.stopped = true;
      continue;  // kept for the next wave
    }
    const std::vector<PushPost> newest_first(pending.rbegin(), pending.rend());
    const ChannelResult result =
        send_channel(channel, (*settings)[channel], newest_first, connection);
    if (result.ok) {
      pending.clear();
    } else if (connection && connection->cancelled()) {
      outcome.stopped = true;
    } else {
      outcome.failed.push_back(channel);
    }
  }
  return outcome;
}

}  // namespace qnl
