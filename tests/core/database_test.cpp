// The database connection: opening only existing files, values kept byte for
// byte, failing statements, serialised use from two threads, and the
// program's own statements on the shipped schema.
#include "storage/database.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "support/test_database.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::make_database;
using test::TempDir;

using test::gbk;

// The three tables with the columns the program uses.
constexpr const char* kSchema =
    "CREATE TABLE con (keywd TEXT, pl_shop TEXT, pl_kuai TEXT, pl_man TEXT, tx_tc TEXT, "
    "tx_sy TEXT, tx_wx TEXT, tx_onlygz TEXT, tx_wxkey TEXT, jd_coo_pc TEXT, jd_coo_wap TEXT);"
    "CREATE TABLE rule (id INTEGER, isdo TEXT, rank INTEGER, isgbk TEXT, type INTEGER, name TEXT,"
    " url TEXT, cookie TEXT, reg TEXT, before TEXT, after TEXT, tindex INTEGER, idindex INTEGER,"
    " pinurl TEXT, lastid INTEGER);"
    "CREATE TABLE info (planname TEXT, planid INTEGER, title TEXT, url TEXT, addtime TEXT, "
    "zt INTEGER);"
    "CREATE TABLE t (v);";

class DatabaseTest : public ::testing::Test {
 protected:
  void open_with(const std::string& extra_sql = "") {
    file_ = dir_.path() / u8"数据" / "qnl6.sdb";
    std::filesystem::create_directories(file_.parent_path());
    ASSERT_TRUE(make_database(file_, std::string(kSchema) + extra_sql));
    ASSERT_TRUE(db_.db_open(file_));
  }
  Text stored_value() {
    const QueryResult result = db_.db_query("select v from t");
    return result.rows.size() == 1 ? result.rows[0][0]
                                   : Text("<rows: ") + std::to_string(result.rows.size()) + ">";
  }

  TempDir dir_;
  std::filesystem::path file_;
  Database db_;
};

TEST_F(DatabaseTest, OpenNeverCreatesAFile) {
  const std::filesystem::path missing = dir_.path() / u8"没有" / "qnl6.sdb";
  EXPECT_FALSE(db_.db_open(missing));
  EXPECT_FALSE(std::filesystem::exists(missing));
  const std::filesystem::path missing_here = dir_.path() / "qnl6.sdb";
  EXPECT_FALSE(db_.db_open(missing_here));
  EXPECT_FALSE(std::filesystem::exists(missing_here));
  EXPECT_FALSE(db_.is_open());
}

TEST_F(DatabaseTest, OpenRefusesAFileThatIsNotADatabase) {
  const std::filesystem::path junk = dir_.path() / u8"坏文件.sdb";
  std::ofstream(junk) << "this is not an SQLite database, just text long enough to read\n";
  EXPECT_FALSE(db_.db_open(junk));
  EXPECT_FALSE(db_.is_open());
  EXPECT_EQ(db_.db_query("select 1").row_count(), 0);
}

TEST_F(DatabaseTest, OpensAnExistingFileInADirectoryWithChineseName) {
  open_with();
  EXPECT_TRUE(db_.is_open());
  EXPECT_EQ(db_.db_query("select 1").row_count(), 1);
  db_.db_close();
  EXPECT_FALSE(db_.is_open());
  EXPECT_FALSE(db_.db_execute("insert into t(v) values(1)"));
}

TEST_F(DatabaseTest, ValuesAreStoredAndReadBackByteForByte) {
  open_with();
  const std::vector<Text> values = {
      "it's",
      "a\\b\\",
      "'); DELETE FROM t; --",
      "%_*?",
      gbk("赚客吧线报：京东领券"),
      Text("\x81\x5C\x95\x5C", 4),  // double-byte characters whose second byte is a backslash
      "line\r\nbreak",
      "",
  };
  for (const Text& value : values) {
    ASSERT_TRUE(db_.db_execute("delete from t"));
    ASSERT_TRUE(db_.db_execute("insert into t(v) values(?)", {value}));
    EXPECT_EQ(stored_value(), value);
  }
}

