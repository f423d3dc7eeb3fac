// The push channels against the fixture server playing each service: the
// request's method, path, content type and body fields as each service
// documents them, length limits, hostile titles, and per-channel failure.
#include "monitor/push_channels.h"

#include <gtest/gtest.h>

#include <map>

#include "net/endpoints.h"
#include "support/fixture_server.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::FixtureServer;

Text L(const char* utf8) {
  return utf8_to_local(utf8);
}

// The JSON string value of `"name":"..."` in a flat body, unescaped (enough
// for the bodies built here: \" \\ \n \r \t and \u00XX).
std::string json_string(const std::string& body, const std::string& name) {
  const std::string probe = "\"" + name + "\":\"";
  const size_t at = body.find(probe);
  if (at == std::string::npos) return "<missing>";
  std::string out;
  for (size_t i = at + probe.size(); i < body.size(); ++i) {
    const char c = body[i];
    if (c == '"') return out;
    if (c != '\\') {
      out += c;
      continue;
    }
    const char e = body[++i];
    switch (e) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u':
        out += static_cast<char>(std::stoi(body.substr(i + 1, 4), nullptr, 16));
        i += 4;
        break;
      default:
        out += e;
    }
  }
  return "<unterminated>";
}

size_t utf16_units(const std::string& s) {
  size_t n = 0;
  for (const unsigned char c : s) n += ((c & 0xC0) != 0x80) + (c >= 0xF0);
  return n;
}

std::vector<PushPost> sample_posts() {
  return {{L("京东 1 元券"), "http://www.zuanke8.com/thread-2-1-1.html", true},
          {L("招行 5 元立减"), "http://www.zuanke8.com/thread-1-1-1.html", false}};
}

ChannelSettings on(Text key, Text target = {}, Text server = {}) {
  return {true, std::move(key), std::move(target), std::move(server)};
}

class PushChannelsTest : public ::testing::Test {
 protected:
  PushChannelsTest() {
    server_.set_handler([this](const FixtureRequest& r) {
      const std::string path = r.path();
      const FixtureResponse* best = nullptr;
      size_t longest = 0;
      for (const auto& [prefix, answer] : answers_) {
        if (path.rfind(prefix, 0) == 0 && prefix.size() >= longest) {
          best = &answer;
          longest = prefix.size();
        }
      }
      return best ? *best : FixtureResponse::with_status(404);
    });
  }
  void answer(std::string prefix, int status, std::string body) {
    answers_[std::move(prefix)] =
        FixtureResponse::with_status(status, {"Content-Type: application/json"}, std::move(body));
  }

  FixtureServer server_{FixtureServer::Transport::kTls};
  std::map<std::string, FixtureResponse> answers_;
  test::ScopedNetOverrides overrides_{{
      server_.connect_to(endpoints::kPushPlusHost, 443),
      server_.connect_to(endpoints::kBarkHost, 443),
      server_.connect_to(endpoints::kTelegramHost, 443),
      server_.connect_to(endpoints::kNtfyHost, 443),
      server_.connect_to(endpoints::kWeComHost, 443),
      server_.connect_to(endpoints::kDingTalkHost, 443),
  }};
};

