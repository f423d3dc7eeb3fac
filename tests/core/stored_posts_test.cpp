// The stored-post index against the look-up statement: both must give the
// same answer for every id, whatever bytes the addresses and ids hold.
#include "storage/stored_posts.h"

#include <gtest/gtest.h>

#include "storage/database.h"
#include "support/test_database.h"

namespace qnl {
namespace {

TEST(StoredPostIndex, AgreesWithTheLookUpStatement) {
  test::TempDir dir;
  const auto file = dir.path() / "posts.sdb";
  ASSERT_TRUE(
      test::make_database(file,
                          "CREATE TABLE info (planname TEXT, planid INTEGER, title TEXT, url TEXT, "
                          "addtime TEXT, zt INTEGER);"
                          "INSERT INTO info (url) VALUES (NULL);"));
  Database db;
  ASSERT_TRUE(db.db_open(file));
  StoredPostIndex index(db);
  // Without any address an empty id is nowhere: a NULL address holds nothing.
  EXPECT_FALSE(db.is_post_stored(""));
  EXPECT_FALSE(index.contains(""));

  for (const Text url : {
           Text("http://h/thread-6699009-1-1.html"),
           Text("http://h/\x81\x41-77"),  // a character whose second byte is "A"
           Text("http://h/X\xB0\xA1Y-5"), Text("HTTP://H/Q=12%_3"),
           Text("http://h/\x81"),  // a lone lead byte at the end
       }) {
    ASSERT_TRUE(db.insert_found_post("x", 1, "t", url, "", 0));
    index.add(url);
  }

  struct Case {
    Text id;
    bool stored;
  };
  const Case cases[] = {
      {"", true},
      {"6699009", true},
      {"669900", true},
      {"66990091", false},
      {"THREAD-6699", true},
      {"\x81\x41", true},
      {"\x81\x61", false},  // another character: its second byte is not a letter to fold
      {"\x81\x41-77", true},
      {"A-77", false},  // would fold the second byte of the character
      {"a-77", false},
      {"x\xB0\xA1y", true},
      {"\xB0\xA1", true},
      {"q=12%_3", true},
      {"%", true},
      {"_", true},
      {"12%3", false},
      {"/\x81", true},
      {"\x81", true},
      {"html\x81", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.id));
    EXPECT_EQ(db.is_post_stored(c.id), c.stored);
    StoredPostIndex fresh(db);
    EXPECT_EQ(fresh.contains(c.id), c.stored);
    EXPECT_EQ(index.contains(c.id), c.stored);  // one index answering many questions
  }
}

}  // namespace
}  // namespace qnl
