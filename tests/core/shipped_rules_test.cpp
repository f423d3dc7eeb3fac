// The shipped crawl rules against listing pages built from the boards' real
// markup, pushed through the extraction the crawler uses: cut between the
// markers, flatten, per-rule cleaning, the rule's expression with case
// ignored, the title and id groups, and the post address from pinurl.
#include <gtest/gtest.h>

#include <map>

#include "storage/database.h"
#include "support/test_database.h"
#include "text/encoding.h"
#include "text/regex.h"
#include "text/text.h"

namespace qnl {
namespace {

using test::gbk;

struct Found {
  Text id;
  Text title;
  Text url;
  bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& found) {
  return out << "{" << found.id << ", " << local_to_utf8(found.title) << ", " << found.url << "}";
}

// Columns of the rule load: id, isdo, rank, isgbk, type, name, url, cookie,
// reg, before, after, tindex, idindex, pinurl, lastid.
enum Column {
  kId,
  kIsdo,
  kRank,
  kIsgbk,
  kType,
  kName,
  kUrl,
  kCookie,
  kReg,
  kBefore,
  kAfter,
  kTindex,
  kIdindex,
  kPinurl,
  kLastid
};

class ShippedRules : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::ShippedDatabase shipped;
    ASSERT_TRUE(shipped.ok());
    Database db;
    ASSERT_TRUE(db.db_open(shipped.path()));
    const QueryResult result = db.load_rules();
    ASSERT_EQ(result.db_column_count(), 15);
    rules_ = new std::map<int, std::vector<Text>>();
    order_ = new std::vector<int>();
    for (const auto& row : result.rows) {
      const int id = static_cast<int>(to_integer(row[kId]));
      (*rules_)[id] = row;
      order_->push_back(id);
    }
  }
  static void TearDownTestSuite() {
    delete rules_;
    delete order_;
    rules_ = nullptr;
    order_ = nullptr;
  }

  static const std::vector<Text>& rule(int id) {
    static const std::vector<Text> none(15);
    const auto found = rules_->find(id);
    return found == rules_->end() ? none : found->second;
  }

  // The page as the crawler prepares it and the posts it picks out, in page
  // order.
  static std::vector<Found> extract(int id, std::string_view body) {
    const std::vector<Text>& r = rule(id);
    Text page = r[kIsgbk] == "1" ? Text(body) : utf8_bytes_to_text(body);
    if (!r[kBefore].empty()) page = text_between(page, r[kBefore], r[kAfter]);
    flatten_page(page);
    if (id >= 1 && id <= 5) {
      page = regex_replace_all("<img src=.*?/>", page, "");
      page = regex_replace_all("<span class=tps>.*?</span>", page, "");
      page = regex_replace_all("<span class=xw1>", page, "");
      page = regex_replace_all("</span>]", page, "]");
      page = regex_replace_all("</a>", page, "");
    } else if (id == 12) {
      page = regex_replace_all("<font.*?>", page, "");
      page = replace_text(page, "</font>", "", 1, -1, true);
    }
    CompiledRegex expression;
    EXPECT_TRUE(regex_compile(expression, r[kReg], false)) << "rule " << id;
    const int tindex = static_cast<int>(to_integer(r[kTindex]));
    const int idindex = static_cast<int>(to_integer(r[kIdindex]));
    const Text placeholder = "[" + std::to_string(idindex) + "]";
    std::vector<Found> found;
    for (const RegexMatch& match : regex_search_all(expression, page)) {
      Found post;
      post.id = match_group_text(match, page, idindex);
      post.title = match_group_text(match, page, tindex);
      post.url = replace_text(r[kPinurl], placeholder, post.id, 1, -1, true);
      found.push_back(post);
    }
    return found;
  }

  static std::map<int, std::vector<Text>>* rules_;
  static std::vector<int>* order_;
};

std::map<int, std::vector<Text>>* ShippedRules::rules_ = nullptr;
std::vector<int>* ShippedRules::order_ = nullptr;

// ---- 赚客吧 forum listings (GBK), stock Discuz X3 thread table ----

// One ordinary row. `link` is the title link's address as the page writes it.
std::string zuanke_row(const std::string& tid, const std::string& link, const std::string& title,
                       const std::string& type, const std::string& after_title,
                       const std::string& highlight = "") {
  std::string row = R"html(
<tbody id="normalthread_)html" +
                    tid + R"html(">
<tr>
<td class="icn">
<a href=")html" + link +
                    R"html(" title="有新回复 - 新窗口打开" target="_blank">
<img src="static/image/common/folder_new.gif" />
</a>
</td>
<th class="new">
<a href="javascript:;" id="content_)html" +
                    tid +
                    R"html(" class="showcontent y" title="更多操作" onclick="CONTENT_TID=')html" +
                    tid + R"html(';CONTENT_ID='normalthread_)html" + tid +
                    R"html(';showMenu({'ctrlid':this.id,'menuid':'content_menu'})"></a>
)html";
  if (!type.empty()) {
    row += "<em>[<a href=\"forum.php?mod=forumdisplay&fid=15&amp;filter=typeid&amp;typeid=14\">" +
           type + "</a>]</em> ";
  }
  row += "<a href=\"" + link + "\"" + highlight + "  class=\"s xst\" target=\"_blank\">" + title +
         "</a>\n" + after_title + R"html(
