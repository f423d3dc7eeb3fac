// The configuration record: the user's settings and the two stored JD logins,
// loaded from the single row of the con table.
//
// The user-interface thread replaces the record while the monitor worker
// reads it, so the record is immutable once published: readers hold a
// snapshot (`current()`), writers publish a modified copy.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "storage/database.h"
#include "text/text.h"

namespace qnl {

struct Configuration {
  std::vector<Text> keywords;  // watch words
  int32_t pl_shop = 0;
  int32_t pl_kuai = 0;  // seconds between two monitoring waves
  int32_t pl_man = 0;
  bool tx_tc = false;      // pop-up reminder
  bool tx_sy = false;      // sound (stored and shown only)
  bool tx_wx = false;      // push message
  bool tx_onlygz = false;  // push only waves that found a special post
  Text tx_wxkey;           // push service key
  Text jd_coo_pc;          // JD web-site login cookies
  Text jd_coo_wap;         // JD mobile-site login cookies
};

class ConfigStore {
 public:
  ConfigStore();

  // The record as it is now; stays valid and unchanged however the store
  // changes later.
  std::shared_ptr<const Configuration> current() const;
  void replace(Configuration next);
  void set_push_key(TextView key);
  void set_jd_cookie(bool pc, TextView cookie_text);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const Configuration> current_;
};

// What the settings window holds when the user saves: the texts of its boxes
// as they stand and the states of its check boxes, plus the push key in
// memory.
struct SettingsForm {
  Text keywords_text;  // lines joined by CR LF
  Text pl_shop_text;
  Text pl_kuai_text;
  Text pl_man_text;
  bool tx_tc = false;
  bool tx_sy = false;
  bool tx_wx = false;
  bool tx_onlygz = false;
  Text tx_wxkey;
};

enum class ConfigLoad {
  loaded,        // the store holds the first row of con (unchanged when con has no row)
  incompatible,  // con lacks a column: the database is of an older version
  unreadable     // the file is busy or could not be read; the store is unchanged and
                 // `Database::problem_text()` says why
};

// Converts the column texts of one con row into a record.
Configuration configuration_from_row(const std::vector<Text>& row);

ConfigLoad load_configuration(Database& db, ConfigStore& store);

// Writes the form into con; true when it was stored. The caller reloads the
// record afterwards, so the fields take the stored values in converted form.
bool save_settings(Database& db, const SettingsForm& form);

}  // namespace qnl
