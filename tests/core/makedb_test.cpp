// The tool that builds the shipped database: output names it must take and
// failures it must report with an exit code rather than an abort.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "storage/database.h"
#include "support/test_database.h"

namespace qnl {
namespace {

std::string quoted(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}

// Runs the tool in `dir` and gives its exit code (-1 when it did not exit).
int run_makedb(const std::filesystem::path& dir, const std::string& target) {
  const std::string command = "cd " + quoted(dir) + " && " + quoted(QNL_MAKEDB) + " " +
                              quoted(QNL_SHIPPED_SQL) + " " + target + " 2>/dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Makedb, TakesBareAndNestedOutputNamesAndReportsFailures) {
  test::TempDir dir;
  std::ofstream(dir.path() / "plain-file") << "x";
  struct Case {
    std::string target;
    int exit_code;
    bool database_made;
  };
  const Case cases[] = {
      {"base.sdb", 0, true},
      {"./here.sdb", 0, true},
      {"data/deeper/qnl6.sdb", 0, true},
      {"plain-file/qnl6.sdb", 1, false},  // its directory cannot be made
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(run_makedb(dir.path(), c.target), c.exit_code);
    const auto made = dir.path() / c.target;
    if (!c.database_made) continue;
    Database db;
    ASSERT_TRUE(db.db_open(made));
    EXPECT_GE(db.load_rules().row_count(), 6);
    // A second run leaves the existing file alone.
    ASSERT_TRUE(db.store_forum_cookie("kept=1"));
    EXPECT_EQ(run_makedb(dir.path(), c.target), 0);
    EXPECT_EQ(db.db_query("select cookie from rule where id=1").rows.at(0).at(0), "kept=1");
  }
}

}  // namespace
}  // namespace qnl
