// Alerts: the push message sent at the end of a wave.
#pragma once

#include "monitor/monitor_view.h"
#include "text/text.h"

namespace qnl {

struct Configuration;
class HttpConnection;

// Appends one Markdown list item. "%" marks the brackets and parentheses of
// the layout so the escaping can tell them from those in titles and
// addresses.
void add_push_line(Text& push_text, TextView title, TextView post_url);

// Escapes brackets and parentheses of titles and addresses with a backslash,
// turns the marked layout ones back into plain Markdown, and encodes "&"
// and "?" for the form body.
Text escape_push_text(TextView push_text);

// The form body of a push message for escaped lines.
Text push_body(TextView escaped_lines);

// What became of one push message.
enum class PushResult {
  kSent,       // the service took it
  kFailed,     // no answer, or the service answered with an error
  kCancelled,  // the connection was cancelled (the monitor was paused)
};

// True when the push service's answer reports that it took the message: a
// 2xx status and a JSON object whose top-level "code" is 0.
bool push_accepted(int status, TextView answer);

// Posts one push message (the form body of push_body) for this key to the
// push service. Blocks for at most the request's time-out.
PushResult post_push_message(TextView key, TextView body, HttpConnection* connection);

// Pending push lines kept for a later wave are cut to at most this many bytes
// (the oldest lines go first), so that a long failure cannot build a message
// the service refuses for its size.
inline constexpr size_t kMaxPendingPushBytes = 24 * 1024;

// Sends the wave's lines when the push channel is on and a key is set (spaces
// around the key do not count). With "only special posts" on and none found,
// drops the lines and says so. Lines that did not go out stay for the next
// wave; only a push the service took is reported as sent.
void send_push(MonitorState& state, const Configuration& config, MonitorView& view,
               HttpConnection* connection = nullptr);

}  // namespace qnl
