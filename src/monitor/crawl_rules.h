// Crawl rules: how to list the newest posts of one board. Loaded once from
// the rule table into an in-memory grid of 18 slots (rule ids 1 to 18).
#pragma once

#include <array>
#include <mutex>
#include <vector>

#include "text/text.h"

namespace qnl {

class Database;

// Field numbers of a rule in the grid (the columns after id, in load order).
enum RuleField : int {
  kIsdo = 1,
  kRank = 2,
  kIsgbk = 3,
  kType = 4,
  kName = 5,
  kUrl = 6,
  kCookie = 7,
  kReg = 8,
  kBefore = 9,
  kAfter = 10,
  kTindex = 11,
  kIdindex = 12,
  kPinurl = 13,
  kLastid = 14,
};

// One rule as the crawl and the reader use it, taken from the grid in one
// step: every field belongs to the same moment. Numbers are converted with
// to_integer (text that is not a number gives 0).
struct CrawlRule {
  int id = 0;
  Text name;
  Text url;
  Text cookie;
  Text reg;         // expression that matches one post of the listing
  Text before;      // start marker of the listing; empty: the whole page
  Text after;       // end marker
  int tindex = 0;   // capture group of the title
  int idindex = 0;  // capture group of the post id
  Text pinurl;      // address template: "[" + idindex + "]" stands for the id
  int64_t type = 0;
  int64_t lastid = 0;
  bool isgbk = false;  // the field is exactly "1": the page comes in CP936
};

// The rule grid. The monitor worker, the reader thread and the UI thread
// share it: every field is read and written whole under one lock.
class RuleGrid {
 public:
  static constexpr int kSlots = 18;
  static constexpr int kFields = 23;

  // Text of a field; empty for an id or field outside the grid.
  Text rule_field(int id, int field) const;
  // The whole rule under one lock; a slot outside the grid or never loaded
  // gives empty texts and zeros (with `id` set).
  CrawlRule rule(int id) const;
  // Writes a whole field; ignored outside the grid.
  void set_rule_field(int id, int field, Text text);
  // Folds the cookies one response set (a cookie text) into the rule's cookie
  // field as it is now, not as it was when the request went out: a login
  // saved or merged while the request ran is kept. Ignored outside the grid.
  void merge_response_cookies(int id, Text set_cookies);
  void clear();

 private:
  mutable std::mutex mutex_;
  std::array<std::array<Text, kFields>, kSlots> cells_;  // strings start empty
};

// One item of the plan tree.
struct Plan {
  int id = 0;
  Text name;
  bool ticked = false;  // isdo is exactly "1"
};

// Loads the rules that are not hidden, highest rank first, into the grid and
// returns the plans in load order. Rows with an id outside 1-18 are skipped;
// of two rows with one id both are listed and the later one's fields stay in
// the grid. A failed query gives no plans.
std::vector<Plan> load_rules(Database& db, RuleGrid& grid);

// Raises the last id of a rule whose post ids increase, in the grid and in its
// rule row, so that the next start goes on from there instead of alerting the
// same posts again. A failed statement is not reported: the grid still holds
// the new value for this run.
void raise_lastid(Database& db, RuleGrid& grid, int id, int64_t lastid);

}  // namespace qnl
