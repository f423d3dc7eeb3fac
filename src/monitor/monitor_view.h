// What the monitor needs of the screen. The application implements it and
// carries every call from the worker thread to the UI thread; tests record.
#pragma once

#include <vector>

#include "text/text.h"

namespace qnl {

struct Configuration;
class HttpConnection;

// A found post as the article list shows it.
struct ArticleRow {
  int rule_id = 0;
  Text url;
  Text site;
  Text title;
  Text time;
  bool special = false;  // the title holds a watch word: shown with the mark
};

class MonitorView {
 public:
  virtual ~MonitorView() = default;
  // Status bar: " " + text and the short time stamp.
  virtual void show_status(const Text& text) = 0;
  // A row at the top of the article list.
  virtual void add_article_row(const ArticleRow& row) = 0;
  // A row at the top of the reminder list; shows the reminder window (and so
  // starts its count-down) when it is hidden.
  virtual void add_reminder_row(const Text& title, const Text& url, const Text& time) = 0;
  // Empties the reminder list without showing or hiding the window.
  virtual void clear_reminders() = 0;
  // A new post that alerts: listed above, and not one that the first wave
  // finds already stored.
  virtual void alert_post(const ArticleRow& /*row*/) {}
  // The wave ran to its end, after the WeChat push: desktop notifications
  // and the other push channels go out here. `connection` is the worker's and
  // is cancelled when the monitor stops.
  virtual void wave_finished(const Configuration& /*config*/, HttpConnection* /*connection*/) {}
};

// The monitor's run-time record. Written by the worker only; one worker at a
// time, and the record outlives pauses.
struct MonitorState {
  std::vector<int> crawl_list;  // rule ids of each wave, in plan order
  bool first_wave = true;       // until the first wave that runs to its end
  bool special_found = false;   // the current wave found a special post
  Text seen_ids;                // "," + id of every new post of rules whose type is not 8
  Text push_text;               // lines for the next push message
  // push_text was kept from a push that did not go out and holds a special post
  bool pending_special = false;
};

}  // namespace qnl