TEST_F(DatabaseTest, NullReadsAsEmptyAndNumbersAsDecimalText) {
  open_with();
  const QueryResult result = db_.db_query("select NULL, 42, -7, ?", {int64_t{9000000000}});
  ASSERT_EQ(result.row_count(), 1);
  EXPECT_EQ(result.db_column_count(), 4);
  EXPECT_EQ(result.db_rows()[0], (std::vector<Text>{"", "42", "-7", "9000000000"}));
}

TEST_F(DatabaseTest, FailingStatementsReportFailure) {
  open_with();
  const QueryResult missing = db_.db_query("select * from nosuchtable");
  EXPECT_EQ(missing.row_count(), 0);
  EXPECT_EQ(missing.db_column_count(), 0);
  EXPECT_TRUE(missing.db_rows().empty());

  EXPECT_FALSE(db_.db_execute("insert into nosuchtable values(1)"));
  EXPECT_FALSE(db_.db_execute("this is not sql"));
  EXPECT_FALSE(db_.db_execute("update con set nosuchcolumn = 1 WHERE 1"));
  // A value count that does not fit the statement runs nothing.
  EXPECT_FALSE(db_.db_execute("insert into t(v) values(?)", {}));
  EXPECT_FALSE(db_.db_execute("insert into t(v) values(?)", {Text("a"), Text("b")}));
  EXPECT_EQ(db_.db_query("select * from t").row_count(), 0);
}

TEST_F(DatabaseTest, OnlyOneStatementRuns) {
  open_with();
  EXPECT_FALSE(db_.db_execute("insert into t(v) values(1); insert into t(v) values(2)"));
  EXPECT_EQ(db_.db_query("select * from t").row_count(), 0);
  EXPECT_TRUE(db_.db_execute("insert into t(v) values(1);  "));
  EXPECT_EQ(db_.db_query("select * from t").row_count(), 1);
}

TEST_F(DatabaseTest, QueryKeepsItsColumnCountWithoutRows) {
  open_with();
  const QueryResult result = db_.db_query("select v, v from t");
  EXPECT_EQ(result.row_count(), 0);
  EXPECT_EQ(result.db_column_count(), 2);
}

TEST_F(DatabaseTest, ConcurrentQueriesNeverMixTheirResults) {
  open_with(
      "CREATE TABLE a (x); CREATE TABLE b (y, z);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)"
      " INSERT INTO a SELECT 'a' || i FROM n;"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50)"
      " INSERT INTO b SELECT 'b' || i, i FROM n;");
  std::atomic<int> bad{0};
  auto reader = [&](bool table_a) {
    for (int round = 0; round < 200; ++round) {
      const QueryResult result =
          table_a ? db_.db_query("select x from a") : db_.db_query("select y, z from b");
      const size_t rows = table_a ? 200 : 50;
      const int columns = table_a ? 1 : 2;
      if (result.row_count() != static_cast<int64_t>(rows) || result.db_column_count() != columns) {
        ++bad;
        continue;
      }
      for (const auto& row : result.rows) {
        if (static_cast<int>(row.size()) != columns || row[0][0] != (table_a ? 'a' : 'b')) ++bad;
      }
      // A writer between the queries of the other thread.
      if (!table_a && !db_.is_post_stored("12345")) {
        db_.insert_found_post("x", 1, "t", "u", "1/1  00:00", 0);
      }
    }
  };
  std::thread first(reader, true);
  std::thread second(reader, false);
  first.join();
  second.join();
  EXPECT_EQ(bad.load(), 0);
}

// ---- The program's statements ----

