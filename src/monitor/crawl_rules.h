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

// The rule grid. The monitor worker, the reader thread and the UI thread
// share it: every field is read and written whole under one lock.
class RuleGrid {
 public:
  static constexpr int kSlots = 18;
  static constexpr int kFields = 23;

  // Text of a field; empty for an id or field outside the grid.
  Text rule_field(int id, int field) const;
  // Writes a whole field; ignored outside the grid.
  void set_rule_field(int id, int field, Text text);
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

}  // namespace qnl
