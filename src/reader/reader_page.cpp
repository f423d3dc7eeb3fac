#include "reader/reader_page.h"

#include <random>
#include <string>

#include "monitor/crawl_rules.h"
#include "net/endpoints.h"
#include "net/web_request.h"
#include "text/encoding.h"
#include "text/regex.h"
#include "text/time_text.h"

namespace qnl {
namespace {

// The template up to the post content and from it on. The forum's
// whole-page replacements can never match across the joins (the pieces meet
// at tags), so each piece can be treated on its own: the post content never
// reaches the places where the page's own script and its policy are marked.
constexpr char kTemplateHead[] = R"HTML(<!DOCTYPE html>
<base href="@kkbase" />
<html xmlns="http://www.w3.org/1999/xhtml">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8" />
<title>qnl6</title>
<style type="text/css">
*{margin:0;padding:0;font-size:12px;}
body{background:#eaeef3;}
#kkh3{position:fixed;top:0;left:0;width:100%;height:28px;font-size:14px;font-weight:normal;background:#e8e8e8;color:#333;padding-left:12px;}
#kkinfo{margin-top:30px;line-height:26px;overflow:hidden;}
a{color:#4e9c62;}
.artli{background:#dfeae7;border:1px dashed #2285ff;margin-top:20px;padding:12px 6px;line-height:26px;border-top-left-radius:10px;}
.aimg_tip,.xs0{display:none;}
img{max-width:98%;}
::-webkit-scrollbar{width:6px;height:6px;}
::-webkit-scrollbar-thumb{background:#d6d6d6;}
::-webkit-scrollbar-thumb:hover{background:#bcbcbc;}
::-webkit-scrollbar-track{background:#fff;}
</style>
</head>
<body>
<a id="kkh3" href1="@kkurl" title="在浏览器中访问原网页">@kktitle</a>
<div id="kkinfo">)HTML";

// "@kkreply" stands for the forum's reply address (the host lives with the
// other endpoints). The reply anchor gets its click handler from the page's
// own script: the policy allows no inline handlers.
constexpr char kTemplateTail[] = R"HTML(</div>
<div id="kkpage">@kkpage</div>
<div class="rep-main" style="display:none;zz;position:fixed;bottom:0;left:0;width:100%;height:50px;">
<form method="post" action="@kkreply">
<textarea name="message" id="message" style="width:70%;height:50px;"></textarea><a id="kkreply" style="display:inline-block;vertical-align:top;width:28%;height:50px;line-height:50px;text-align:center;background:#9fbde4;color:#fff;cursor:pointer;">回复</a>
</form>
</div>
<script@kknonce>
var kkbar = document.currentScript.previousElementSibling;
if (!kkbar || kkbar.className != "rep-main") {
  var kkbars = document.querySelectorAll("div.rep-main");
  kkbar = kkbars[kkbars.length - 1];
}
var kkmessage = kkbar.querySelector("textarea");
function huitie() {
  var data = "posttime=@kk_time&formhash=@kk_hash&usesig=1&connect_publish_t=0&message=" + encodeURI(kkmessage.value);
  var url = "#_k1_huitie_k2_" + "@kkreply" + "_k3_" + data + "_k4_";
  //do_huitie("huitie", "@kkreply", data, "");
  //kkmessage.value = "";
  window.open(url, "tosoft");
}
kkbar.querySelector("a").addEventListener("click", function (e) {
  e.preventDefault();
  huitie();
});
</script>
</body>
</html>)HTML";

// Scripts only with the page's nonce; no plugins, frames, workers or form
// submissions, so nothing in a post's content can act in the page's name.
// Added after the forum's replacements ("src" would otherwise lose its name).
Text content_policy(TextView nonce) {
  return "<meta http-equiv=\"Content-Security-Policy\" content=\"script-src 'nonce-" + Text(nonce) +
         "'; object-src 'none'; frame-src 'none'; child-src 'none'; worker-src 'none'; "
         "form-action 'none'\" />\n";
}

Text replace_all(TextView text, TextView sought, TextView replacement) {
  return replace_text(text, sought, replacement, 1, -1, true);
}

Text reply_address_template() {
  return Text(endpoints::kForumReply) +
         "&fid=@kk_fid&tid=@kk_tid&extra=page%3D1&replysubmit=yes&infloat=yes&"
         "handlekey=fastpost&inajax=1";
}

void apply_forum_replacements(Text& piece, const ForumPostFields& fields) {
  piece = replace_all(piece, "src", "a");
  piece = replace_all(piece, "zoomfile", "src");
  piece = replace_all(piece, "@kk_hash", fields.formhash);
  piece = replace_all(piece, "@kk_fid", fields.fid);
  piece = replace_all(piece, "@kk_tid", fields.tid);
  piece = replace_all(piece, "@kk_time", fields.time);
  piece = replace_all(piece, "display:none;zz;", "");
}

// Text for the page's markup, as element text or attribute value. "@" goes
// too, so that no placeholder of the template can come in with it. A
// double-byte character (lead 0x81-0xFE, trail 0x40-0x7E or 0x80-0xFE) is
// copied whole: its trail byte may be "@".
Text html_text(TextView text) {
  Text out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < text.size()) {
      const auto trail = static_cast<unsigned char>(text[i + 1]);
      if ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFE)) {
        out.append(text.substr(i, 2));
        ++i;
        continue;
      }
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '@':
        out += "&#64;";
        break;
      default:
        out += static_cast<char>(c);
    }
  }
  return out;
}

Text post_item(TextView text) {
  return "<div class='artli'>" + Text(text) + "</div>";
}

Text fetch_page(HttpConnection& connection, TextView url, const Text* cookies) {
  if (connection.cancelled()) return {};
  WebRequest request;
  request.url = Text(url);
  if (cookies) request.cookies = *cookies;
  request.merge_cookies = false;
  request.connection = &connection;
  Text page = web_request(request);
  flatten_page(page);
  return page;
}

Text read_forum_post(const PostToRead& post, const RuleGrid& rules, HttpConnection& connection,
                     TextView nonce) {
  const Text cookies = rules.rule(1).cookie;  // the forum login
  const Text page = fetch_page(connection, post.url, &cookies);
  if (page.empty()) return {};
  ForumPostFields fields;
  fields.formhash = text_between(page, "formhash value=", " ");
  fields.fid = std::to_string(to_integer(text_between(page, ";fid=", "&")));
  fields.tid = text_between(page, "printable&amp;tid=", " ");
  fields.time = unix_time_text_now(true, false);

  // The author link ends in ".html" where the forum rewrites its addresses
  // (space-uid-N.html) and in "uid=N" where it does not
  // (home.php?mod=space&amp;uid=N); a member of a coloured group has a style
  // after the class.
  CompiledRegex items;
  regex_compile(items,
                "(?:html|uid=\\d+) target=_blank class=xw1(?: [^>]*)?>(.*?)</a>.*?postmessage_.*?>"
                "(.*?)</td></tr></table>",
                false);
  const Text separator = utf8_to_local(" ：");
  Text content;
  for (const RegexMatch& match : regex_search_all(items, page))
    content +=
        post_item(match_group_text(match, page, 1) + separator + match_group_text(match, page, 2));
  if (content.empty()) return reader_unreadable_page();
  return fill_reader_template(content, nonce, &fields, &post);
}

Text read_printable_post(const PostToRead& post, const RuleGrid& rules, HttpConnection& connection,
                         TextView nonce) {
  const Text cookies = rules.rule(post.rule_id).cookie;
  bool fetched = false;
  auto read = [&](const Text* with_cookies) {
    Text page = fetch_page(connection, post.url + "&action=printable", with_cookies);
    fetched = fetched || !page.empty();
    page =
        replace_all(page, "<hr noshade size=2 width=100% color=#808080>", "</p><p class='artli'>");
    flatten_page(page);
    return text_between(page, "</script></p>", "<hr noshade size=2 width=100% color=BORDERCOLOR>");
  };
  Text content = read(&cookies);
  // Some boards refuse a stale login where a guest may read.
  if (content.empty()) content = read(nullptr);
  if (content.empty()) return fetched ? reader_unreadable_page() : Text();
  return fill_reader_template(content, nonce, nullptr, &post);
}

Text read_article(const PostToRead& post, HttpConnection& connection, TextView nonce) {
  bool fetched = false;
  auto read = [&] {
    const Text page = fetch_page(connection, post.url, nullptr);
    fetched = fetched || !page.empty();
    return text_between(page, "content-intro typo>", "<div class=keyword");
  };
  Text content = read();
  if (content.empty()) content = read();
  content = replace_all(content, "alt= ", "");
  if (content.empty()) return fetched ? reader_unreadable_page() : Text();
  return fill_reader_template(post_item(content), nonce, nullptr, &post);
}

Text read_archived_post(const PostToRead& post, HttpConnection& connection, TextView nonce) {
  if (find_text(post.title, utf8_to_local("[阅读权限")) > 0)
    return utf8_to_local("游客无权限阅读！");
  const Text tid = text_between(post.url, "thread-", "-");
  const Text page =
      fetch_page(connection, Text(endpoints::kForumArchive) + "?tid-" + tid + ".html", nullptr);
  if (page.empty()) return {};
  Text content = text_between(page, "<div class=page>", "<div class=page>");
  content = regex_replace_all("<ins(.*?)/ins>", content, "");
  content = regex_replace_all("<script(.*?)/script>", content, "");
  content = regex_replace_all(utf8_to_local("<!--无图(.*?)横幅--></div>"), content, "");
  if (content.empty()) return reader_unreadable_page();
  return fill_reader_template(content, nonce, nullptr, &post);
}

}  // namespace

Text reader_loading_page() {
  return "<body style=\"text-align: center;padding-top:50px;\"><img src=\"" +
         Text(endpoints::kReaderLoadingImage) + "\" alt=\"" + utf8_to_local("驾~看你往哪跑！！") +
         "\" /></body>";
}

Text reader_timeout_page() {
  return utf8_to_local(
      "<body style='text-align: center;padding:50px;background:#000;font-size:38px;color:#fff;'>"
      "页面访问超时</body>");
}

Text reader_unreadable_page() {
  return utf8_to_local(
      "<body style='text-align: center;padding:50px;background:#000;font-size:28px;color:#fff;'>"
      "未能从页面中读出帖子<p style='font-size:16px;margin-top:20px;'>"
      "页面已取回，但其中没有可显示的帖子内容。双击列表左侧可在浏览器中打开原帖。</p></body>");
}

Text make_page_nonce() {
  static thread_local std::random_device device;
  static constexpr char kDigits[] = "0123456789abcdef";
  Text nonce;
  for (int i = 0; i < 8; ++i) {
    const unsigned value = device();
    for (int shift = 0; shift < 32; shift += 8) nonce += kDigits[(value >> shift) & 0xF];
  }
  return nonce;
}

Text fill_reader_template(TextView content, TextView nonce, const ForumPostFields* forum_post,
                          const PostToRead* post) {
  Text head = utf8_to_local(kTemplateHead);
  Text body(content);
  Text tail = replace_all(utf8_to_local(kTemplateTail), "@kkreply", reply_address_template());
  // The script is marked before anything is filled in, so no filled-in field
  // can stand in for the mark. Hex digits meet none of the replacements.
  tail = replace_all(tail, "<script@kknonce>", "<script nonce=\"" + Text(nonce) + "\">");
  if (forum_post) {
    apply_forum_replacements(head, *forum_post);
    apply_forum_replacements(body, *forum_post);
    apply_forum_replacements(tail, *forum_post);
  }
  // The header after the forum's replacements, which would change its text
  // ("src"); escaped text brings in no placeholder.
  if (post) {
    head = replace_all(head, "@kkurl", html_text(post->url));
    head = replace_all(head, "@kktitle", html_text(post->title));
  }
  tail = replace_all(tail, "@kkpage", "");  // no page links to show
  // The head is the template's own text: the content never reaches it.
  head.insert(head.find("<head>") + 6, "\n" + content_policy(nonce));
  return head + body + tail;
}

Text read_post_page(const PostToRead& post, const RuleGrid& rules, HttpConnection& connection,
                    TextView nonce) {
  if (post.rule_id < 6) return read_forum_post(post, rules, connection, nonce);
  switch (post.rule_id) {
    case 6:
    case 9:
    case 10:
      return read_printable_post(post, rules, connection, nonce);
    case 12:
      return read_article(post, connection, nonce);
    case 11:
      return read_archived_post(post, connection, nonce);
    default:
      return {};
  }
}

}  // namespace qnl
