#include "text/text.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "text/cp936.h"

namespace qnl {
namespace {

inline unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

inline size_t char_length(TextView text, size_t pos) {
  return char_length_at(text, pos);
}

// The first character boundary at or after `target`, walking from the
// boundary `pos`; runs of single-byte characters are passed eight at a time.
inline size_t walk_to(TextView text, size_t pos, size_t target) {
  while (pos < target) {
    if (pos + 8 <= target) {
      uint64_t word;
      std::memcpy(&word, text.data() + pos, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        pos += 8;
        continue;
      }
    }
    pos += char_length(text, pos);
  }
  return pos;
}

// Byte search; glibc's memmem is several times faster than a generic search
// on long pages.
inline size_t find_bytes(TextView text, TextView sought, size_t from) {
#ifdef __GLIBC__
  const void* found = memmem(text.data() + from, text.size() - from, sought.data(), sought.size());
  return found ? static_cast<size_t>(static_cast<const char*>(found) - text.data())
               : TextView::npos;
#else
  return text.find(sought, from);
#endif
}

// A character boundary at or before `pos`: just after the nearest byte that is
// never the second byte of a double-byte character, or `floor`, a boundary
// already known (so repeated calls never walk back over the same bytes).
inline size_t boundary_before(TextView text, size_t pos, size_t floor = 0) {
  while (pos > floor && is_trail_byte(static_cast<unsigned char>(text[pos - 1]))) --pos;
  return pos;
}

// Whether `sought` stands at `pos`, comparing bytes exactly except, with
// `ignore_case`, ASCII letters that start a character of `sought` (a trail
// byte that looks like a letter is part of a double-byte character and
// compares exactly). A lone byte of 0x80 or above compares exactly too.
inline bool matches_at(TextView text, size_t pos, TextView sought, bool ignore_case) {
  if (pos + sought.size() > text.size()) return false;
  if (!ignore_case) return std::memcmp(text.data() + pos, sought.data(), sought.size()) == 0;
  for (size_t i = 0; i < sought.size();) {
    const size_t n = char_length(sought, i);
    if (n == 2) {
      if (text[pos + i] != sought[i] || text[pos + i + 1] != sought[i + 1]) return false;
    } else if (fold(static_cast<unsigned char>(text[pos + i])) !=
               fold(static_cast<unsigned char>(sought[i]))) {
      return false;
    }
    i += n;
  }
  return true;
}

// 0-based offset of the first occurrence at or after the character boundary
// `from`, or npos. Only offsets on character boundaries count.
size_t find_from(TextView text, TextView sought, size_t from, bool ignore_case) {
  if (from > text.size()) return TextView::npos;
  if (sought.empty()) return from < text.size() ? from : TextView::npos;
  if (!ignore_case) {
    size_t boundary = from;
    size_t search = from;
    while (true) {
      const size_t hit = find_bytes(text, sought, search);
      if (hit == TextView::npos) return TextView::npos;
      boundary = walk_to(text, boundary_before(text, hit, boundary), hit);
      if (boundary == hit) return hit;
      search = boundary;  // the hit fell inside a double-byte character
    }
  }
  for (size_t pos = from; pos + sought.size() <= text.size(); pos += char_length(text, pos)) {
    if (matches_at(text, pos, sought, true)) return pos;
  }
  return TextView::npos;
}

// 0-based character boundary at or after the 1-based `start`.
size_t start_offset(TextView text, int64_t start) {
  if (start <= 1) return 0;
  const size_t wanted = static_cast<size_t>(std::min<int64_t>(start - 1, text.size()));
  return walk_to(text, boundary_before(text, wanted), wanted);
}

inline bool is_space_at(TextView text, size_t pos, size_t* length) {
  if (text[pos] == ' ') {
    *length = 1;
    return true;
  }
  if (text.substr(pos, 2) == kFullWidthSpace) {
    *length = 2;
    return true;
  }
  return false;
}

}  // namespace

int64_t find_text(TextView text, TextView sought, int64_t start, bool ignore_case) {
  const size_t from = start_offset(text, start);
  const size_t hit = find_from(text, sought, from, ignore_case);
  return hit == TextView::npos ? -1 : static_cast<int64_t>(hit) + 1;
}

Text replace_text(TextView text, TextView sought, TextView replacement, int64_t start,
                  int64_t max_count, bool case_sensitive) {
  if (sought.empty() || text.empty()) return Text(text);
  const size_t from = start_offset(text, start);
  Text out;
  out.reserve(text.size());
  out.append(text.substr(0, from));
  size_t pos = from;
  int64_t done = 0;
  while (max_count < 0 || done < max_count) {
    const size_t hit = find_from(text, sought, pos, !case_sensitive);
    if (hit == TextView::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(replacement);
    pos = hit + sought.size();
    ++done;
  }
  out.append(text.substr(pos));
  return out;
}

std::vector<Text> split_text(TextView text, TextView separator, int64_t max_pieces) {
  std::vector<Text> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  size_t pos = 0;
  while (pos < text.size()) {
    if (max_pieces > 0 && static_cast<int64_t>(pieces.size()) == max_pieces - 1) break;
    const size_t hit = find_from(text, separator, pos, false);
    if (hit == TextView::npos) break;
    pieces.emplace_back(text.substr(pos, hit - pos));
    pos = hit + separator.size();
  }
  if (pos < text.size()) pieces.emplace_back(text.substr(pos));
  return pieces;
}

Text join_text(const std::vector<Text>& pieces, TextView separator) {
  Text out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i) out.append(separator);
    out.append(pieces[i]);
  }
  return out;
}

