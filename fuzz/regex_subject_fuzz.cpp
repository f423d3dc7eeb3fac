// Both regular expression facilities with fixed patterns (the shipped rules'
// expressions, the listing clean-up and markup stripping) over the input as
// the page.
#include "fuzz_support.h"
#include "text/regex.h"

using namespace qnl;

namespace {

const char* const kPerlPatterns[] = {
    "<tbody id=normalthread_\\d+>(?:[^<]*+<(?!/tbody>))*?a href=[^ >]*?(?:thread-|tid=)(\\d+)"
    "[^>]*?class=s xst[^>]*>(.*?)\\s*(?=<a |<span|<img|</th>)",
    "<li><a href=[^ >]*?tid-(\\d+)\\.html[^>]*>(.*?)</a>",
    "class=comeing_channel_threadlist_sub[^>]*>(?:(?!</td>).)*?<a href=[^ >]*?(?:thread-|tid=)"
    "(\\d+)[^>]*>(.*?)</a>",
    "<a href=(?:https?://www\\.iqshw\\.com)?(/[a-z0-9_]+/(?:[0-9]+/)*[0-9]+\\.html)[^>]*>([^<]+)"
    "</a>",
    "<img src=.*?/>",
    "<span class=tps>.*?</span>",
    "<font.*?>",
};

const char* const kObjectPatterns[] = {
    "<[^>]*>", "<script.*?</script>", "^\\s+|\\s+$", "&nbsp;", "(\\w+)=(\"[^\"]*\"|\\S+)", "^.*$",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const uint8_t choice = data.ConsumeIntegral<uint8_t>();
  const std::string subject = data.ConsumeRemainingBytesAsString();

  const char* perl = kPerlPatterns[choice % std::size(kPerlPatterns)];
  CompiledRegex expression;
  QNL_FUZZ_CHECK(regex_compile(expression, perl, false));
  int64_t last_end = 0;
  for (const RegexMatch& match : regex_search_all(expression, subject)) {
    QNL_FUZZ_CHECK(match[0].offset >= last_end);
    last_end = match[0].offset + match[0].length;
    QNL_FUZZ_CHECK(last_end <= static_cast<int64_t>(subject.size()));
    (void)match_group_text(match, subject, 1);
    (void)match_group_text(match, subject, 2);
  }
  Text cleaned = subject;
  regex_replace_all_in_place(perl, cleaned, "");
  QNL_FUZZ_CHECK(cleaned.size() <= subject.size());

  RegexObject object;
  const char* pattern = kObjectPatterns[(choice / 8) % std::size(kObjectPatterns)];
  QNL_FUZZ_CHECK(object.execute(pattern, subject, choice & 1, choice & 2, true, false));
  (void)object.replace("");
  for (int64_t m = 1; m <= object.match_count() && m <= 64; ++m) {
    int64_t position = 0;
    const Text whole = object.match_text(m, &position);
    QNL_FUZZ_CHECK(position >= 0 && position <= static_cast<int64_t>(subject.size()));
    (void)object.sub_match_text(m, 1);
  }
  return 0;
}
