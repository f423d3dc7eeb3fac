// More push channels beside the WeChat push: each wave's new posts go to every
// channel the user switched on, each in the request form its service
// documents. Channels fail one by one: a failed channel is named, the others
// still go out.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/web_request.h"
#include "text/text.h"

namespace qnl {

enum class PushChannel { pushplus, bark, telegram, ntfy, wecom, dingtalk, webhook };
inline constexpr int kPushChannelCount = 7;
inline constexpr std::array<PushChannel, kPushChannelCount> kPushChannels = {
    PushChannel::pushplus, PushChannel::bark,     PushChannel::telegram, PushChannel::ntfy,
    PushChannel::wecom,    PushChannel::dingtalk, PushChannel::webhook};

// The name the status bar and the settings use (UTF-8 source text).
std::string_view channel_name_utf8(PushChannel channel);
// A stable key for stored settings ("pushplus", "bark", ...).
std::string_view channel_key(PushChannel channel);

// One channel's settings. What the fields hold depends on the channel:
//   pushplus  key = token
//   bark      key = device key, server = server address (empty: Bark's own)
//   telegram  key = bot token, target = chat id
//   ntfy      key = topic, server = server address (empty: ntfy.sh)
//   wecom     key = the robot's key (or its whole webhook address)
//   dingtalk  key = the robot's access_token (or its whole webhook address)
//   webhook   server = the address that receives the JSON
struct ChannelSettings {
  bool on = false;
  Text key;
  Text target;
  Text server;
};

struct PushSettings {
  std::array<ChannelSettings, kPushChannelCount> channels;
  ChannelSettings& operator[](PushChannel c) { return channels[static_cast<int>(c)]; }
  const ChannelSettings& operator[](PushChannel c) const { return channels[static_cast<int>(c)]; }
  // On and filled in enough to send.
  bool ready(PushChannel channel) const;
};

// A post as the channels announce it (CP936 texts).
struct PushPost {
  Text title;
  Text url;
  bool special = false;
};

// What a service answered.
struct ChannelResult {
  PushChannel channel = PushChannel::pushplus;
  bool ok = false;
  int status = 0;      // HTTP status; 0: no answer (or settings unusable)
  std::string answer;  // the response body (UTF-8 as sent), or why nothing was sent
};

// Builds the request one channel sends for these posts (newest first), or
// leaves `url` empty when the settings cannot make one. Texts longer than the
// service accepts are cut at whole posts, with a closing line that says how
// many were left out.
WebRequest channel_request(PushChannel channel, const ChannelSettings& settings,
                           const std::vector<PushPost>& posts);

// Sends one channel's request and judges the answer by the service's rules.
ChannelResult send_channel(PushChannel channel, const ChannelSettings& settings,
                           const std::vector<PushPost>& posts,
                           HttpConnection* connection = nullptr);

// The test message of the settings dialog.
std::vector<PushPost> test_posts();

// "推送失败：Bark、ntfy" (CP936) for the failed channels of a wave.
Text failed_channels_status(const std::vector<PushChannel>& failed);

// The monitor worker's side of the channels: posts gathered during a wave
// and sent at its end. Settings may be replaced from any thread.
class WaveAlerts {
 public:
  struct Outcome {
    std::vector<PushPost> wave_posts;  // this wave's new posts, newest first
    std::vector<PushChannel> failed;   // channels whose send failed
    bool stopped = false;              // the connection was cancelled meanwhile
  };

  void set_settings(PushSettings settings);
  std::shared_ptr<const PushSettings> settings() const;

  // Worker thread only.
  void begin_wave();
  void add_post(PushPost post);
  // The current wave's new posts so far, newest first.
  std::vector<PushPost> wave_posts() const;
  // Sends what each switched-on channel has gathered. With `only_special`,
  // posts go out only when one of them is special (else they are dropped,
  // as the WeChat push does). A channel that fails keeps its posts for the
  // next wave (at most kBacklog of them).
  Outcome finish_wave(bool only_special, HttpConnection* connection);

  static constexpr size_t kBacklog = 100;

 private:
  mutable std::mutex mutex_;  // settings_
  std::shared_ptr<const PushSettings> settings_ = std::make_shared<PushSettings>();
  std::vector<PushPost> wave_posts_;  // oldest first
  std::vector<PushPost> unsent_;      // since the last wave end, oldest first
  std::array<std::vector<PushPost>, kPushChannelCount> pending_;
};

// JSON string contents for UTF-8 text (quotes not included).
std::string json_escape(std::string_view utf8);

}  // namespace qnl