Text trim_spaces(TextView text) {
  size_t begin = 0;
  size_t length = 0;
  while (begin < text.size() && is_space_at(text, begin, &length)) begin += length;
  // Walk forward so a trailing A1 A1 is only taken when it is a whole character.
  size_t end = begin;
  size_t pos = begin;
  while (pos < text.size()) {
    if (is_space_at(text, pos, &length)) {
      pos += length;
    } else {
      pos += char_length(text, pos);
      end = pos;
    }
  }
  return Text(text.substr(begin, end - begin));
}

Text remove_spaces(TextView text) {
  Text out;
  out.reserve(text.size());
  size_t length = 0;
  for (size_t pos = 0; pos < text.size();) {
    if (is_space_at(text, pos, &length)) {
      pos += length;
      continue;
    }
    const size_t n = char_length(text, pos);
    out.append(text.substr(pos, n));
    pos += n;
  }
  return out;
}

Text left_text(TextView text, int64_t count) {
  if (count <= 0) return {};
  return Text(text.substr(0, static_cast<size_t>(std::min<int64_t>(count, text.size()))));
}

Text right_text(TextView text, int64_t count) {
  if (count <= 0) return {};
  const size_t n = static_cast<size_t>(std::min<int64_t>(count, text.size()));
  return Text(text.substr(text.size() - n));
}

Text mid_text(TextView text, int64_t start, int64_t count) {
  if (count <= 0) return {};
  if (start < 1) start = 1;
  if (start > static_cast<int64_t>(text.size())) return {};
  const size_t from = static_cast<size_t>(start - 1);
  const size_t n = static_cast<size_t>(std::min<int64_t>(count, text.size() - from));
  return Text(text.substr(from, n));
}

Text to_upper(TextView text) {
  Text out(text);
  for (size_t pos = 0; pos < out.size();) {
    const auto c = static_cast<unsigned char>(out[pos]);
    if (c >= 'a' && c <= 'z') out[pos] = static_cast<char>(c - 32);
    pos += char_length(out, pos);
  }
  return out;
}

Text to_lower(TextView text) {
  Text out(text);
  for (size_t pos = 0; pos < out.size();) {
    const auto c = static_cast<unsigned char>(out[pos]);
    if (c >= 'A' && c <= 'Z') out[pos] = static_cast<char>(c + 32);
    pos += char_length(out, pos);
  }
  return out;
}

