// The configuration record: load and conversion rules, the incompatible-table
// check, the settings save, and replacing the record under a running reader.
#include "storage/configuration.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/test_database.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::make_database;
using test::TempDir;

using test::gbk;

constexpr const char* kCon =
    "CREATE TABLE con (keywd TEXT, pl_shop TEXT, pl_kuai TEXT, pl_man TEXT, tx_tc TEXT, "
    "tx_sy TEXT, tx_wx TEXT, tx_onlygz TEXT, tx_wxkey TEXT, jd_coo_pc TEXT, jd_coo_wap TEXT);";

class ConfigurationTest : public ::testing::Test {
 protected:
  void open_with(const std::string& sql) {
    const std::filesystem::path file = dir_.path() / u8"配置.sdb";
    ASSERT_TRUE(make_database(file, sql));
    ASSERT_TRUE(db_.db_open(file));
  }
  SettingsForm form() const {
    SettingsForm f;
    f.keywords_text = "a\r\n\r\nb";
    f.pl_shop_text = "7";
    f.pl_kuai_text = "0";
    f.pl_man_text = "12";
    f.tx_tc = true;
    f.tx_sy = false;
    f.tx_wx = true;
    f.tx_onlygz = false;
    f.tx_wxkey = "SCT1'2";
    return f;
  }

  TempDir dir_;
  Database db_;
  ConfigStore store_;
};

TEST_F(ConfigurationTest, StartValuesAreEmpty) {
  const auto config = store_.current();
  EXPECT_TRUE(config->keywords.empty());
  EXPECT_EQ(config->pl_kuai, 0);
  EXPECT_FALSE(config->tx_tc);
  EXPECT_TRUE(config->jd_coo_pc.empty());
}

TEST_F(ConfigurationTest, LoadsTheShippedFirstRunConfiguration) {
  test::ShippedDatabase shipped;
  ASSERT_TRUE(shipped.ok());
  ASSERT_TRUE(db_.db_open(shipped.path()));
  ASSERT_EQ(load_configuration(db_, store_), ConfigLoad::loaded);
  const auto config = store_.current();
  EXPECT_EQ(config->pl_shop, 5);
  EXPECT_EQ(config->pl_kuai, 5);
  EXPECT_EQ(config->pl_man, 5);
  EXPECT_TRUE(config->tx_tc);
  EXPECT_FALSE(config->tx_sy);
  EXPECT_FALSE(config->tx_wx);
  EXPECT_FALSE(config->tx_onlygz);
  EXPECT_TRUE(config->tx_wxkey.empty());
  EXPECT_TRUE(config->jd_coo_pc.empty());
  EXPECT_TRUE(config->jd_coo_wap.empty());
}

TEST_F(ConfigurationTest, ConvertsColumnTexts) {
  const auto config =
      configuration_from_row({gbk("京东\r\n话费\r\n"), "12abc", "abc", "99999999999", "1", " 1",
                              "01", "1 ", "key", "pc=1", "wap=2"});
  EXPECT_EQ(config.keywords, (std::vector<Text>{gbk("京东"), gbk("话费")}));
  EXPECT_EQ(config.pl_shop, 12);
  EXPECT_EQ(config.pl_kuai, 0);
  EXPECT_EQ(config.pl_man, 2147483647);  // kept inside 32 bits
  EXPECT_TRUE(config.tx_tc);
  EXPECT_FALSE(config.tx_sy);
  EXPECT_FALSE(config.tx_wx);
  EXPECT_FALSE(config.tx_onlygz);
  EXPECT_EQ(config.tx_wxkey, "key");
  EXPECT_EQ(config.jd_coo_pc, "pc=1");
  EXPECT_EQ(config.jd_coo_wap, "wap=2");
}

TEST_F(ConfigurationTest, NullColumnsLoadAsStartValues) {
  open_with(std::string(kCon) + "INSERT INTO con (pl_kuai) VALUES ('30');");
  store_.set_jd_cookie(true, "stale=1");
  ASSERT_EQ(load_configuration(db_, store_), ConfigLoad::loaded);
  const auto config = store_.current();
  EXPECT_EQ(config->pl_kuai, 30);
  EXPECT_TRUE(config->keywords.empty());
  // Every field is overwritten, the JD cookies included.
  EXPECT_TRUE(config->jd_coo_pc.empty());
}

TEST_F(ConfigurationTest, AConTableLackingAColumnIsIncompatible) {
  open_with(
      "CREATE TABLE con (keywd TEXT, pl_shop TEXT, pl_kuai TEXT, pl_man TEXT, tx_tc TEXT, "
      "tx_sy TEXT, tx_wx TEXT, tx_wxkey TEXT, jd_coo_pc TEXT, jd_coo_wap TEXT);"
      "INSERT INTO con (pl_kuai) VALUES ('30');");
  EXPECT_EQ(load_configuration(db_, store_), ConfigLoad::incompatible);
  EXPECT_EQ(store_.current()->pl_kuai, 0);
  EXPECT_FALSE(save_settings(db_, form()));
}

TEST_F(ConfigurationTest, AMissingConTableIsIncompatible) {
  open_with("CREATE TABLE other (x);");
  EXPECT_EQ(load_configuration(db_, store_), ConfigLoad::incompatible);
}

