#include "storage/database.h"

#include <sqlite3.h>

#include <cctype>
#include <memory>

#include "text/encoding.h"

namespace qnl {
namespace {

constexpr const char* kLoadRulesQuery =
    "select id,isdo,rank,isgbk,type,name,url,cookie,reg,before,after,tindex,idindex ,pinurl,lastid "
    "from rule where isdo<>'3' order by rank desc";
constexpr const char* kSelectConfiguration =
    "select keywd,pl_shop,pl_kuai,pl_man,tx_tc,tx_sy,tx_wx,tx_onlygz,tx_wxkey,jd_coo_pc,jd_coo_wap "
    "from con";
constexpr const char* kSaveSettings =
    "UPDATE con SET keywd = ?,pl_shop = ?,pl_kuai = ?,pl_man = ?,tx_tc = ?,tx_sy = ?,tx_wx = "
    "?,tx_onlygz = ?,tx_wxkey = ? WHERE 1";
constexpr const char* kStoreJdCookiePc = "UPDATE con SET jd_coo_pc = ? WHERE 1";
constexpr const char* kStoreJdCookieWap = "UPDATE con SET jd_coo_wap = ? WHERE 1";
constexpr const char* kStoreForumCookie = "UPDATE rule SET cookie = ? where id=1";
constexpr const char* kStoreRuleLastid = "UPDATE rule SET lastid = ? WHERE id = ?";
constexpr const char* kInsertFoundPost =
    "insert into info(planname,planid,title,url,addtime,zt) values(?,?,?,?,?,?)";
// A byte-exact substring search with ASCII letters folded the way the stored
// post index folds them: qnl_lower() is `to_lower` (the built-in lower() would
// also fold the second byte of a double-byte character), and instr() over two
// BLOBs compares bytes. LIKE would treat "%" and "_" of the id as wildcards
// and walk CP936 bytes as if they were UTF-8.
constexpr const char* kPostStored =
    "SELECT 1 from info where instr(qnl_lower(url), CAST(? AS BLOB)) > 0 LIMIT 1";

// qnl_lower(x): `to_lower` of the bytes of x, as a BLOB; NULL stays NULL.
void sql_lower(sqlite3_context* context, int, sqlite3_value** args) {
  if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  const auto* bytes = static_cast<const char*>(sqlite3_value_blob(args[0]));
  const int size = sqlite3_value_bytes(args[0]);
  const Text lowered = to_lower(TextView(bytes == nullptr ? "" : bytes, bytes ? size : 0));
  sqlite3_result_blob64(context, lowered.data(), lowered.size(), SQLITE_TRANSIENT);
}

// What an SQLite result code says about the file.
DbError classify(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return DbError::none;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return DbError::busy;
    case SQLITE_READONLY:
      return DbError::read_only;
    case SQLITE_IOERR:
    case SQLITE_FULL:
      return DbError::io_error;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return DbError::not_database;
    default:
      return DbError::failed;
  }
}

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

bool only_space(const char* text) {
  for (; text != nullptr && *text != '\0'; ++text) {
    if (!std::isspace(static_cast<unsigned char>(*text)) && *text != ';') return false;
  }
  return true;
}

// Prepares exactly one statement and binds its values. A failure to prepare
// (reading the schema may find the file busy) is told in `error`.
Statement prepare(sqlite3* db, TextView text, const SqlParams& params, DbError& error) {
  error = DbError::failed;
  if (db == nullptr) return nullptr;
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db, text.data(), static_cast<int>(text.size()), &raw, &tail);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(raw);
    error = classify(sqlite3_extended_errcode(db));
    if (error == DbError::none) error = DbError::failed;
    return nullptr;
  }
  Statement statement(raw);
  if (!statement) return nullptr;  // empty text or only a comment
  const char* end = text.data() + text.size();
  if (tail != nullptr && tail < end && !only_space(Text(tail, end).c_str())) return nullptr;
  if (sqlite3_bind_parameter_count(raw) != static_cast<int>(params.size())) return nullptr;
  for (size_t i = 0; i < params.size(); ++i) {
    const int index = static_cast<int>(i) + 1;
    int rc = SQLITE_OK;
    if (const Text* value = std::get_if<Text>(&params[i])) {
      rc = sqlite3_bind_text64(raw, index, value->data(), value->size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
    } else {
      rc = sqlite3_bind_int64(raw, index, std::get<int64_t>(params[i]));
    }
    if (rc != SQLITE_OK) return nullptr;
  }
  error = DbError::none;
  return statement;
}

DbError step_error(int rc) {
  const DbError error = classify(rc);
  return error == DbError::none ? DbError::failed : error;
}

}  // namespace

Database::~Database() {
  db_close();
}

bool Database::db_open(const std::filesystem::path& path) {
  std::lock_guard lock(mutex_);
  if (db_ != nullptr) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  path_ = path;
  last_error_ = open_locked(path);
  return last_error_ == DbError::none;
}