// Each service's documented request, sent to the service's own host.
TEST_F(PushChannelsTest, EachChannelSendsItsDocumentedRequest) {
  struct Case {
    PushChannel channel;
    ChannelSettings settings;
    const char* host;
    const char* target;  // path and query as sent
    const char* answer;
    std::vector<std::pair<const char*, const char*>> fields;  // JSON string fields
    std::vector<const char*> raw;                             // literal body pieces
  };
  const std::vector<Case> cases = {
      {PushChannel::pushplus,
       on("tok123"),
       "www.pushplus.plus",
       "/send",
       R"({"code":200,"msg":"请求成功","data":"abc"})",
       {{"token", "tok123"}, {"title", "Quenlo：有新线报（含特别关注）"}, {"template", "markdown"}},
       {}},
      {PushChannel::bark,
       on("devKEY"),
       "api.day.app",
       "/push",
       R"({"code":200,"message":"success"})",
       {{"device_key", "devKEY"},
        {"level", "timeSensitive"},
        {"group", "Quenlo"},
        {"url", "http://www.zuanke8.com/thread-2-1-1.html"}},
       {}},
      {PushChannel::telegram,
       on("123:ABC-def", "-100200"),
       "api.telegram.org",
       "/bot123:ABC-def/sendMessage",
       R"({"ok":true,"result":{"message_id":7}})",
       {{"chat_id", "-100200"}},
       {R"("link_preview_options":{"is_disabled":true})"}},
      {PushChannel::ntfy,
       on("quenlo_alerts"),
       "ntfy.sh",
       "/",
       R"({"id":"x1","event":"message"})",
       {{"topic", "quenlo_alerts"}, {"click", "http://www.zuanke8.com/thread-2-1-1.html"}},
       {R"("priority":4)"}},
      {PushChannel::wecom,
       on("https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=693a-91f6"),
       "qyapi.weixin.qq.com",
       "/cgi-bin/webhook/send?key=693a-91f6",
       R"({"errcode":0,"errmsg":"ok"})",
       {{"msgtype", "markdown"}},
       {}},
      {PushChannel::dingtalk,
       on("abc_TOKEN"),
       "oapi.dingtalk.com",
       "/robot/send?access_token=abc_TOKEN",
       R"({"errcode":0,"errmsg":"ok"})",
       {{"msgtype", "markdown"}, {"title", "Quenlo：有新线报（含特别关注）"}},
       {}},
      {PushChannel::webhook,
       on({}, {}, server_.base_url() + "in/q"),
       "localhost",
       "/in/q",
       "{}",
       {{"title", "Quenlo：有新线报（含特别关注）"}},
       {R"("special":true)",
        R"("url":"http://www.zuanke8.com/thread-1-1-1.html","special":false)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(channel_key(c.channel)));
    server_.clear_requests();
    answers_.clear();
    answer(std::string(c.target).substr(0, std::string(c.target).find('?')), 200, c.answer);
    const ChannelResult result = send_channel(c.channel, c.settings, sample_posts());
    EXPECT_TRUE(result.ok) << result.answer;
    EXPECT_EQ(result.status, 200);
    ASSERT_EQ(server_.request_count(), 1u);
    const FixtureRequest r = server_.last_request();
    EXPECT_EQ(r.method, "POST");
    EXPECT_TRUE(r.tls);
    EXPECT_EQ(r.target, c.target);
    EXPECT_EQ(r.header("Host").value_or("").substr(0, std::string(c.host).size()), c.host);
    EXPECT_EQ(r.header("Content-Type").value_or(""), "application/json; charset=utf-8");
    for (const auto& [name, value] : c.fields) EXPECT_EQ(json_string(r.body, name), value) << name;
    for (const char* piece : c.raw) EXPECT_NE(r.body.find(piece), std::string::npos) << piece;
    // Every channel carries the titles, newest first, in UTF-8.
    const size_t first = r.body.find("京东 1 元券");
    const size_t second = r.body.find("招行 5 元立减");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, second);
  }
}

// The same HTTP exchange can still be a refusal by the service's own rules.
TEST_F(PushChannelsTest, EachServiceJudgesItsAnswer) {
  struct Case {
    PushChannel channel;
    int status;
    const char* body;
    bool ok;
  };
  const std::vector<Case> cases = {
      {PushChannel::pushplus, 200, R"({"code":200,"msg":"ok"})", true},
      {PushChannel::pushplus, 200, R"({"code": 903,"msg":"无效的用户令牌"})", false},
      {PushChannel::bark, 200, R"({"code":200})", true},
      {PushChannel::bark, 400, R"({"code":400,"message":"failed to get device token"})", false},
      {PushChannel::telegram, 200, R"({"ok":true})", true},
      {PushChannel::telegram, 200, R"({"ok":false,"error_code":400})", false},
      {PushChannel::ntfy, 200, R"({"id":"a"})", true},
      {PushChannel::ntfy, 429, R"({"code":42901})", false},
      {PushChannel::wecom, 200, R"({"errcode":0,"errmsg":"ok"})", true},
      {PushChannel::wecom, 200, R"({"errcode":93000,"errmsg":"invalid webhook url"})", false},
      {PushChannel::dingtalk, 200, R"({"errcode":0})", true},
      {PushChannel::dingtalk, 200, R"({"errcode":310000,"errmsg":"keywords not in content"})",
       false},
      {PushChannel::webhook, 204, "", true},
      {PushChannel::webhook, 500, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(channel_key(c.channel)) + " " + c.body);
    answers_.clear();
    answer("/", c.status, c.body);
    const ChannelResult result =
        send_channel(c.channel, on("k", "chat", server_.base_url()), sample_posts());
    EXPECT_EQ(result.ok, c.ok);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.answer, c.body);
  }
}

