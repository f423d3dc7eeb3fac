#include "storage/database.h"

#include <sqlite3.h>

#include <cctype>
#include <memory>

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
// A byte-exact substring search with ASCII letters folded: lower() of the
// built-in functions folds ASCII only and keeps every other byte, and instr()
// over two BLOBs compares bytes. LIKE would treat "%" and "_" of the id as
// wildcards and walk CP936 bytes as if they were UTF-8.
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

// Prepares exactly one statement and binds its values.
Statement prepare(sqlite3* db, TextView text, const SqlParams& params) {
  if (db == nullptr) return nullptr;
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, text.data(), static_cast<int>(text.size()), &raw, &tail) !=
      SQLITE_OK) {
    sqlite3_finalize(raw);
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
  return statement;
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
  // SQLite takes UTF-8 file names on every platform.
  const std::u8string name = path.u8string();
  const std::string utf8(name.begin(), name.end());
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(utf8.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close_v2(db);
    return false;
  }
  // Opening is lazy: reading the schema tells a database from any other file.
  if (sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    sqlite3_close_v2(db);
    return false;
  }
  // Another process holding the file briefly should not fail a statement.
  sqlite3_busy_timeout(db, 2000);
  db_ = db;
  return true;
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
  Statement prepared = prepare(db_, statement, params);
  if (!prepared) return false;
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(prepared.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) return false;
  if (changes != nullptr) *changes = sqlite3_changes64(db_);
  return true;
}

bool Database::db_execute(TextView statement, const SqlParams& params) {
  return execute_locked(statement, params, nullptr);
}

QueryResult Database::db_query(TextView statement, const SqlParams& params) {
  std::lock_guard lock(mutex_);
  QueryResult result;
  Statement prepared = prepare(db_, statement, params);
  if (!prepared) return result;
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
  if (rc != SQLITE_DONE) return QueryResult{};
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

}  // namespace qnl
