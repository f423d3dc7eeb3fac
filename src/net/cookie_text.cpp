#include "net/cookie_text.h"

#include <unordered_set>
#include <vector>

namespace qnl {

namespace {

// Cookie texts are byte texts: a server may set UTF-8 or any other bytes, so
// ";", "=", CR, LF and the space always delimit, whatever byte comes before
// them. Only the full-width space needs a character walk; there a byte of
// 0x80 or above starts a double-byte character only when the next byte can
// be a second byte (0x40 or above).
size_t char_length(TextView text, size_t pos) {
  return static_cast<unsigned char>(text[pos]) >= 0x80 && pos + 1 < text.size() &&
                 static_cast<unsigned char>(text[pos + 1]) >= 0x40
             ? 2
             : 1;
}

bool is_space(TextView text, size_t pos, size_t length) {
  return (length == 1 && text[pos] == ' ') ||
         (length == 2 && text.substr(pos, 2) == kFullWidthSpace);
}

Text remove_cookie_spaces(TextView text) {
  Text out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t n = char_length(text, pos);
    if (!is_space(text, pos, n)) out.append(text.substr(pos, n));
    pos += n;
  }
  return out;
}

Text trim_cookie_spaces(TextView text) {
  size_t begin = text.size();
  size_t end = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t n = char_length(text, pos);
    if (!is_space(text, pos, n)) {
      if (begin == text.size()) begin = pos;
      end = pos + n;
    }
    pos += n;
  }
  return begin < end ? Text(text.substr(begin, end - begin)) : Text();
}

// Pieces between separators, found byte by byte: empty text gives none, a
// separator at the very end gives no trailing empty piece.
std::vector<Text> split_bytes(TextView text, TextView separator) {
  std::vector<Text> pieces;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t hit = text.find(separator, pos);
    if (hit == TextView::npos) break;
    pieces.emplace_back(text.substr(pos, hit - pos));
    pos = hit + separator.size();
  }
  if (pos < text.size()) pieces.emplace_back(text.substr(pos));
  return pieces;
}

// The name of a cookie entry: the text before its first "=", trimmed; an
// entry without "=" is its own name.
Text entry_name(TextView entry) {
  return trim_cookie_spaces(entry.substr(0, entry.find('=')));
}

bool ends_with_deleted(TextView entry) {
  constexpr TextView kDeleted = "=deleted";
  return entry.size() >= kDeleted.size() &&
         entry.substr(entry.size() - kDeleted.size()) == kDeleted;
}

bool equal_ignoring_ascii_case(TextView a, TextView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// Every `sought` removed, ASCII letters compared without case.
Text remove_ignoring_case(TextView text, TextView sought) {
  Text out;
  for (size_t pos = 0; pos < text.size();) {
    if (pos + sought.size() <= text.size() &&
        equal_ignoring_ascii_case(text.substr(pos, sought.size()), sought)) {
      pos += sought.size();
    } else {
      out.push_back(text[pos++]);
    }
  }
  return out;
}

}  // namespace

Text collect_response_cookies(TextView response_headers) {
  constexpr TextView kMarker = "Set-Cookie:";
  Text result;
  for (const Text& piece : split_bytes(response_headers, "\r\n")) {
    const TextView line(piece);
    const size_t colon = line.find(": ");
    if (colon == TextView::npos || line.substr(0, colon) != "Set-Cookie") continue;
    Text entry;
    if (line.find(';') != TextView::npos) {
      // From the first "Set-Cookie:" to the next ";" after it.
      const size_t from = line.find(kMarker) + kMarker.size();
      const size_t to = line.find(';', from);
      if (to != TextView::npos) entry = trim_cookie_spaces(line.substr(from, to - from));
    } else {
      entry = trim_cookie_spaces(remove_ignoring_case(line, kMarker));
    }
    result += entry;
    result += "; ";
  }
  if (result.size() >= 2) result.resize(result.size() - 2);
  return result;
}

Text merge_cookie_text(Text& old_cookies, Text& new_cookies) {
  old_cookies = remove_cookie_spaces(old_cookies);
  new_cookies = remove_cookie_spaces(new_cookies);

  std::vector<Text> entries = split_bytes(new_cookies, ";");
  std::unordered_set<Text> names;
  for (const Text& entry : entries) names.insert(entry_name(entry));
  for (Text& entry : split_bytes(old_cookies, ";")) {
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
  for (Text& piece : split_bytes(text, separator)) {
    if (seen.insert(piece).second) kept.push_back(std::move(piece));
  }
  return join_text(kept, separator);
}

}  // namespace qnl
