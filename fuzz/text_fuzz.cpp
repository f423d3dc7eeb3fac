// The text primitives and scraping helpers on any bytes: positions stay in
// range, what is found is there, splitting and joining give the text back.
#include "fuzz_support.h"
#include "text/text.h"

using namespace qnl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const bool ignore_case = data.ConsumeBool();
  const int64_t start = data.ConsumeIntegralInRange<int64_t>(-2, 80);
  const int64_t count = data.ConsumeIntegralInRange<int64_t>(-2, 80);
  const Text sought = fuzz::take(data, 16);
  const Text other = fuzz::take(data, 16);
  const Text text = data.ConsumeRemainingBytesAsString();

  const int64_t found = find_text(text, sought, start, ignore_case);
  QNL_FUZZ_CHECK(found == -1 || (found >= 1 && found <= static_cast<int64_t>(text.size()) + 1));
  if (found > 0 && !ignore_case)
    QNL_FUZZ_CHECK(text.compare(static_cast<size_t>(found - 1), sought.size(), sought) == 0);

  const Text replaced = replace_text(text, sought, other, start, count, !ignore_case);
  if (!ignore_case && !sought.empty())
    QNL_FUZZ_CHECK(replace_text(text, sought, sought, start, count, true) == text);
  (void)replaced;

  if (!sought.empty()) {
    const std::vector<Text> pieces = split_text(text, sought);
    const Text joined = join_text(pieces, sought);
    QNL_FUZZ_CHECK(joined == text || joined + sought == text);
    const std::vector<Text> limited = split_text(text, sought, count);
    if (count > 0) QNL_FUZZ_CHECK(static_cast<int64_t>(limited.size()) <= count);
  }

  const Text trimmed = trim_spaces(text);
  QNL_FUZZ_CHECK(text.find(trimmed) != Text::npos);
  QNL_FUZZ_CHECK(remove_spaces(text).size() <= text.size());
  QNL_FUZZ_CHECK(left_text(text, count).size() <= text.size());
  QNL_FUZZ_CHECK(right_text(text, count).size() <= text.size());
  QNL_FUZZ_CHECK(mid_text(text, start, count).size() <= text.size());
  QNL_FUZZ_CHECK(to_upper(text).size() == text.size());
  QNL_FUZZ_CHECK(to_lower(text).size() == text.size());
  (void)to_integer(text);
  (void)text_between(text, sought, other, start, ignore_case);
  (void)expand_quote_placeholder(text);
  Text page = text;
  QNL_FUZZ_CHECK(flatten_page(page).size() <= text.size());
  return 0;
}
