#include "monitor/crawl_rules.h"

#include <string>

#include "net/cookie_text.h"
#include "storage/database.h"

namespace qnl {
namespace {

bool in_grid(int id, int field) {
  return id >= 1 && id <= RuleGrid::kSlots && field >= 1 && field <= RuleGrid::kFields;
}

}  // namespace

Text RuleGrid::rule_field(int id, int field) const {
  if (!in_grid(id, field)) return {};
  std::lock_guard lock(mutex_);
  return cells_[id - 1][field - 1];
}

CrawlRule RuleGrid::rule(int id) const {
  CrawlRule rule;
  rule.id = id;
  if (!in_grid(id, kLastid)) return rule;
  std::lock_guard lock(mutex_);
  const auto& cells = cells_[id - 1];
  auto field = [&](RuleField f) -> const Text& { return cells[f - 1]; };
  rule.name = field(kName);
  rule.url = field(kUrl);
  rule.cookie = field(kCookie);
  rule.reg = field(kReg);
  rule.before = field(kBefore);
  rule.after = field(kAfter);
  rule.tindex = static_cast<int>(to_integer(field(kTindex)));
  rule.idindex = static_cast<int>(to_integer(field(kIdindex)));
  rule.pinurl = field(kPinurl);
  rule.type = to_integer(field(kType));
  rule.lastid = to_integer(field(kLastid));
  rule.isgbk = field(kIsgbk) == "1";
  return rule;
}

void RuleGrid::set_rule_field(int id, int field, Text text) {
  if (!in_grid(id, field)) return;
  std::lock_guard lock(mutex_);
  cells_[id - 1][field - 1] = std::move(text);
}

void RuleGrid::merge_response_cookies(int id, Text set_cookies) {
  if (!in_grid(id, kCookie)) return;
  std::lock_guard lock(mutex_);
  merge_cookie_text(cells_[id - 1][kCookie - 1], set_cookies);
}

void RuleGrid::clear() {
  std::lock_guard lock(mutex_);
  for (auto& slot : cells_)
    for (auto& cell : slot) cell.clear();
}

std::vector<Plan> load_rules(Database& db, RuleGrid& grid) {
  const QueryResult result = db.load_rules();
  std::vector<Plan> plans;
  for (const auto& row : result.rows) {
    if (row.empty()) continue;
    const int64_t id = to_integer(row[0]);
    if (id < 1 || id > RuleGrid::kSlots) continue;
    for (size_t column = 1; column < row.size() && column <= kLastid; ++column)
      grid.set_rule_field(static_cast<int>(id), static_cast<int>(column), row[column]);
    plans.push_back(Plan{static_cast<int>(id), grid.rule_field(static_cast<int>(id), kName),
                         grid.rule_field(static_cast<int>(id), kIsdo) == "1"});
  }
  return plans;
}

void raise_lastid(Database& db, RuleGrid& grid, int id, int64_t lastid) {
  grid.set_rule_field(id, kLastid, std::to_string(lastid));
  db.store_rule_lastid(id, lastid);
}

}  // namespace qnl