</th>
<td class="by">
<cite><a href="space-uid-446740.html" c="1">赚友</a></cite>
<em><span><span title="2024-3-7">3 分钟前</span></span></em>
</td>
<td class="num"><a href="forum.php?mod=viewthread&amp;tid=)html" +
         tid + R"html(" class="xi2">3</a><em>120</em></td>
</tr>
</tbody>)html";
  return row;
}

std::string dateline_link(const std::string& tid) {
  return "forum.php?mod=viewthread&amp;tid=" + tid +
         "&amp;extra=page%3D1%26filter%3Dauthor%26orderby%3Ddateline";
}

std::string zuanke_listing(bool with_pinned) {
  std::string page = R"html(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN">
<html><head><meta http-equiv="Content-Type" content="text/html; charset=gbk" />
<title>赚客大家谈 -  赚客吧</title></head><body>
<div id="hd"><a href="thread-5000001-1-1.html"  class="s xst" target="_blank">页头推荐</a></div>
<div id="threadlist" class="tl bm bmw">
<form method="post" autocomplete="off" name="moderate" id="moderate" action="forum.php?mod=topicadmin&amp;action=moderate&amp;fid=15&amp;infloat=yes&amp;nopost=yes">
<table summary="forum_15" cellspacing="0" cellpadding="0" id="threadlisttableid">
)html";
  if (with_pinned) {
    page += R"html(<tbody id="stickthread_5230894">
<tr><td class="icn"><a href="thread-5230894-1-1.html" title="全局置顶主题 - 新窗口打开" target="_blank"><img src="static/image/common/pin_3.gif" alt="全局置顶" /></a></td>
<th class="common"><a href="thread-5230894-1-1.html"  class="s xst" target="_blank">论坛版规（必读）</a>
</th></tr></tbody>
<tbody id="stickthread_5230895">
<tr><td class="icn"><a href="thread-5230895-1-1.html" target="_blank"><img src="static/image/common/pin_1.gif" alt="本版置顶" /></a></td>
<th class="common"><a href="thread-5230895-1-1.html"  class="s xst" target="_blank">发帖须知</a>
</th></tr></tbody>
<tbody id="separatorline">
<tr class="ts"><td>&nbsp;</td><th><a href="javascript:;" onclick="checkForumnew_btn('15')" title="查看更新" class="forumrefresh">版块主题</a></th><td>&nbsp;</td><td>&nbsp;</td></tr>
</tbody>)html";
  }
  page += zuanke_row("6699009", dateline_link("6699009"), "京东PLUS会员 领&quot;满199减100&quot;券",
                     "线报", R"html( - [阅读权限 <span class="xw1">10</span>])html");
  page += zuanke_row(
      "6699008", "http://www.zuanke8.com/thread-6699008-1-1.html", "工行 1元购 话费 &lt;限时&gt;",
      "",
      R"html(<img src="static/image/filetype/image_s.gif" alt="attach_img" title="图片附件" align="absmiddle" />
<span class="tps">&nbsp;...<a href="thread-6699008-2-1.html">2</a><a href="thread-6699008-3-1.html">3</a></span>
<a href="forum.php?mod=redirect&amp;tid=6699008&amp;goto=lastpost#lastpost" class="xi1">New</a>)html");
  page += zuanke_row("6699007", "thread-6699007-1-1.html", "招行'掌上生活'抽奖", "活动", "",
                     " style=\"color: #EC1282;\"");
  page += R"html(
</table>
</form>
</div>
<div id="ft"><a href="thread-5000002-1-1.html"  class="s xst" target="_blank">页脚链接</a></div>
</body></html>)html";
  return gbk(page.c_str());
}

TEST_F(ShippedRules, LoadedInTreeOrderWithOnlyTheMainBoardTicked) {
  EXPECT_EQ(*order_, (std::vector<int>{1, 2, 3, 4, 5, 11, 10, 6, 9, 12}));
  for (const int id : *order_) {
    const std::vector<Text>& r = rule(id);
    EXPECT_EQ(r[kIsdo], id == 1 ? "1" : "0") << id;
    EXPECT_FALSE(r[kName].empty()) << id;
    EXPECT_EQ(r[kUrl].rfind("http", 0), 0u) << id;
    EXPECT_NE(find_text(r[kPinurl], "[" + r[kIdindex] + "]"), -1) << id;
    CompiledRegex expression;
    EXPECT_TRUE(regex_compile(expression, r[kReg], false)) << id;
  }
  EXPECT_EQ(rule(11)[kName], gbk("赚吧免登"));
}