TEST_F(ConfigurationTest, AConWithoutRowsKeepsTheRecordAndStoresNothing) {
  open_with(kCon);
  store_.set_push_key("kept");
  EXPECT_EQ(load_configuration(db_, store_), ConfigLoad::loaded);
  EXPECT_EQ(store_.current()->tx_wxkey, "kept");
  // The update has no row to change: nothing was stored, so no success.
  EXPECT_FALSE(save_settings(db_, form()));
}

TEST_F(ConfigurationTest, SaveStoresTheTextsAsTypedAndReloadConvertsThem) {
  open_with(std::string(kCon) +
            "INSERT INTO con VALUES ('', '5', '5', '5', '1', '0', '0', '0', '', 'pc', 'wap');");
  ASSERT_TRUE(save_settings(db_, form()));
  const QueryResult stored = db_.select_configuration();
  ASSERT_EQ(stored.row_count(), 1);
  EXPECT_EQ(stored.rows[0], (std::vector<Text>{"a\r\n\r\nb", "7", "0", "12", "1", "0", "1", "0",
                                               "SCT1'2", "pc", "wap"}));

  ASSERT_EQ(load_configuration(db_, store_), ConfigLoad::loaded);
  const auto config = store_.current();
  EXPECT_EQ(config->keywords, (std::vector<Text>{"a", "", "b"}));
  EXPECT_EQ(config->pl_kuai, 0);
  EXPECT_TRUE(config->tx_wx);
  EXPECT_EQ(config->tx_wxkey, "SCT1'2");
  EXPECT_EQ(config->jd_coo_wap, "wap");
}

TEST_F(ConfigurationTest, SaveKeepsQuotesAndChineseTextAsTheyAre) {
  open_with(std::string(kCon) + "INSERT INTO con (keywd) VALUES ('x');");
  SettingsForm f = form();
  f.keywords_text = gbk("O'Neil\r\n京东', tx_wxkey = 'hacked");
  f.pl_shop_text = "5'";
  ASSERT_TRUE(save_settings(db_, f));
  ASSERT_EQ(load_configuration(db_, store_), ConfigLoad::loaded);
  const auto config = store_.current();
  EXPECT_EQ(config->keywords, (std::vector<Text>{"O'Neil", gbk("京东', tx_wxkey = 'hacked")}));
  EXPECT_EQ(config->pl_shop, 5);
  EXPECT_EQ(config->tx_wxkey, "SCT1'2");
}

TEST_F(ConfigurationTest, WithTwoConRowsSaveChangesBothAndLoadReadsTheFirst) {
  open_with(std::string(kCon) +
            "INSERT INTO con (pl_kuai, jd_coo_pc) VALUES ('10', 'first');"
            "INSERT INTO con (pl_kuai, jd_coo_pc) VALUES ('20', 'second');");
  ASSERT_EQ(load_configuration(db_, store_), ConfigLoad::loaded);
  EXPECT_EQ(store_.current()->pl_kuai, 10);
  EXPECT_EQ(store_.current()->jd_coo_pc, "first");

  ASSERT_TRUE(save_settings(db_, form()));
  const QueryResult rows = db_.db_query("select pl_kuai, keywd, jd_coo_pc from con");
  ASSERT_EQ(rows.row_count(), 2);
  EXPECT_EQ(rows.rows[0], (std::vector<Text>{"0", "a\r\n\r\nb", "first"}));
  EXPECT_EQ(rows.rows[1], (std::vector<Text>{"0", "a\r\n\r\nb", "second"}));
}

TEST(ConfigStore, SnapshotsDoNotChangeAndSettersKeepOtherFields) {
  ConfigStore store;
  Configuration first;
  first.keywords = {"a"};
  first.pl_kuai = 5;
  first.jd_coo_pc = "pc=1";
  store.replace(first);
  const auto before = store.current();

  store.set_push_key("key");
  store.set_jd_cookie(false, "wap=2");
  const auto after = store.current();
  EXPECT_EQ(before->tx_wxkey, "");
  EXPECT_EQ(before->jd_coo_wap, "");
  EXPECT_EQ(after->tx_wxkey, "key");
  EXPECT_EQ(after->jd_coo_wap, "wap=2");
  EXPECT_EQ(after->jd_coo_pc, "pc=1");
  EXPECT_EQ(after->keywords, (std::vector<Text>{"a"}));
  EXPECT_EQ(after->pl_kuai, 5);
}

TEST(ConfigStore, AReaderNeverSeesAHalfReplacedRecord) {
  ConfigStore store;
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  // Each published record keeps pl_kuai equal to the number of keywords and
  // every keyword equal to the push key.
  std::thread reader([&] {
    while (!done) {
      const auto config = store.current();
      if (config->pl_kuai != static_cast<int32_t>(config->keywords.size())) ++torn;
      for (const Text& word : config->keywords) {
        if (word != config->tx_wxkey) ++torn;
      }
    }
  });
  std::thread key_setter([&] {
    for (int i = 0; i < 2000; ++i) store.set_jd_cookie(i % 2 == 0, std::to_string(i));
  });
  for (int i = 0; i < 2000; ++i) {
    Configuration next;
    next.tx_wxkey = std::string(static_cast<size_t>(i % 50), 'k');
    next.keywords.assign(static_cast<size_t>(i % 7), next.tx_wxkey);
    next.pl_kuai = i % 7;
    store.replace(std::move(next));
  }
  key_setter.join();
  done = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace qnl
