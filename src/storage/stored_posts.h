// Which post ids already stand in a stored found post's address.
//
// The first wave after start-up asks this for every post it finds; with a
// year of found posts a scan of the table per question takes a good part of
// a second. The index reads the addresses once, on first use (on the worker,
// not at start-up), and keeps, for every three-digit group inside a run of
// digits, the addresses holding it. An all-digit id of three or more digits
// is then checked against the few addresses that hold its rarest group; any
// other id is checked against every address in memory. Answers are those of
// `Database::is_post_stored`: the id anywhere in the address, both folded by
// `to_lower`. Nothing is written to the database file.
//
// When the addresses cannot be read (another program holds the file past the
// busy time-out, a read error) the index stays unloaded: the question is put
// to the table instead, and the load is tried again a little later.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "text/text.h"

namespace qnl {

class Database;

class StoredPostIndex {
 public:
  // How long after a failed load the table answers before loading again.
  static constexpr std::chrono::seconds kRetryLoadAfter{30};

  explicit StoredPostIndex(Database& db) : db_(db) {}

  bool contains(TextView post_id);
  // An address just stored, so later questions see it.
  void add(TextView url);

  // Addresses held (after the first question).
  size_t size() const;
  // Frees the memory; a later question reads the table again.
  void release();

 private:
  // False, and nothing held, when the addresses could not be read.
  bool load_locked();
  void add_locked(TextView url);
  bool scan_all_locked(TextView lowered_id) const;

  Database& db_;
  mutable std::mutex mutex_;
  bool loaded_ = false;
  std::chrono::steady_clock::time_point next_load_{};
  std::string arena_;                            // every address, lower-cased, back to back
  std::vector<uint32_t> starts_;                 // start of address i in arena_, plus an end mark
  std::vector<std::vector<uint32_t>> postings_;  // group 000-999 -> addresses holding it
};

}  // namespace qnl
