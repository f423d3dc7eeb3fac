// The rule-specific clean-up of a flattened listing before its expression
// runs.
#include <gtest/gtest.h>

#include "monitor/crawler.h"
#include "text/encoding.h"

namespace qnl {
namespace {

struct PreparationCase {
  int rule_id;
  const char* listing;   // UTF-8 here, CP936 in the test
  const char* prepared;  // UTF-8
};

class ListingPreparation : public ::testing::TestWithParam<PreparationCase> {};

TEST_P(ListingPreparation, CleansTheListingByRule) {
  const PreparationCase& c = GetParam();
  Text listing = utf8_to_local(c.listing);
  prepare_listing(c.rule_id, listing);
  EXPECT_EQ(local_to_utf8(listing), c.prepared);
}

constexpr char kForumRow[] =
    "<a href=thread-1-1-1.html class=s xst>标题<IMG SRC=a.gif /></A> - [阅读权限 "
    "<span class=xw1>10</span>]<span class=tps>页</span>";

INSTANTIATE_TEST_SUITE_P(
    Rules, ListingPreparation,
    ::testing::Values(
        PreparationCase{1, kForumRow, "<a href=thread-1-1-1.html class=s xst>标题 - [阅读权限 10]"},
        PreparationCase{5, kForumRow, "<a href=thread-1-1-1.html class=s xst>标题 - [阅读权限 10]"},
        PreparationCase{12, "<FONT color=red>红</FONT><font size=2>字</font>", "红</FONT>字"},
        // A chat-group number on rule 6's board stays as the board shows it.
        PreparationCase{6, "加群 830862154 <a href=x>帖</a>", "加群 830862154 <a href=x>帖</a>"},
        PreparationCase{7, kForumRow, kForumRow}, PreparationCase{11, kForumRow, kForumRow}));

}  // namespace
}  // namespace qnl
