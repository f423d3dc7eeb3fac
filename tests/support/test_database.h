// Test databases: temporary directories (with Chinese characters in their
// names, as a program directory may have) and copies of the shipped database.
#pragma once

#include <filesystem>
#include <string>

#include "text/text.h"

namespace qnl {
class Database;
}

namespace qnl::test {

// CP936 text of a UTF-8 literal written in a test source.
Text gbk(const char* utf8);

// A fresh directory under the system temp directory, removed with everything
// in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Writes a copy of the shipped database (made from data/qnl6.sql by the
// makedb tool, once per test process) to `target`. False when it could not.
bool make_shipped_database(const std::filesystem::path& target);

// Makes an empty SQLite database file at `target` and runs `sql` (UTF-8, its
// texts converted to CP936) in it. False on any error.
bool make_database(const std::filesystem::path& target, const std::string& sql_utf8);

// A temporary directory holding data/qnl6.sdb, a copy of the shipped database.
class ShippedDatabase {
 public:
  ShippedDatabase();
  bool ok() const { return ok_; }
  const std::filesystem::path& path() const { return file_; }
  const std::filesystem::path& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::filesystem::path file_;
  bool ok_ = false;
};

}  // namespace qnl::test