int64_t to_integer(TextView text) {
  // Full-width digits, signs and spaces become their half-width forms.
  Text half;
  half.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t n = char_length(text, pos);
    if (n == 2) {
      const auto lead = static_cast<unsigned char>(text[pos]);
      const auto trail = static_cast<unsigned char>(text[pos + 1]);
      if (lead == 0xA3 && trail >= 0xB0 && trail <= 0xB9) {
        half.push_back(static_cast<char>('0' + trail - 0xB0));
      } else if (lead == 0xA3 && trail == 0xAB) {
        half.push_back('+');
      } else if (lead == 0xA3 && trail == 0xAD) {
        half.push_back('-');
      } else if (lead == 0xA1 && trail == 0xA1) {
        half.push_back(' ');
      } else {
        half.append(text.substr(pos, 2));
      }
    } else {
      half.push_back(text[pos]);
    }
    pos += n;
  }
  size_t pos = 0;
  while (pos < half.size() && std::strchr(" \t\r\n\v\f", half[pos]) && half[pos] != '\0') ++pos;
  bool negative = false;
  if (pos < half.size() && (half[pos] == '+' || half[pos] == '-')) negative = half[pos++] == '-';
  uint64_t value = 0;
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; pos < half.size() && half[pos] >= '0' && half[pos] <= '9'; ++pos) {
    const unsigned digit = half[pos] - '0';
    value = (value > (limit - digit) / 10) ? limit : value * 10 + digit;
  }
  if (negative) return value == limit ? INT64_MIN : -static_cast<int64_t>(value);
  return static_cast<int64_t>(value);
}

Text expand_quote_placeholder(TextView text) {
  if (text.find(kQuotePlaceholder) == TextView::npos) return Text(text);
  return replace_text(text, kQuotePlaceholder, "\"", 1, -1, true);
}

Text text_between(TextView text, TextView start_marker, TextView end_marker, int64_t start,
                  bool ignore_case) {
  const Text head = expand_quote_placeholder(start_marker);
  const Text tail = expand_quote_placeholder(end_marker);
  const size_t from = start_offset(text, start);
  const size_t hit = find_from(text, head, from, ignore_case);
  if (hit == TextView::npos) return {};
  const size_t content = hit + head.size();
  const size_t end = find_from(text, tail, content, ignore_case);
  if (end == TextView::npos) return {};
  return Text(text.substr(content, end - content));
}

const Text& flatten_page(Text& text) {
  // One pass with the effect of the steps in order: LF, CR and TAB go; what
  // is left of a run of k spaces becomes ceil(k/2) spaces (one left-to-right
  // pass of "two spaces to one"); &lt; &gt; (any case), &quot; and &#37; are
  // decoded; every double and single quote goes. Entities are decoded on the
  // output as their ";" arrives, so one broken by a line break is whole again,
  // but never across a dropped quote (the quotes went last). An entity's "&"
  // is below 0x40, so it is never the second byte of a double-byte character,
  // and neither is the byte after it.
  enum : uint8_t { kKeep, kDrop, kSpace, kQuote, kSemicolon };
  static constexpr auto kClass = [] {
    std::array<uint8_t, 256> table{};
    table['\n'] = table['\r'] = table['\t'] = kDrop;
    table[' '] = kSpace;
    table['"'] = table['\''] = kQuote;
    table[';'] = kSemicolon;
    return table;
  }();
  const size_t n = text.size();
  Text out;
  out.resize(n);  // never longer than the input
  char* const base = out.data();
  char* o = base;
  const char* in = text.data();
  size_t barrier = 0;  // an entity may start at this output offset or later
  size_t run = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = in[i];
    switch (kClass[static_cast<uint8_t>(c)]) {
      case kKeep:
        *o++ = c;
        run = 0;
        break;
      case kDrop:
        break;
      case kSpace:
        if (run++ % 2 == 0) *o++ = ' ';
        break;
      case kQuote:
        run = 0;
        barrier = static_cast<size_t>(o - base);
        break;
      case kSemicolon: {
        *o++ = ';';
        run = 0;
        const size_t len = static_cast<size_t>(o - base);
        if (len >= barrier + 4 && o[-4] == '&' &&
            ((o[-3] | 0x20) == 'l' || (o[-3] | 0x20) == 'g') && (o[-2] | 0x20) == 't') {
          const char decoded = (o[-3] | 0x20) == 'l' ? '<' : '>';
          o -= 4;
          *o++ = decoded;
        } else if (len >= barrier + 6 && std::memcmp(o - 6, "&quot;", 6) == 0) {
          o -= 6;  // a quote, dropped like the others
          barrier = static_cast<size_t>(o - base);
        } else if (len >= barrier + 5 && std::memcmp(o - 5, "&#37;", 5) == 0) {
          o -= 5;
          *o++ = '%';
        }
        break;
      }
    }
  }
  out.resize(static_cast<size_t>(o - base));
  text.swap(out);
  return text;
}

}  // namespace qnl
