// The one connection to the program's SQLite database file, and every
// statement the program issues.
//
// Text values are CP936 bytes; they are bound to the statements as they are
// and read back byte for byte, so no value can change a statement. Every
// statement, and every query together with the reading of its rows, runs under
// one mutex: the user-interface thread and the monitor worker share the
// connection. Every use of the connection waits up to the busy time-out for a
// file another process holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "text/text.h"

struct sqlite3;

namespace qnl {

using TextTable = std::vector<std::vector<Text>>;

// A value bound to a "?" of a statement: text (bound as text, exact bytes) or
// a whole number.
using SqlValue = std::variant<Text, int64_t>;
using SqlParams = std::vector<SqlValue>;

// Why the file or a statement could not be used.
enum class DbError {
  none,
  missing,       // no file at the path
  not_database,  // not an SQLite database (an empty file included)
  busy,          // another connection holds the file past the busy time-out
  read_only,     // the file cannot be written
  io_error,      // reading or writing the file failed (disk full included)
  failed,        // anything else: a malformed statement, a missing table or column
};

// The complete result of one query, read while the connection was locked.
struct QueryResult {
  TextTable rows;        // each value as text; NULL reads as empty text
  int column_count = 0;  // 0 when the statement failed
  DbError error = DbError::none;

  const TextTable& db_rows() const { return rows; }
  int db_column_count() const { return column_count; }
  int64_t row_count() const { return static_cast<int64_t>(rows.size()); }
};

class Database {
 public:
  static constexpr int kDefaultBusyTimeoutMs = 3000;

  explicit Database(int busy_timeout_ms = kDefaultBusyTimeoutMs)
      : busy_timeout_ms_(busy_timeout_ms) {}
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens an existing database file for reading and writing; never creates
  // one. A file that is not a readable SQLite database (an empty file
  // included), a file that cannot be written, and a file another connection
  // holds past the busy time-out are refused; `last_error()` tells which.
  // Closes a connection that was open before.
  bool db_open(const std::filesystem::path& path);
  bool is_open() const;
  void db_close();

  // Runs one statement that returns no rows; true when it ran without error.
  // Text holding more than one statement is refused.
  bool db_execute(TextView statement, const SqlParams& params = {});
  // Runs one query and reads all its rows; a failing statement gives an empty
  // result with column count 0.
  QueryResult db_query(TextView statement, const SqlParams& params = {});

  // Why the latest open or statement failed; `none` after a success.
  DbError last_error() const;
  // For a busy, read-only or I/O failure: a message (CP936) naming the file
  // and what is wrong with it. Empty for every other outcome.
  Text problem_text() const;

  // ---- The program's statements ----

  // Crawl rules that are not hidden, highest rank first: id, isdo, rank,
  // isgbk, type, name, url, cookie, reg, before, after, tindex, idindex,
  // pinurl, lastid.
  QueryResult load_rules();
  // The eleven columns of the configuration record, in the order keywd,
  // pl_shop, pl_kuai, pl_man, tx_tc, tx_sy, tx_wx, tx_onlygz, tx_wxkey,
  // jd_coo_pc, jd_coo_wap.
  QueryResult select_configuration();
  // Writes the settings into every row of con. True only when at least one
  // row took the values (a con without rows stores nothing).
  bool save_settings_statement(TextView keywd, TextView pl_shop, TextView pl_kuai, TextView pl_man,
                               TextView tx_tc, TextView tx_sy, TextView tx_wx, TextView tx_onlygz,
                               TextView tx_wxkey);
  // Stores a JD login (web site when `pc`, else mobile site) in every row of
  // con; true when a row took it.
  bool store_jd_cookie(bool pc, TextView cookie_text);
  // Stores the forum account cookie in rule 1; true when rule 1 took it.
  bool store_forum_cookie(TextView cookie_text);
  // Stores the highest post id seen by a rule; true when a row took it.
  bool store_rule_lastid(int64_t rule_id, int64_t lastid);
  // Stores one found post.
  bool insert_found_post(TextView planname, int64_t planid, TextView title, TextView url,
                         TextView addtime, int zt);
  // True when a stored found post's address contains `post_id`: both are
  // compared after `to_lower` (ASCII letters folded, double-byte characters
  // kept whole), every other byte literal. A failing look-up counts as not
  // stored.
  bool is_post_stored(TextView post_id);

 private:
  // Runs one statement; `changes` receives the number of rows it changed.
  bool execute_locked(TextView statement, const SqlParams& params, int64_t* changes);
  DbError open_locked(const std::filesystem::path& path);

  const int busy_timeout_ms_;
  mutable std::mutex mutex_;
  sqlite3* db_ = nullptr;
  std::filesystem::path path_;  // of the latest open
  DbError last_error_ = DbError::none;
};

}  // namespace qnl
