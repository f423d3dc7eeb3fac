// Markup stripping of a crawled listing: the five replacements the crawler
// runs over every board page, on a generated 150 KB Discuz listing in CP936.
#include <benchmark/benchmark.h>

#include <string>

#include "text/encoding.h"
#include "text/regex.h"

namespace qnl {
namespace {

Text listing_page(size_t target_size) {
  const char* titles[] = {"京东 领取10元无门槛券 速度",  "招行 一网通 周三5折 亲测有效",
                          "支付宝 消费红包 大水 人人有", "淘宝 88VIP 免费领 年卡 限时",
                          "拼多多 0元购 新人 包邮到家",  "建行 龙支付 立减20 可叠加",
                          "京东plus 会员 免费领取 7天",  "中行 缤纷生活 10元话费 秒到",
                          "美团 外卖 满25减24 今天有效", "交行 最红星期五 半价 看电影"};
  const Text head = utf8_to_local(
      "<table summary=forum_15 cellspacing=0 cellpadding=0 id=threadlisttableid>"
      "<tbody id=separatorline><tr class=ts><td>&nbsp;</td><th>版块主题</th></tr></tbody>");
  Text page = head;
  int tid = 6699009;
  int i = 0;
  while (page.size() < target_size) {
    const std::string id = std::to_string(tid--);
    std::string row =
        "<tbody id=normalthread_" + id +
        "><tr><td class=icn><a href=forum.php?mod=viewthread&amp;tid=" + id +
        "&amp;extra=page%3D1%26filter%3Dauthor%26orderby%3Ddateline title=有新回复 - 新窗口打开 "
        "target=_blank><img src=static/image/common/folder_new.gif /></a></td><th class=new>"
        "<a href=javascript:; id=content_" +
        id + " class=showcontent y title=更多操作 onclick=CONTENT_TID=" + id +
        ";showMenu(this.id)></a><em>[<a "
        "href=forum.php?mod=forumdisplay&fid=15&amp;filter=typeid&amp;typeid=14>线报</a>]</em> "
        "<a href=forum.php?mod=viewthread&amp;tid=" +
        id +
        "&amp;extra=page%3D1%26filter%3Dauthor%26orderby%3Ddateline  class=s xst "
        "target=_blank>" +
        titles[i % 10] + "</a>";
    if (i % 3 == 0) {
      row +=
          "<img src=static/image/filetype/image_s.gif alt=attach_img title=图片附件 "
          "align=absmiddle />";
    }
    if (i % 4 == 0) row += " - [阅读权限 <span class=xw1>10</span>]";
    if (i % 5 == 0) {
      row += "<span class=tps>&nbsp;...<a href=forum.php?mod=viewthread&tid=" + id +
             "&amp;page=2>2</a><a href=forum.php?mod=viewthread&tid=" + id +
             "&amp;page=3>3</a></span>";
    }
    row += "</th><td class=by><cite><a href=space-uid-" + std::to_string(446740 + i) +
           ".html c=1>赚客" + std::to_string(i) + "号</a></cite><em><span>2026-12-9 08:3" +
           std::to_string(i % 10) +
           "</span></em></td><td class=num><a href=forum.php?mod=viewthread&amp;tid=" + id +
           " class=xi2>" + std::to_string(i * 7 % 300) + "</a><em>" +
           std::to_string(i * 131 % 9000) +
           "</em></td><td class=by><cite><a href=space-username-abc.html c=1>路人甲</a></cite>"
           "<em><a href=forum.php?mod=redirect&tid=" +
           id + "&goto=lastpost#lastpost>2026-12-9 08:40</a></em></td></tr></tbody>";
    page += utf8_to_local(row);
    ++i;
  }
  page += "</table>";
  return page;
}

Text strip_listing(const Text& page) {
  Text t = regex_replace_all("<img src=.*?/>", page, "");
  t = regex_replace_all("<span class=tps>.*?</span>", t, "");
  t = regex_replace_all("<span class=xw1>", t, "");
  t = regex_replace_all("</span>]", t, "]");
  return regex_replace_all("</a>", t, "");
}

void strip_listing_in_place(Text& t) {
  regex_replace_all_in_place("<img src=.*?/>", t, "");
  regex_replace_all_in_place("<span class=tps>.*?</span>", t, "");
  regex_replace_all_in_place("<span class=xw1>", t, "");
  regex_replace_all_in_place("</span>]", t, "]");
  regex_replace_all_in_place("</a>", t, "");
}

void run(benchmark::State& state, bool fast) {
  const Text page = listing_page(150 * 1024);
  regex_set_fast_paths(fast);
  size_t out = 0;
  for (auto _ : state) {
    Text stripped = strip_listing(page);
    out = stripped.size();
    benchmark::DoNotOptimize(stripped);
  }
  regex_set_fast_paths(true);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
  state.counters["page_bytes"] = static_cast<double>(page.size());
  state.counters["stripped_bytes"] = static_cast<double>(out);
}

void BM_StripListing(benchmark::State& state) {
  run(state, true);
}
void BM_StripListingEngineOnly(benchmark::State& state) {
  run(state, false);
}
BENCHMARK(BM_StripListing)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StripListingEngineOnly)->Unit(benchmark::kMicrosecond);

// The same five passes rewriting one text (one copy of the page per run, as
// the crawler holds the page in its own variable).
void BM_StripListingInPlace(benchmark::State& state) {
  const Text page = listing_page(150 * 1024);
  Text t;
  t.reserve(page.size());
  for (auto _ : state) {
    t.assign(page);
    strip_listing_in_place(t);
    benchmark::DoNotOptimize(t);
  }
  if (t != strip_listing(page)) state.SkipWithError("in-place result differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_StripListingInPlace)->Unit(benchmark::kMicrosecond);

// A pattern outside the shortcuts over the same page (the regex object's
// general path with decoding).
void BM_GeneralPattern(benchmark::State& state) {
  const Text page = listing_page(150 * 1024);
  for (auto _ : state) {
    Text stripped = regex_replace_all("<em>\\[<a [^>]*>", page, "");
    benchmark::DoNotOptimize(stripped);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_GeneralPattern)->Unit(benchmark::kMicrosecond);

// Byte hits that all fall inside characters: a search of a 320 KB run of one
// Chinese character for the pair its halves make across characters.
void BM_FindTextAcrossCharacters(benchmark::State& state) {
  Text run;
  while (run.size() < 320 * 1024) run += "\xB0\xA1";  // 啊
  for (auto _ : state) benchmark::DoNotOptimize(find_text(run, "\xA1\xB0"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(run.size()));
}
BENCHMARK(BM_FindTextAcrossCharacters)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qnl

BENCHMARK_MAIN();
