#include "support/listing_pages.h"

#include "text/encoding.h"

namespace qnl::test {
namespace {

std::string row(const ListedThread& t) {
  const std::string link = t.rewritten_link
                               ? "thread-" + t.tid + "-1-1.html"
                               : "forum.php?mod=viewthread&amp;tid=" + t.tid +
                                     "&amp;extra=page%3D1%26filter%3Dauthor%26orderby%3Ddateline";
  std::string r = "\n<tbody id=\"normalthread_" + t.tid +
                  "\">\n<tr>\n<td class=\"icn\">\n<a href=\"" + link +
                  "\" title=\"有新回复 - 新窗口打开\" target=\"_blank\">\n"
                  "<img src=\"static/image/common/folder_new.gif\" />\n</a>\n</td>\n"
                  "<th class=\"new\">\n<a href=\"javascript:;\" id=\"content_" +
                  t.tid + "\" class=\"showcontent y\" title=\"更多操作\" onclick=\"CONTENT_TID='" +
                  t.tid + "';CONTENT_ID='normalthread_" + t.tid +
                  "';showMenu({'ctrlid':this.id,'menuid':'content_menu'})\"></a>\n";
  if (!t.type_utf8.empty())
    r += "<em>[<a href=\"forum.php?mod=forumdisplay&fid=15&amp;filter=typeid&amp;typeid=14\">" +
         t.type_utf8 + "</a>]</em> ";
  r += "<a href=\"" + link + "\"  class=\"s xst\" target=\"_blank\">" + t.title_utf8 + "</a>\n";
  if (t.read_permission) r += " - [阅读权限 <span class=\"xw1\">10</span>]";
  r += "<img src=\"static/image/filetype/image_s.gif\" alt=\"attach_img\" title=\"图片附件\" "
       "align=\"absmiddle\" />\n"
       "</th>\n<td class=\"by\">\n<cite>\n<a href=\"space-uid-446740.html\" c=\"1\">赚友" +
       t.tid.substr(t.tid.size() > 3 ? t.tid.size() - 3 : 0) +
       "</a></cite>\n<em><span><span title=\"2026-12-9\">3 分钟前</span></span></em>\n</td>\n"
       "<td class=\"num\"><a href=\"forum.php?mod=viewthread&amp;tid=" +
       t.tid +
       "\" class=\"xi2\">3</a><em>120</em></td>\n<td class=\"by\">\n<cite><a "
       "href=\"space-username-abc.html\" c=\"1\">回复者</a></cite>\n<em><a "
       "href=\"forum.php?mod=redirect&tid=" +
       t.tid + "&goto=lastpost#lastpost\">2026-12-9 07:58</a></em>\n</td>\n</tr>\n</tbody>";
  return r;
}

const char* const kTitles[] = {
    "京东PLUS会员 领&quot;满199减100&quot;券",
    "工行 1元购 话费 &lt;限时&gt;",
    "招行掌上生活 周三5折",
    "支付宝 消费券 速度",
    "建行 龙支付 随机立减",
    "拼多多 0.01元 抢纸巾",
    "中行 缤纷生活 10元话费",
    "美团 外卖 红包 20-15",
    "农行 小豆 兑换 视频会员",
    "淘宝 88VIP 领 猫超卡",
};

}  // namespace

std::vector<ListedThread> sample_threads(int count, long first_tid) {
  std::vector<ListedThread> threads;
  for (int i = 0; i < count; ++i) {
    ListedThread t;
    t.tid = std::to_string(first_tid - i);
    t.title_utf8 = std::string(kTitles[i % 10]) + " 第" + std::to_string(i + 1) + "波";
    t.type_utf8 = i % 3 == 0 ? "线报" : "";
    t.read_permission = i % 7 == 3;
    t.rewritten_link = i % 2 == 1;
    threads.push_back(t);
  }
  return threads;
}

Text discuz_listing(const std::vector<ListedThread>& threads, bool with_pinned, int padding_kb) {
  std::string page =
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\">\n<html><head>"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" />\n"
      "<title>赚客大家谈 -  赚客吧</title></head><body>\n";
  // Page furniture before the list: menus, scripts, the board's rules box.
  std::string furniture;
  while (static_cast<int>(furniture.size()) < padding_kb * 1024 / 2) {
    furniture +=
        "<li><a href=\"forum.php?mod=forumdisplay&amp;fid=2\" title=\"免费赠品\">免费赠品</a>"
        "<script type=\"text/javascript\">var cookiepre = 'ki1e_2132_', cookiedomain = '', "
        "cookiepath = '/';</script></li>\n<div class=\"bm_c\"><p>请勿发布与活动无关的内容，"
        "违者扣分处理。&nbsp;&nbsp;<a href=\"home.php?mod=space&amp;uid=1\">版主</a></p></div>\n";
  }
  page += furniture;
  page +=
      "<div id=\"threadlist\" class=\"tl bm bmw\">\n<form method=\"post\" autocomplete=\"off\" "
      "name=\"moderate\" id=\"moderate\" action=\"forum.php?mod=topicadmin&amp;action=moderate\">\n"
      "<table summary=\"forum_15\" cellspacing=\"0\" cellpadding=\"0\" id=\"threadlisttableid\">\n";
  if (with_pinned) {
    page +=
        "<tbody id=\"stickthread_5230894\">\n<tr><td class=\"icn\"><a "
        "href=\"thread-5230894-1-1.html\" target=\"_blank\"><img "
        "src=\"static/image/common/pin_3.gif\" alt=\"全局置顶\" /></a></td>\n<th "
        "class=\"common\"><a href=\"thread-5230894-1-1.html\"  class=\"s xst\" "
        "target=\"_blank\">论坛版规（必读）</a>\n</th></tr></tbody>\n<tbody "
        "id=\"separatorline\">\n<tr class=\"ts\"><td>&nbsp;</td><th><a href=\"javascript:;\" "
        "class=\"forumrefresh\">版块主题</a></th><td>&nbsp;</td></tr>\n</tbody>";
  }
  for (const ListedThread& t : threads) page += row(t);
  page += "\n</table>\n</form>\n</div>\n";
  page += furniture;
  page += "<div id=\"ft\">Powered by Discuz! X3.4</div>\n</body></html>";
  return utf8_to_local(page);
}

}  // namespace qnl::test