TEST(PushRequestTest, UnusableSettingsSendNothing) {
  EXPECT_TRUE(channel_request(PushChannel::telegram, on("bad token/../x", "1"), sample_posts())
                  .url.empty());
  EXPECT_TRUE(
      channel_request(PushChannel::webhook, on({}, {}, "file:///etc/passwd"), sample_posts())
          .url.empty());
  EXPECT_TRUE(
      channel_request(PushChannel::bark, on("k", {}, "ftp://x/"), sample_posts()).url.empty());
  EXPECT_TRUE(channel_request(PushChannel::pushplus, on(""), sample_posts()).url.empty());
  const ChannelResult r = send_channel(PushChannel::pushplus, on(""), sample_posts());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.status, 0);
}

// A key cannot add query parameters or path pieces of its own.
TEST(PushRequestTest, KeysAreEncodedIntoAddresses) {
  EXPECT_EQ(channel_request(PushChannel::wecom, on("a&debug=1"), sample_posts()).url,
            "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=a%26debug%3D1");
  EXPECT_EQ(channel_request(PushChannel::dingtalk, on("t/../x"), sample_posts()).url,
            "https://oapi.dingtalk.com/robot/send?access_token=t%2F..%2Fx");
}

// Titles are other people's text: they cannot break the JSON, the Markdown
// layout, or call out a whole group.
TEST(PushRequestTest, HostileTitlesStayText) {
  const std::vector<PushPost> posts = {
      {"a\"b\\c\nd <@all> [x](http://evil/) *bold*", "http://www.zuanke8.com/t?a=(1)", false}};
  const std::string wecom = channel_request(PushChannel::wecom, on("k"), posts).body_bytes;
  const std::string content = json_string(wecom, "content");
  EXPECT_EQ(content.find("<@all>"), std::string::npos);
  EXPECT_NE(content.find("\\[x\\]\\(http://evil/\\)"), std::string::npos) << content;
  EXPECT_NE(content.find("](http://www.zuanke8.com/t?a=%281%29)"), std::string::npos) << content;
  EXPECT_NE(content.find("\\*bold\\*"), std::string::npos);
  const std::string telegram =
      channel_request(PushChannel::telegram, on("1:a", "9"), posts).body_bytes;
  EXPECT_NE(telegram.find(R"(a\"b\\c d <@all>)"), std::string::npos) << telegram;
  // Addresses that are not web addresses are not offered for clicking.
  const std::vector<PushPost> odd = {{"t", "javascript:alert(1)", false}};
  EXPECT_EQ(channel_request(PushChannel::ntfy, on("t"), odd).body_bytes.find("\"click\""),
            std::string::npos);
  EXPECT_EQ(json_string(channel_request(PushChannel::wecom, on("k"), odd).body_bytes, "content")
                .find("]("),
            std::string::npos);
}

// Long waves are cut at whole posts within each service's limit, with a
// closing line that says how many were left out.
TEST(PushRequestTest, MessagesKeepToEachServicesLimit) {
  std::vector<PushPost> many;
  for (int i = 0; i < 300; ++i)
    many.push_back({L("超长标题超长标题超长标题超长标题超长标题") + std::to_string(i),
                    "http://www.zuanke8.com/thread-" + std::to_string(i) + "-1-1.html", false});
  struct Case {
    PushChannel channel;
    const char* field;
    size_t limit;
    bool utf16;
  };
  for (const Case& c : std::vector<Case>{{PushChannel::telegram, "text", 4096, true},
                                         {PushChannel::wecom, "content", 4096, false},
                                         {PushChannel::ntfy, "message", 4096, false},
                                         {PushChannel::bark, "body", 4096, false},
                                         {PushChannel::dingtalk, "text", 4000, false}}) {
    SCOPED_TRACE(std::string(channel_key(c.channel)));
    const std::string body = channel_request(c.channel, on("1:k", "9"), many).body_bytes;
    const std::string text = json_string(body, c.field);
    EXPECT_LE(c.utf16 ? utf16_units(text) : text.size(), c.limit);
    EXPECT_GT(text.size(), c.limit / 2);  // filled, not emptied
    EXPECT_NE(text.find("超长标题超长标题超长标题超长标题超长标题0"), std::string::npos);
    const size_t more = text.rfind("…另有 ");
    ASSERT_NE(more, std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 3), "条");
  }
}