TEST_F(ShippedRules, ForumBoardsOneToFiveFindNormalThreadsWithTheirMarks) {
  const std::vector<Found> expected = {
      {"6699009", gbk("京东PLUS会员 领满199减100券 - [阅读权限 10]"),
       "http://www.zuanke8.com/thread-6699009-1-1.html"},
      {"6699008", gbk("工行 1元购 话费 <限时>"), "http://www.zuanke8.com/thread-6699008-1-1.html"},
      {"6699007", gbk("招行掌上生活抽奖"), "http://www.zuanke8.com/thread-6699007-1-1.html"},
  };
  for (int id = 1; id <= 5; ++id) {
    EXPECT_EQ(rule(id)[kIsgbk], "1");
    EXPECT_EQ(extract(id, zuanke_listing(true)), expected) << "rule " << id;
    // A board without pinned threads has no separator row.
    EXPECT_EQ(extract(id, zuanke_listing(false)), expected) << "rule " << id;
  }
}

TEST_F(ShippedRules, ForumBoardFindsNothingOnAPageWithoutTheList) {
  const Text no_permission = gbk(
      "<html><head><title>提示信息 -  赚客吧</title></head><body><div class=\"alert_error\">"
      "<p>抱歉，您需要登录才能访问</p><a href=\"thread-6699001-1-1.html\"  class=\"s xst\">x</a>"
      "</div></body></html>");
  EXPECT_TRUE(extract(1, no_permission).empty());
}

TEST_F(ShippedRules, PrintableForumBoardTenKeepsTheViewThreadAddress) {
  const std::vector<Found> expected = {
      {"6699009", gbk("京东PLUS会员 领满199减100券"),
       "http://www.zuanke8.com/forum.php?mod=viewthread&tid=6699009"},
      {"6699008", gbk("工行 1元购 话费 <限时>"),
       "http://www.zuanke8.com/forum.php?mod=viewthread&tid=6699008"},
      {"6699007", gbk("招行掌上生活抽奖"),
       "http://www.zuanke8.com/forum.php?mod=viewthread&tid=6699007"},
  };
  EXPECT_EQ(extract(10, zuanke_listing(true)), expected);
}

// ---- 赚客吧 archive (GBK) ----

TEST_F(ShippedRules, ArchiveListingGivesThreadAddressesForTheArchiveReader) {
  const Text page = gbk(R"html(<!DOCTYPE html>
<html><head><meta http-equiv="Content-Type" content="text/html; charset=gbk" />
<base href="http://www.zuanke8.com/archiver/" /><title>赚客大家谈 - 赚客吧 -  Powered by Discuz! Archiver</title></head>
<body>
<div id="nav">
	<a href="./">论坛</a> &rsaquo; 赚客大家谈
</div>
<div id="content">
	<ul>
		<li><a href="?fid-66.html">子版块</a></li>
	</ul>
	<ul type="1" start="1">
		<li><a href="?tid-6699012.html">建行 &quot;龙卡&quot; 5元立减金</a> (3 篇回复)
		<li><a href="?tid-6699011.html">支付宝 消费红包</a> (0 篇回复)
	</ul>
	<div class="page">
		<strong>1</strong><a href="?fid-15-2.html">2</a>
	</div>
</div>
<div id="end">查看完整版本: <a href="../forum-15-1.html" target="_blank"><strong>赚客大家谈</strong></a></div>
</body></html>)html");
  const std::vector<Found> expected = {
      {"6699012", gbk("建行 龙卡 5元立减金"), "http://www.zuanke8.com/thread-6699012-1-1.html"},
      {"6699011", gbk("支付宝 消费红包"), "http://www.zuanke8.com/thread-6699011-1-1.html"},
  };
  EXPECT_EQ(extract(11, page), expected);
  EXPECT_EQ(rule(11)[kType], "8");
}

// ---- Other Discuz boards ----

