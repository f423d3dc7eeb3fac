// Builds the shipped database from its UTF-8 SQL source, text converted to
// CP936. Does nothing when the database file already exists, so a rebuild
// never overwrites a user's database.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "text/encoding.h"

namespace {

int make(const std::filesystem::path& source, const std::filesystem::path& target) {
  if (std::filesystem::exists(target)) return 0;

  std::ifstream in(source, std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << source << "\n";
    return 1;
  }
  std::stringstream sql_utf8;
  sql_utf8 << in.rdbuf();
  const std::string sql = qnl::utf8_to_local(sql_utf8.str());

  // A bare file name has no directory to make.
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path());
  const std::filesystem::path partial = target.string() + ".partial";
  std::filesystem::remove(partial);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(partial.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    std::cerr << "cannot create " << partial << "\n";
    sqlite3_close(db);
    return 1;
  }
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) std::cerr << "SQL error: " << (error ? error : "?") << "\n";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) {
    std::filesystem::remove(partial);
    return 1;
  }
  // Appears under its final name only when complete.
  std::filesystem::rename(partial, target);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qnl_makedb SOURCE.sql TARGET.sdb\n";
    return 2;
  }
  try {
    return make(argv[1], argv[2]);
  } catch (const std::filesystem::filesystem_error& error) {
    std::cerr << error.what() << "\n";
    return 1;
  }
}
