#include "support/thread_pages.h"

#include "text/encoding.h"

namespace qnl::test {
namespace {

std::string page_head(const std::string& title_utf8, const std::string& formhash) {
  return "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
         "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n"
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" />\n"
         "<title>" +
         title_utf8 +
         " -  赚客吧 -  Powered by Discuz!</title>\n"
         "<meta name=\"generator\" content=\"Discuz! X3.4\" />\n"
         "<script type=\"text/javascript\">var STYLEID = '1', STATICURL = 'static/', "
         "IMGDIR = 'static/image/common', VERHASH = 'Rrh', charset = 'gbk', discuz_uid = '0', "
         "cookiepre = 'ki1e_2132_', cookiedomain = '', cookiepath = '/', showusercard = '1', "
         "attackevasive = '0', disallowfloat = 'newthread', creditnotice = '', "
         "defaultstyle = '', REPORTURL = 'aHR0cDovL3d3dy56dWFua2U4LmNvbS8=', "
         "SITEURL = 'http://www.zuanke8.com/', JSPATH = 'static/js/';</script>\n"
         "<script src=\"static/js/common.js?Rrh\" type=\"text/javascript\"></script>\n"
         "</head>\n<body id=\"nv_forum\" class=\"pg_viewthread\" onkeydown=\"if(event.keyCode==27) "
         "return false;\">\n<div id=\"toptb\" class=\"cl\"><div class=\"wp\">"
         "<div class=\"z\"><a href=\"javascript:;\"  "
         "onclick=\"setHomepage('http://www.zuanke8.com/');"
         "\">设为首页</a></div></div></div>\n"
         "<div id=\"hd\"><div class=\"wp\"><div class=\"hdc cl\"><h2><a href=\"./\" "
         "title=\"赚客吧\">"
         "<img src=\"static/image/common/logo.png\" alt=\"赚客吧\" border=\"0\" /></a></h2>\n"
         "<form method=\"post\" autocomplete=\"off\" id=\"lsform\" "
         "action=\"member.php?mod=logging&amp;action=login&amp;loginsubmit=yes&amp;infloat=yes&amp;"
         "lssubmit=yes\" onsubmit=\"return lsSubmit();\">\n"
         "<div class=\"fastlg cl\"><input type=\"text\" name=\"username\" id=\"ls_username\" "
         "autocomplete=\"off\" class=\"px vm\" tabindex=\"901\" />\n"
         "<input type=\"password\" name=\"password\" id=\"ls_password\" class=\"px vm\" "
         "autocomplete=\"off\" tabindex=\"902\" />\n"
         "<button type=\"submit\" class=\"pn vm\" tabindex=\"904\" style=\"width: 75px;\">"
         "<em>登录</em></button></div></form>\n</div></div></div>\n"
         "<div id=\"scbar\" class=\"cl\"><form id=\"scbar_form\" method=\"post\" "
         "autocomplete=\"off\" onsubmit=\"searchFocus($('scbar_txt'))\" "
         "action=\"search.php?searchsubmit=yes\" target=\"_blank\">\n"
         "<input type=\"hidden\" name=\"mod\" id=\"scbar_mod\" value=\"search\" />\n"
         "<input type=\"hidden\" name=\"formhash\" value=\"" +
         formhash +
         "\" />\n<input type=\"hidden\" name=\"srchtype\" value=\"title\" />\n"
         "</form></div>\n";
}

std::string author_link(const ThreadPage& page, const ThreadPost& post) {
  const std::string href = page.rewritten_links ? "space-uid-" + post.uid + ".html"
                                                : "home.php?mod=space&amp;uid=" + post.uid;
  return "<a href=\"" + href + "\" target=\"_blank\" class=\"xw1\"" +
         (post.coloured_group ? " style=\"color: #0033FF\"" : "") + ">" + post.author_utf8 + "</a>";
}

std::string post_markup(const ThreadPage& page, const ThreadPost& post, int floor) {
  const std::string& pid = post.pid;
  const std::string space = page.rewritten_links ? "space-uid-" + post.uid + ".html"
                                                 : "home.php?mod=space&amp;uid=" + post.uid;
  std::string r =
      "<div id=\"post_" + pid + "\" >\n<table id=\"pid" + pid + "\" class=\"plhin\" summary=\"pid" +
      pid +
      "\" cellspacing=\"0\" cellpadding=\"0\">\n<tr>\n"
      "<td class=\"pls\" rowspan=\"2\">\n<div id=\"favatar" +
      pid + "\" class=\"pls favatar\">\n<div class=\"pi\">\n<div class=\"authi\">" +
      author_link(page, post) +
      "</div>\n</div>\n<div class=\"p_pop blk bui card_gender_0\" id=\"userinfo" + pid +
      "\" style=\"display: none; margin-top: -11px;\">\n<div class=\"m z\">\n"
      "<div id=\"userinfo" +
      pid + "_ma\"></div>\n</div>\n<div class=\"i y\">\n<div>\n<strong><a href=\"" + space +
      "\" target=\"_blank\" class=\"xi2\">" + post.author_utf8 +
      "</a></strong>\n<em>当前离线</em>\n</div><dl class=\"cl\">\n<dt>积分</dt><dd><a href=\"" +
      space +
      "\" target=\"_blank\" class=\"xi2\">1520</a></dd>\n</dl></div>\n</div>\n<div>\n"
      "<div class=\"avatar\" onmouseover=\"showauthor(this, 'userinfo" +
      pid + "')\"><a href=\"" + space +
      "\" class=\"avtm\" target=\"_blank\"><img src=\"http://www.zuanke8.com/uc_server/avatar.php?"
      "uid=" +
      post.uid +
      "&size=middle\" /></a></div>\n</div>\n<p><em><a href=\"home.php?mod=spacecp&amp;ac=usergroup"
      "&amp;gid=12\" target=\"_blank\">中级会员</a></em></p>\n</div>\n</td>\n"
      "<td class=\"plc\">\n<div class=\"pi\">\n<strong>\n<a href=\"forum.php?mod=redirect&goto="
      "findpost&ptid=" +
      page.tid + "&pid=" + pid + "\"   id=\"postnum" + pid +
      "\" onclick=\"setCopy(this.href, '帖子地址复制成功');return false;\">\n" +
      (floor == 1 ? std::string("楼主") : std::to_string(floor) + "<sup>#</sup>") +
      "</a>\n</strong>\n<div class=\"pti\">\n<div class=\"pdbt\">\n</div>\n"
      "<div class=\"authi\">\n<img class=\"authicn vm\" id=\"authicon" +
      pid + "\" src=\"static/image/common/online_member.gif\" />\n<em id=\"authorposton" + pid +
      "\">发表于 2026-12-9 03:20</em>\n<span class=\"pipe\">|</span>\n"
      "<a href=\"forum.php?mod=viewthread&amp;tid=" +
      page.tid + "&amp;page=1&amp;authorid=" + post.uid + "\" rel=\"nofollow\">只看该作者</a>\n";
  if (floor == 1)
    r += "<span class=\"pipe show\">|</span><a href=\"forum.php?mod=viewthread&amp;"
         "action=printable&amp;tid=" +
         page.tid +
         "\" title=\"打印\" target=\"_blank\"><img src=\"static/image/common/print.png\" "
         "alt=\"打印\" class=\"vm\" /></a>\n";
  r += "</div>\n</div>\n</div><div class=\"pct\"><style type=\"text/css\">.pcb{margin-right:0}"
       "</style><div class=\"pcb\">\n<div class=\"t_fsz\">\n"
       "<table cellspacing=\"0\" cellpadding=\"0\"><tr><td class=\"t_f\" id=\"postmessage_" +
       pid + "\">\n" + post.message_html_utf8 + "</td></tr></table>\n\n</div>\n<div id=\"comment_" +
       pid + "\" class=\"cm\">\n</div>\n\n<div id=\"post_rate_div_" + pid +
       "\"></div>\n</div>\n</div>\n\n</td></tr>\n<tr><td class=\"plc plm\">\n</td>\n</tr>\n"
       "<tr id=\"_postposition" +
       pid +
       "\"></tr>\n<tr>\n<td class=\"pls\"></td>\n<td class=\"plc\" style=\"overflow:visible;\">\n"
       "<div class=\"po hin\">\n<div class=\"pob cl\">\n<em>\n<a class=\"fastre\" "
       "href=\"forum.php?mod=post&amp;action=reply&amp;fid=" +
       page.fid + "&amp;tid=" + page.tid + "&amp;repquote=" + pid +
       "&amp;extra=page%3D1&amp;page=1\" onclick=\"showWindow('reply', this.href)\">回复</a>\n"
       "</em>\n</div>\n</div>\n</td>\n</tr>\n</table>\n</div><div id=\"postlistreply\" "
       "class=\"pl\"><div id=\"post_new\" class=\"viewthread_table\" style=\"display: none\">"
       "</div></div>\n";
  return r;
}

}  // namespace

Text discuz_thread_page(const ThreadPage& page) {
  std::string html = page_head(page.title_utf8, page.formhash);
  html +=
      "<div id=\"pt\" class=\"bm cl\">\n<div class=\"z\">\n<a href=\"./\" class=\"nvhm\" "
      "title=\"首页\">赚客吧</a> <em>&raquo;</em>\n<a href=\"forum.php\">论坛</a> "
      "<em>&rsaquo;</em> <a href=\"forum.php?gid=1\">赚客吧</a> <em>&rsaquo;</em> "
      "<a href=\"forum.php?mod=forumdisplay&amp;fid=" +
      page.fid +
      "\">赚客大家谈</a> <em>&rsaquo;</em> <a href=\"forum.php?mod=viewthread&amp;tid=" + page.tid +
      "\">" + page.title_utf8 +
      "</a>\n</div>\n</div>\n<div id=\"wp\" class=\"wp\">\n"
      "<div id=\"pgt\" class=\"pgs mbm cl \">\n<span class=\"y pgb\"><a "
      "href=\"forum.php?mod=forumdisplay&amp;fid=" +
      page.fid +
      "\">返回列表</a></span>\n<a id=\"newspecial\" onmouseover=\"$('newspecial').id = "
      "'newspecialtmp';this.id = 'newspecial';showMenu({'ctrlid':this.id})\" "
      "onclick=\"showWindow('newthread', 'forum.php?mod=post&action=newthread&fid=" +
      page.fid +
      "')\" href=\"javascript:;\" title=\"发新帖\"><img src=\"static/image/common/pn_post.png\" "
      "alt=\"发新帖\" /></a></div>\n"
      "<div id=\"postlist\" class=\"pl bm\">\n<table cellspacing=\"0\" cellpadding=\"0\">\n"
      "<tr>\n<td class=\"pls ptn pbn\">\n<div class=\"hm ptn\">\n<span class=\"xg1\">查看:"
      "</span> <span class=\"xi1\">1203</span><span class=\"pipe\">|</span><span "
      "class=\"xg1\">回复:</span> <span class=\"xi1\">" +
      std::to_string(page.posts.size() - 1) +
      "</span>\n</div>\n</td>\n<td class=\"plc ptm pbn vwthd\">\n<h1 class=\"ts\">\n"
      "<span id=\"thread_subject\">" +
      page.title_utf8 +
      "</span>\n</h1>\n<span class=\"xg1\">\n<a href=\"forum.php?mod=viewthread&amp;tid=" +
      page.tid +
      "\" onclick=\"return copyThreadUrl(this, '赚客吧')\" >[复制链接]</a>\n</span>\n</td>\n"
      "</tr>\n</table>\n\n\n<table cellspacing=\"0\" cellpadding=\"0\" class=\"ad\">\n"
      "<tr>\n<td class=\"pls\">\n</td>\n<td class=\"plc\">\n</td>\n</tr>\n</table>";
  int floor = 0;
  for (const ThreadPost& post : page.posts) html += post_markup(page, post, ++floor);
  html +=
      "</div>\n\n<form method=\"post\" autocomplete=\"off\" name=\"modactions\" "
      "id=\"modactions\">\n<input type=\"hidden\" name=\"formhash\" value=\"" +
      page.formhash +
      "\" />\n<input type=\"hidden\" name=\"optgroup\" />\n</form>\n\n"
      "<div id=\"f_pst\" class=\"pl bm bmw\">\n<form method=\"post\" autocomplete=\"off\" "
      "id=\"fastpostform\" action=\"forum.php?mod=post&amp;action=reply&amp;fid=" +
      page.fid + "&amp;tid=" + page.tid +
      "&amp;extra=page%3D1&amp;replysubmit=yes&amp;infloat=yes&amp;handlekey=fastpost\" "
      "onSubmit=\"return fastpostvalidate(this)\">\n<textarea rows=\"6\" cols=\"80\" "
      "name=\"message\" id=\"fastpostmessage\" tabindex=\"4\" class=\"pt\"></textarea>\n"
      "<input type=\"hidden\" name=\"formhash\" value=\"" +
      page.formhash +
      "\" />\n<input type=\"hidden\" name=\"usesig\" value=\"\" />\n</form>\n</div>\n</div>\n"
      "<div id=\"ft\" class=\"wp cl\">\n<div id=\"flk\" class=\"y\">\n<p>\n"
      "<a href=\"archiver/\" >Archiver</a><span class=\"pipe\">|</span><strong><a "
      "href=\"http://www.zuanke8.com/\" target=\"_blank\">赚客吧</a></strong>\n</p>\n</div>\n"
      "<div id=\"frt\">\n<p>Powered by <strong><a href=\"http://www.discuz.net\" "
      "target=\"_blank\">Discuz!</a></strong> <em>X3.4</em></p>\n</div>\n</div>\n"
      "<script type=\"text/javascript\">var postminchars = parseInt('10');</script>\n"
      "</body>\n</html>\n";
  return utf8_to_local(html);
}

ThreadPage sample_thread_page() {
  ThreadPage page;
  page.title_utf8 = "京东PLUS会员 领满199减100券";
  page.posts = {
      {"19133954", "446740", "赚友甲",
       "领券地址在这里，速度<br />\r\n<br />\r\n<ignore_js_op>\r\n\r\n<img id=\"aimg_3201\" "
       "aid=\"3201\" src=\"static/image/common/none.gif\" "
       "zoomfile=\"data/attachment/forum/202612/09/quan.jpg\" "
       "file=\"data/attachment/forum/202612/09/quan.jpg\" class=\"zoom\" onclick=\"zoom(this, "
       "this.src, 0, 0, 0)\" width=\"600\" inpost=\"1\" />\r\n\r\n</ignore_js_op>\r\n<br />",
       false},
      {"19133960", "512001", "版主乙", "已领，<font color=\"Red\">谢谢分享</font>", true},
      {"19133971", "600315", "赚友丙", "没货了？", false},
  };
  return page;
}

Text discuz_message_page(const std::string& message_utf8) {
  std::string html = page_head("提示信息", "f472fc1f");
  html +=
      "<div id=\"wp\" class=\"wp\">\n<div id=\"ct\" class=\"wp cl w\">\n<div class=\"nfl\">\n"
      "<div class=\"f_c altw\">\n<div id=\"messagetext\" class=\"alert_error\">\n<p>" +
      message_utf8 +
      "</p>\n<script type=\"text/javascript\" reload=\"1\">if(history.length > "
      "(BROWSER.ie ? 0 : 1)) {document.write('<p class=\"alert_btnleft\"><a "
      "href=\"javascript:history.back()\">[点击这里返回上一页]</a></p>');}</script>\n"
      "</div>\n</div>\n</div>\n</div>\n</div>\n</body>\n</html>\n";
  return utf8_to_local(html);
}

}  // namespace qnl::test
