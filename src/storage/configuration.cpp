#include "storage/configuration.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace qnl {
namespace {

constexpr size_t kConColumns = 11;

int32_t to_int32(TextView text) {
  const int64_t value = to_integer(text);
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

bool is_on(TextView flag) {
  return flag == "1";
}

TextView flag_text(bool on) {
  return on ? "1" : "0";
}

}  // namespace

ConfigStore::ConfigStore() : current_(std::make_shared<const Configuration>()) {}

std::shared_ptr<const Configuration> ConfigStore::current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

void ConfigStore::replace(Configuration next) {
  auto published = std::make_shared<const Configuration>(std::move(next));
  std::lock_guard lock(mutex_);
  current_ = std::move(published);
}

// Setters copy, modify and publish under the lock, so two setters never lose
// each other's change.
void ConfigStore::set_push_key(TextView key) {
  std::lock_guard lock(mutex_);
  auto next = std::make_shared<Configuration>(*current_);
  next->tx_wxkey = Text(key);
  current_ = std::move(next);
}

void ConfigStore::set_jd_cookie(bool pc, TextView cookie_text) {
  std::lock_guard lock(mutex_);
  auto next = std::make_shared<Configuration>(*current_);
  (pc ? next->jd_coo_pc : next->jd_coo_wap) = Text(cookie_text);
  current_ = std::move(next);
}

Configuration configuration_from_row(const std::vector<Text>& row) {
  Configuration config;
  auto column = [&row](size_t index) -> TextView {
    return index < row.size() ? TextView(row[index]) : TextView();
  };
  config.keywords = split_text(column(0), "\r\n");
  config.pl_shop = to_int32(column(1));
  config.pl_kuai = to_int32(column(2));
  config.pl_man = to_int32(column(3));
  config.tx_tc = is_on(column(4));
  config.tx_sy = is_on(column(5));
  config.tx_wx = is_on(column(6));
  config.tx_onlygz = is_on(column(7));
  config.tx_wxkey = Text(column(8));
  config.jd_coo_pc = Text(column(9));
  config.jd_coo_wap = Text(column(10));
  return config;
}

ConfigLoad load_configuration(Database& db, ConfigStore& store) {
  const QueryResult result = db.select_configuration();
  // A busy or unreadable file says nothing about the table's columns.
  if (result.error == DbError::busy || result.error == DbError::io_error ||
      result.error == DbError::read_only)
    return ConfigLoad::unreadable;
  if (result.db_column_count() < static_cast<int>(kConColumns)) return ConfigLoad::incompatible;
  if (!result.db_rows().empty()) store.replace(configuration_from_row(result.db_rows().front()));
  return ConfigLoad::loaded;
}

bool save_settings(Database& db, const SettingsForm& form) {
  return db.save_settings_statement(form.keywords_text, form.pl_shop_text, form.pl_kuai_text,
                                    form.pl_man_text, flag_text(form.tx_tc), flag_text(form.tx_sy),
                                    flag_text(form.tx_wx), flag_text(form.tx_onlygz),
                                    form.tx_wxkey);
}

}  // namespace qnl