TEST_F(ShippedRules, XianbaoWuGuideRowsGiveViewThreadAddresses) {
  const Text page =
      gbk(R"html(<html><head><meta charset="gbk" /><title>最新发表 - 线报屋</title></head><body>
<div class="comeing_channel"><table cellspacing="0" cellpadding="0" class="comeing_channel_threadlist">
<tr>
<td class="comeing_channel_threadlist_sub">
<h3><a href="forum.php?mod=viewthread&tid=88002" target="_blank" style="color: #EE1B2E;">支付宝 每天领红包</a></h3>
<p><a href="home.php?mod=space&uid=5" target="_blank">小屋</a> 发表于 <span title="2024-3-7 10:00">1 小时前</span> 浏览 12</p>
</td>
<td class="comeing_channel_threadlist_info"><p><span>回复 3</span></p></td>
</tr>
<tr>
<td class="comeing_channel_threadlist_sub">
<h3><a href="thread-88001-1-1.html" target="_blank">联通 免费领5G流量</a></h3>
<p><a href="home.php?mod=space&uid=6" target="_blank">屋主</a> 发表于 <span>2 小时前</span></p>
</td>
<td class="comeing_channel_threadlist_info"><p><span>回复 0</span></p></td>
</tr>
</table></div>
<div class="pg"><a href="forum.php?mod=guide&view=newthread&page=2" class="nxt">下一页</a></div>
</body></html>)html");
  const std::vector<Found> expected = {
      {"88002", gbk("支付宝 每天领红包"),
       "http://www.xianbao5.com/forum.php?mod=viewthread&tid=88002"},
      {"88001", gbk("联通 免费领5G流量"),
       "http://www.xianbao5.com/forum.php?mod=viewthread&tid=88001"},
  };
  EXPECT_EQ(extract(6, page), expected);
}

TEST_F(ShippedRules, XinZhuanBaStockGuideRowsFromAUtf8Page) {
  EXPECT_NE(rule(9)[kIsgbk], "1");
  // The body stays UTF-8 bytes, as the site sends it.
  const std::string page = R"html(<html><head><meta charset="utf-8" /></head><body>
<div id="threadlist" class="tl bm"><div class="bm_c"><table cellspacing="0" cellpadding="0">
<tbody id="normalthread_31001">
<tr>
<td class="icn"><a href="forum.php?mod=viewthread&amp;tid=31001&amp;extra=" target="_blank" title="新窗口打开"><img src="static/image/common/folder_new.gif" /></a></td>
<th class="common">
<a href="forum.php?mod=viewthread&amp;tid=31001&amp;extra="  target="_blank" class="xst" >京东 满199减100 神券</a>
</th>
<td class="by"><a href="forum.php?mod=forumdisplay&amp;fid=2" target="_blank">线报</a></td>
<td class="by"><cite><a href="home.php?mod=space&amp;uid=9">赚友</a></cite><em><span>刚刚</span></em></td>
</tr>
</tbody>
<tbody id="normalthread_31000">
<tr>
<td class="icn"><a href="thread-31000-1-1.html" target="_blank"><img src="static/image/common/folder_common.gif" /></a></td>
<th class="common">
<a href="thread-31000-1-1.html" style="color: #3C9D40;" target="_blank" class="xst" >淘宝 签到领金币</a> - [阅读权限 <span class="xw1">20</span>]
</th>
</tr>
</tbody>
</table></div></div></body></html>)html";
  const std::vector<Found> expected = {
      {"31001", gbk("京东 满199减100 神券"), "https://xzba.cc/forum.php?mod=viewthread&tid=31001"},
      {"31000", gbk("淘宝 签到领金币"), "https://xzba.cc/forum.php?mod=viewthread&tid=31000"},
  };
  EXPECT_EQ(extract(9, page), expected);
}

// ---- 爱Q生活网 (GBK) ----

TEST_F(ShippedRules, ArticleSiteLosesFontTagsAndKeepsTheArticlePath) {
  const Text page =
      gbk(R"html(<html><head><meta http-equiv="Content-Type" content="text/html; charset=gb2312" />
<title>最新线报_爱Q生活网</title></head><body>
<div class="nav"><a href="/">首页</a><a href="/wyfx/">网赚分享</a><a href="/hfll/">话费流量</a></div>
<div class="news-comm-wrap"><ul>
<li><a href="/wyfx/113046.html" target="_blank"><img src="https://pic.iqshw.com/a.jpg" alt="x" /></a></li>
<li><a href="/wyfx/113045.html" title="京东领10元话费" target="_blank"><font color="red">京东</font>领10元话费</a><em>03-07</em></li>
<li><a href="https://www.iqshw.com/hfll/2024/0307/113044.html" target="_blank">移动 免费领1G流量</a><em>03-07</em></li>
</ul></div>
<div class="pages"><a href="/post/new_100/index_2.html">下一页</a></div>
</body></html>)html");
  const std::vector<Found> expected = {
      {"/wyfx/113045.html", gbk("京东领10元话费"), "https://www.iqshw.com/wyfx/113045.html"},
      {"/hfll/2024/0307/113044.html", gbk("移动 免费领1G流量"),
       "https://www.iqshw.com/hfll/2024/0307/113044.html"},
  };
  EXPECT_EQ(extract(12, page), expected);
}

}  // namespace
}  // namespace qnl
