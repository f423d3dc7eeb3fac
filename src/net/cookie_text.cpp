#include "net/cookie_text.h"

#include <unordered_set>

namespace qnl {

namespace {

// The name of a cookie entry: the text before its first "=", trimmed; an
// entry without "=" is its own name.
Text entry_name(TextView entry) {
  const int64_t equals = find_text(entry, "=");
  return trim_spaces(equals < 0 ? entry : entry.substr(0, static_cast<size_t>(equals - 1)));
}

bool ends_with_deleted(TextView entry) {
  constexpr TextView kDeleted = "=deleted";
  return entry.size() >= kDeleted.size() &&
         entry.substr(entry.size() - kDeleted.size()) == kDeleted;
}

}  // namespace

Text collect_response_cookies(TextView response_headers) {
  Text result;
  for (const Text& line : split_text(response_headers, "\r\n")) {
    const int64_t colon = find_text(line, ": ");
    const TextView name =
        colon < 0 ? TextView{} : TextView(line).substr(0, static_cast<size_t>(colon - 1));
    if (name != "Set-Cookie") continue;
    Text entry;
    if (find_text(line, ";") > 0) {
      entry = trim_spaces(text_between(line, "Set-Cookie:", ";"));
    } else {
      entry = trim_spaces(replace_text(line, "Set-Cookie:", "", 1, -1, false));
    }
    result += entry;
    result += "; ";
  }
  if (result.size() >= 2) result.resize(result.size() - 2);
  return result;
}

Text merge_cookie_text(Text& old_cookies, Text& new_cookies) {
  old_cookies = remove_spaces(old_cookies);
  new_cookies = remove_spaces(new_cookies);

  std::vector<Text> entries = split_text(new_cookies, ";");
  std::unordered_set<Text> names;
  for (const Text& entry : entries) names.insert(entry_name(entry));
  for (Text& entry : split_text(old_cookies, ";")) {
    Text name = entry_name(entry);
    if (names.insert(std::move(name)).second) entries.push_back(std::move(entry));
  }

  Text merged;
  for (const Text& entry : entries) {
    if (ends_with_deleted(entry)) continue;
    merged += entry;
    merged += "; ";
  }
  if (merged.size() >= 2) merged.resize(merged.size() - 2);

  old_cookies = remove_duplicate_entries(merged, "; ");
  return old_cookies;
}

Text remove_duplicate_entries(TextView text, TextView separator) {
  std::vector<Text> kept;
  std::unordered_set<Text> seen;
  for (Text& piece : split_text(text, separator)) {
    if (seen.insert(piece).second) kept.push_back(std::move(piece));
  }
  return join_text(kept, separator);
}

}  // namespace qnl