TEST_F(DatabaseTest, CookieStatementsStoreExactlyTheGivenText) {
  open_with(
      "INSERT INTO con (keywd) VALUES ('first');"
      "INSERT INTO con (keywd) VALUES ('second');"
      "INSERT INTO rule (id, isdo, cookie) VALUES (1, '1', 'old');"
      "INSERT INTO rule (id, isdo, cookie) VALUES (2, '1', 'other');");
  const Text cookie = gbk("pt_key=a'b; pt_pin=\\x; 名=值");
  EXPECT_TRUE(db_.store_jd_cookie(true, cookie));
  EXPECT_TRUE(db_.store_jd_cookie(false, "wap=1"));
  // Updates change every row of con.
  const QueryResult con = db_.db_query("select jd_coo_pc, jd_coo_wap from con");
  ASSERT_EQ(con.row_count(), 2);
  for (const auto& row : con.rows) EXPECT_EQ(row, (std::vector<Text>{cookie, "wap=1"}));

  EXPECT_TRUE(db_.store_forum_cookie(cookie));
  const QueryResult rules = db_.db_query("select id, cookie from rule order by id");
  ASSERT_EQ(rules.row_count(), 2);
  EXPECT_EQ(rules.rows[0], (std::vector<Text>{"1", cookie}));
  EXPECT_EQ(rules.rows[1], (std::vector<Text>{"2", "other"}));
}

TEST_F(DatabaseTest, CookieStatementsReportWhenNoRowTookTheValue) {
  open_with("INSERT INTO rule (id, isdo) VALUES (2, '1');");
  EXPECT_FALSE(db_.store_jd_cookie(true, "a=1"));
  EXPECT_FALSE(db_.store_forum_cookie("a=1"));
}

TEST_F(DatabaseTest, FoundPostIsStoredWithItsValues) {
  open_with();
  const Text name = gbk("赚客'吧");
  const Text title = gbk("京东 1元购");
  ASSERT_TRUE(
      db_.insert_found_post(name, 11, title, "http://x/thread-1-1-1.html", "3/7  09:05", 1));
  const QueryResult result = db_.db_query(
      "select planname, planid, title, url, addtime, zt, typeof(planid), typeof(zt) from info");
  ASSERT_EQ(result.row_count(), 1);
  EXPECT_EQ(result.rows[0], (std::vector<Text>{name, "11", title, "http://x/thread-1-1-1.html",
                                               "3/7  09:05", "1", "integer", "integer"}));
}

TEST_F(DatabaseTest, PostStoredLookUpIsASubstringSearch) {
  open_with();
  EXPECT_FALSE(db_.is_post_stored("12345"));  // empty table
  ASSERT_TRUE(db_.insert_found_post("a", 1, "t", "http://h/thread-12345-1-1.html", "", 0));
  EXPECT_TRUE(db_.is_post_stored("12345"));
  EXPECT_TRUE(db_.is_post_stored("234"));
  EXPECT_TRUE(db_.is_post_stored("thread-1"));
  EXPECT_FALSE(db_.is_post_stored("123456"));
  EXPECT_FALSE(db_.is_post_stored("54321"));
  // Letter case of ASCII letters is ignored, as by LIKE.
  EXPECT_TRUE(db_.is_post_stored("THREAD-12345"));
  // An empty id is found in every stored address.
  EXPECT_TRUE(db_.is_post_stored(""));
}

TEST_F(DatabaseTest, PostStoredLookUpTakesWildcardsLiterally) {
  open_with();
  ASSERT_TRUE(db_.insert_found_post("a", 1, "t", "http://h/?a=1%2_3", "", 0));
  ASSERT_TRUE(db_.insert_found_post("a", 1, "t", "http://h/x-9876", "", 0));
  EXPECT_TRUE(db_.is_post_stored("1%2"));
  EXPECT_TRUE(db_.is_post_stored("2_3"));
  EXPECT_FALSE(db_.is_post_stored("98%6"));
  EXPECT_FALSE(db_.is_post_stored("98_6"));
  EXPECT_FALSE(db_.is_post_stored("9%"));
  EXPECT_FALSE(db_.is_post_stored("x_9"));
  EXPECT_FALSE(db_.is_post_stored("'"));
  EXPECT_FALSE(db_.is_post_stored("\\"));
}

