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

// Sends the wave's lines when the push channel is on and a key is set. With
// "only special posts" on and none found, drops the lines and says so.
void send_push(MonitorState& state, const Configuration& config, MonitorView& view,
               HttpConnection* connection = nullptr);

}  // namespace qnl