DbError Database::open_locked(const std::filesystem::path& path) {
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) return DbError::missing;
  // SQLite takes UTF-8 file names on every platform.
  const std::u8string name = path.u8string();
  const std::string utf8(name.begin(), name.end());
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(utf8.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
  struct Closer {
    sqlite3*& db;
    ~Closer() {
      if (db != nullptr) sqlite3_close_v2(db);
    }
  } closer{db};
  if (rc != SQLITE_OK) {
    const DbError error = classify(rc);
    return error == DbError::busy || error == DbError::io_error ? error : DbError::failed;
  }
  // Before anything reads the file: another process holding it briefly must
  // not fail the probe below or any later statement.
  sqlite3_busy_timeout(db, busy_timeout_ms_);
  if (sqlite3_create_function_v2(db, "qnl_lower", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 sql_lower, nullptr, nullptr, nullptr) != SQLITE_OK)
    return DbError::failed;
  // Opening is lazy: reading the schema tells a database from any other file.
  sqlite3_stmt* probe = nullptr;
  int probe_rc = sqlite3_prepare_v2(db, "pragma page_count", -1, &probe, nullptr);
  int64_t pages = 0;
  if (probe_rc == SQLITE_OK) {
    probe_rc = sqlite3_step(probe);
    if (probe_rc == SQLITE_ROW) pages = sqlite3_column_int64(probe, 0);
  }
  sqlite3_finalize(probe);
  if (probe_rc != SQLITE_ROW) return step_error(sqlite3_extended_errcode(db));
  if (sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) !=
      SQLITE_OK)
    return step_error(sqlite3_extended_errcode(db));
  // SQLite takes an empty file for an empty database; the program's file
  // always has its tables.
  if (pages == 0) return DbError::not_database;
  // A file that cannot be written opens read-only without a word; every
  // found post and setting would then be lost.
  if (sqlite3_db_readonly(db, "main") == 1) return DbError::read_only;
  std::swap(db_, db);
  return DbError::none;
}

DbError Database::last_error() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

Text Database::problem_text() const {
  std::lock_guard lock(mutex_);
  const std::u8string name = path_.u8string();
  const std::string file(name.begin(), name.end());
  switch (last_error_) {
    case DbError::busy:
      return utf8_to_local("数据库文件 " + file +
                           " 正被其他程序占用（忙），请关闭占用它的程序后再试！");
    case DbError::read_only:
      return utf8_to_local("数据库文件 " + file + " 是只读的，无法保存数据，请检查它的写入权限！");
    case DbError::io_error:
      return utf8_to_local("数据库文件 " + file + " 读写出错，请检查磁盘空间和磁盘！");
    default:
      return {};
  }
}

bool Database::is_open() const {
  std::lock_guard lock(mutex_);
  return db_ != nullptr;
}

void Database::db_close() {
  std::lock_guard lock(mutex_);
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool Database::execute_locked(TextView statement, const SqlParams& params, int64_t* changes) {
  std::lock_guard lock(mutex_);
  Statement prepared = prepare(db_, statement, params, last_error_);
  if (!prepared) return false;
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(prepared.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) {
    last_error_ = step_error(rc);
    return false;
  }
  if (changes != nullptr) *changes = sqlite3_changes64(db_);
  return true;
}

bool Database::db_execute(TextView statement, const SqlParams& params) {
  return execute_locked(statement, params, nullptr);
}

QueryResult Database::db_query(TextView statement, const SqlParams& params) {
  std::lock_guard lock(mutex_);
  QueryResult result;
  Statement prepared = prepare(db_, statement, params, last_error_);
  if (!prepared) {
    result.error = last_error_;
    return result;
  }
  sqlite3_stmt* raw = prepared.get();
  const int columns = sqlite3_column_count(raw);
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    std::vector<Text>& row = result.rows.emplace_back();
    row.reserve(columns);
    for (int c = 0; c < columns; ++c) {
      // Texts and blobs come back as their bytes, numbers as decimal text,
      // NULL as nullptr.
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, c));
      const int size = sqlite3_column_bytes(raw, c);
      row.emplace_back(text != nullptr ? Text(text, size) : Text());
    }
  }
  if (rc != SQLITE_DONE) {
    last_error_ = step_error(rc);
    QueryResult failed;
    failed.error = last_error_;
    return failed;
  }
  result.column_count = columns;
  return result;
}

QueryResult Database::load_rules() {
  return db_query(kLoadRulesQuery);
}

QueryResult Database::select_configuration() {
  return db_query(kSelectConfiguration);
}

bool Database::save_settings_statement(TextView keywd, TextView pl_shop, TextView pl_kuai,
                                       TextView pl_man, TextView tx_tc, TextView tx_sy,
                                       TextView tx_wx, TextView tx_onlygz, TextView tx_wxkey) {
  int64_t changes = 0;
  const SqlParams params{Text(keywd), Text(pl_shop), Text(pl_kuai),   Text(pl_man),  Text(tx_tc),
                         Text(tx_sy), Text(tx_wx),   Text(tx_onlygz), Text(tx_wxkey)};
  return execute_locked(kSaveSettings, params, &changes) && changes > 0;
}

bool Database::store_jd_cookie(bool pc, TextView cookie_text) {
  int64_t changes = 0;
  return execute_locked(pc ? kStoreJdCookiePc : kStoreJdCookieWap, {Text(cookie_text)}, &changes) &&
         changes > 0;
}

bool Database::store_forum_cookie(TextView cookie_text) {
  int64_t changes = 0;
  return execute_locked(kStoreForumCookie, {Text(cookie_text)}, &changes) && changes > 0;
}

bool Database::store_rule_lastid(int64_t rule_id, int64_t lastid) {
  int64_t changes = 0;
  return execute_locked(kStoreRuleLastid, {lastid, rule_id}, &changes) && changes > 0;
}

bool Database::insert_found_post(TextView planname, int64_t planid, TextView title, TextView url,
                                 TextView addtime, int zt) {
  return db_execute(kInsertFoundPost, {Text(planname), planid, Text(title), Text(url),
                                       Text(addtime), static_cast<int64_t>(zt)});
}

bool Database::is_post_stored(TextView post_id) {
  return db_query(kPostStored, {to_lower(post_id)}).row_count() > 0;
}

}  // namespace qnl
