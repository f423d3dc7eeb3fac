// Cookie collection and merge on any bytes: the merged text is written back,
// keeps spaces only in its separators, drops deleted entries and repeats.
#include <set>

#include "fuzz_support.h"
#include "net/cookie_text.h"

using namespace qnl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  Text old_cookies = fuzz::take(data, 512);
  const Text headers = data.ConsumeRemainingBytesAsString();

  Text new_cookies = collect_response_cookies(headers);
  const Text merged = merge_cookie_text(old_cookies, new_cookies);
  QNL_FUZZ_CHECK(merged == old_cookies);
  QNL_FUZZ_CHECK(new_cookies.find(' ') == Text::npos);
  for (size_t i = 0; i < merged.size(); ++i)
    if (merged[i] == ' ') QNL_FUZZ_CHECK(i > 0 && merged[i - 1] == ';');
  // No entry twice, none that the server deleted. (Empty entries may leave
  // a separator at the end, which the split does not count as a piece.)
  std::set<TextView> seen;
  size_t from = 0;
  while (from < merged.size()) {
    const size_t end = std::min(merged.find("; ", from), merged.size());
    const TextView entry = TextView(merged).substr(from, end - from);
    QNL_FUZZ_CHECK(seen.insert(entry).second);
    QNL_FUZZ_CHECK(entry.size() < 8 || entry.substr(entry.size() - 8) != "=deleted");
    from = end + 2;
  }
  // Merging with no response cookies changes nothing more.
  Text again = merged;
  Text none;
  QNL_FUZZ_CHECK(merge_cookie_text(again, none).size() <= merged.size());
  return 0;
}
