// Both regular expression facilities with the input as the pattern (rule
// expressions are user-editable text) over a fixed listing-like subject.
#include "fuzz_support.h"
#include "text/regex.h"

using namespace qnl;

namespace {

const char kSubject[] =
    "<tbody id=normalthread_6699009><tr><th class=new><em>[<a href=forum.php?fid=15>\xCF\xDF"
    "\xB1\xA8</a>]</em> <a href=thread-6699009-1-1.html class=s xst target=_blank>\xBE\xA9"
    "\xB6\xAB PLUS \xC1\xEC\xC8\xAF 199-100</a><img src=x.gif /></th></tr></tbody>\r\n"
    "<li><a href=?tid-123.html>aaaa bbbb</a> (3 \xC6\xAA\xBB\xD8\xB8\xB4)</li>\n"
    "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab"
    "\x81\x40\x81\x41\xFE\xFE\x80 \xA1\xA1 end";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const uint8_t flags = data.ConsumeIntegral<uint8_t>();
  const std::string pattern = data.ConsumeRemainingBytesAsString();
  const TextView subject(kSubject, sizeof kSubject - 1);

  CompiledRegex expression;
  if (regex_compile(expression, pattern, flags & 1)) {
    int64_t last_end = 0;
    for (const RegexMatch& match : regex_search_all(expression, subject)) {
      QNL_FUZZ_CHECK(!match.empty() && match[0].matched);
      QNL_FUZZ_CHECK(match[0].offset >= last_end);
      last_end = match[0].offset + match[0].length;
      QNL_FUZZ_CHECK(last_end <= static_cast<int64_t>(subject.size()));
      for (size_t g = 0; g <= match.size(); ++g) {
        int64_t position = 0;
        const Text group = match_group_text(match, subject, static_cast<int>(g), &position);
        QNL_FUZZ_CHECK(position == -1 ||
                       subject.substr(static_cast<size_t>(position)).rfind(group, 0) == 0);
      }
    }
  }

  RegexObject object;
  if (object.execute(pattern, subject, flags & 2, flags & 4, flags & 8, flags & 16)) {
    (void)object.replace("[$1]");
    const int64_t matches = object.match_count();
    for (int64_t m = 1; m <= matches + 1 && m <= 64; ++m) {
      int64_t position = 0;
      const Text whole = object.match_text(m, &position);
      QNL_FUZZ_CHECK(position <= static_cast<int64_t>(subject.size()));
      for (int64_t g = 0; g <= object.sub_match_count() + 1 && g <= 16; ++g)
        (void)object.sub_match_text(m, g, &position);
    }
  }
  return 0;
}