TEST_F(DatabaseTest, PostStoredLookUpComparesDoubleByteTextAsBytes) {
  open_with();
  // 0xB0 0xA1 (啊) starts a character after one whose second byte is in the
  // range UTF-8 uses for continuation bytes.
  const Text url = gbk("http://h/读啊-77");
  ASSERT_TRUE(db_.insert_found_post("a", 1, "t", url, "", 0));
  EXPECT_TRUE(db_.is_post_stored(gbk("啊-77")));
  EXPECT_TRUE(db_.is_post_stored(gbk("读啊")));
  EXPECT_FALSE(db_.is_post_stored(gbk("阿-77")));
}

TEST_F(DatabaseTest, RuleLoadSkipsHiddenRulesAndOrdersByRank) {
  open_with(
      "INSERT INTO rule (id, isdo, rank, name, tindex, idindex, lastid) VALUES (1, '1', 10, 'one', "
      "2, 1, 5);"
      "INSERT INTO rule (id, isdo, rank, name) VALUES (2, '3', 90, 'hidden');"
      "INSERT INTO rule (id, isdo, rank, name) VALUES (3, '0', 50, 'three');"
      "INSERT INTO rule (id, isdo, rank, name) VALUES (4, '', 20, NULL);");
  const QueryResult rules = db_.load_rules();
  EXPECT_EQ(rules.db_column_count(), 15);
  ASSERT_EQ(rules.row_count(), 3);
  EXPECT_EQ(rules.rows[0][0], "3");
  EXPECT_EQ(rules.rows[1][0], "4");
  EXPECT_EQ(rules.rows[1][5], "");
  EXPECT_EQ(rules.rows[2][0], "1");
  EXPECT_EQ(rules.rows[2][5], "one");
  EXPECT_EQ(rules.rows[2][11], "2");
  EXPECT_EQ(rules.rows[2][14], "5");
}

TEST_F(DatabaseTest, RuleLoadOfATableWithoutTheColumnsIsEmpty) {
  file_ = dir_.path() / "old.sdb";
  ASSERT_TRUE(make_database(file_,
                            "CREATE TABLE rule (id INTEGER, isdo TEXT, name TEXT);"
                            "INSERT INTO rule VALUES (1, '1', 'x');"));
  ASSERT_TRUE(db_.db_open(file_));
  const QueryResult rules = db_.load_rules();
  EXPECT_EQ(rules.row_count(), 0);
  EXPECT_EQ(rules.db_column_count(), 0);
}

TEST(ShippedDatabase, HasTheTablesTheProgramUses) {
  test::ShippedDatabase shipped;
  ASSERT_TRUE(shipped.ok());
  Database db;
  ASSERT_TRUE(db.db_open(shipped.path()));
  EXPECT_EQ(db.select_configuration().row_count(), 1);
  const QueryResult rules = db.load_rules();
  ASSERT_GE(rules.row_count(), 6);
  EXPECT_EQ(rules.rows[0][0], "1");  // the main board comes first and is ticked
  EXPECT_EQ(rules.rows[0][1], "1");
  for (size_t i = 1; i < rules.rows.size(); ++i)
    EXPECT_NE(rules.rows[i][1], "1") << rules.rows[i][0];
  EXPECT_TRUE(db.insert_found_post(gbk("赚吧免登"), 11, "t", "u-1234567", "1/2  03:04", 0));
  EXPECT_TRUE(db.is_post_stored("1234567"));
  EXPECT_TRUE(db.store_forum_cookie("a=b"));
  EXPECT_TRUE(db.store_jd_cookie(true, "c=d"));
}

}  // namespace
}  // namespace qnl
