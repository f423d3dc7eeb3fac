#include "support/test_database.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <random>

#include "storage/database.h"
#include "text/encoding.h"

namespace qnl::test {

Text gbk(const char* utf8) {
  return utf8_to_local(utf8);
}
namespace {

std::filesystem::path unique_temp_path() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const std::string tag =
      std::to_string(random()) + "-" + std::to_string(counter.fetch_add(1)) + "-";
  std::u8string name = u8"数据库测试-";
  name.append(tag.begin(), tag.end());
  name += u8"目录";
  return std::filesystem::temp_directory_path() / name;
}

std::string quoted(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}

// The shipped database is made once per process; tests get copies of it.
const std::filesystem::path* shipped_template() {
  static TempDir dir;
  static std::filesystem::path file;
  static bool made = false;
  static std::once_flag once;
  std::call_once(once, [] {
    file = dir.path() / "qnl6.sdb";
    const std::string command =
        quoted(QNL_MAKEDB) + " " + quoted(QNL_SHIPPED_SQL) + " " + quoted(file);
    made = std::system(command.c_str()) == 0 && std::filesystem::exists(file);
  });
  return made ? &file : nullptr;
}

}  // namespace

TempDir::TempDir() : path_(unique_temp_path()) {
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool make_shipped_database(const std::filesystem::path& target) {
  const std::filesystem::path* source = shipped_template();
  if (source == nullptr) return false;
  std::error_code error;
  std::filesystem::create_directories(target.parent_path(), error);
  return std::filesystem::copy_file(*source, target,
                                    std::filesystem::copy_options::overwrite_existing, error);
}

bool make_database(const std::filesystem::path& target, const std::string& sql_utf8) {
  const std::u8string name = target.u8string();
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(std::string(name.begin(), name.end()).c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return false;
  }
  const std::string sql = utf8_to_local(sql_utf8);
  const bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

ShippedDatabase::ShippedDatabase() : file_(dir_.path() / "data" / "qnl6.sdb") {
  ok_ = make_shipped_database(file_);
}

}  // namespace qnl::test