// Channels fail one by one: the failed one is named and keeps its posts for
// the next wave, the others go out.
TEST_F(PushChannelsTest, AFailedChannelIsNamedAndKeepsItsPosts) {
  answer("/cgi-bin/webhook/send", 200, R"({"errcode":93000,"errmsg":"invalid webhook url"})");
  answer("/", 200, R"({"id":"1"})");
  PushSettings settings;
  settings[PushChannel::wecom] = on("bad");
  settings[PushChannel::ntfy] = on("topic1");
  settings[PushChannel::pushplus] = {false, "off-token", {}, {}};
  WaveAlerts alerts;
  alerts.set_settings(settings);
  alerts.begin_wave();
  alerts.add_post({L("一"), "http://www.zuanke8.com/1", false});
  WaveAlerts::Outcome first = alerts.finish_wave(false, nullptr);
  EXPECT_EQ(first.failed, std::vector<PushChannel>{PushChannel::wecom});
  EXPECT_EQ(server_.request_count(), 2u);  // wecom and ntfy, not the switched-off one
  EXPECT_EQ(failed_channels_status(first.failed), L("推送失败：企业微信"));

  answer("/cgi-bin/webhook/send", 200, R"({"errcode":0})");
  server_.clear_requests();
  alerts.begin_wave();
  alerts.add_post({L("二"), "http://www.zuanke8.com/2", false});
  WaveAlerts::Outcome second = alerts.finish_wave(false, nullptr);
  EXPECT_TRUE(second.failed.empty());
  ASSERT_EQ(second.wave_posts.size(), 1u);
  for (const FixtureRequest& r : server_.requests()) {
    const bool wecom = r.path().rfind("/cgi-bin", 0) == 0;
    EXPECT_EQ(r.body.find("一") != std::string::npos, wecom) << r.body;  // only wecom resends
    EXPECT_NE(r.body.find("二"), std::string::npos);
  }
}

TEST_F(PushChannelsTest, OnlySpecialDropsWavesWithoutSpecialPosts) {
  answer("/", 200, R"({"id":"1"})");
  PushSettings settings;
  settings[PushChannel::ntfy] = on("topic1");
  WaveAlerts alerts;
  alerts.set_settings(settings);
  alerts.add_post({L("普通"), "http://www.zuanke8.com/1", false});
  alerts.finish_wave(true, nullptr);
  EXPECT_EQ(server_.request_count(), 0u);
  alerts.add_post({L("普通二"), "http://www.zuanke8.com/2", false});
  alerts.add_post({L("特别"), "http://www.zuanke8.com/3", true});
  alerts.finish_wave(true, nullptr);
  ASSERT_EQ(server_.request_count(), 1u);
  const std::string body = server_.last_request().body;
  EXPECT_EQ(body.find("普通\\n"), std::string::npos);  // the dropped wave stays dropped
  EXPECT_NE(body.find("普通二"), std::string::npos);
}

// A stop cancels the worker's connection: nothing is reported as failed and
// the posts wait for the next wave.
TEST_F(PushChannelsTest, StoppedWaveReportsNothingAndKeepsPosts) {
  answer("/", 200, R"({"id":"1"})");
  PushSettings settings;
  settings[PushChannel::ntfy] = on("topic1");
  WaveAlerts alerts;
  alerts.set_settings(settings);
  alerts.add_post({L("一"), "http://www.zuanke8.com/1", false});
  HttpConnection connection;
  connection.cancel();
  const WaveAlerts::Outcome stopped = alerts.finish_wave(false, &connection);
  EXPECT_TRUE(stopped.stopped);
  EXPECT_TRUE(stopped.failed.empty());
  EXPECT_EQ(server_.request_count(), 0u);
  alerts.finish_wave(false, nullptr);
  ASSERT_EQ(server_.request_count(), 1u);
  EXPECT_NE(server_.last_request().body.find("一"), std::string::npos);
}

}  // namespace
}  // namespace qnl
