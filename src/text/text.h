// Text primitives over CP936 (GBK) byte strings.
//
// Lengths and positions count bytes; positions are 1-based where an operation
// takes or returns one. A byte of 0x80 or above starts a double-byte character:
// scanning steps over both bytes, so a search never matches inside a character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qnl {

using Text = std::string;  // CP936 bytes
using TextView = std::string_view;

// The full-width space, the double-byte character A1 A1.
inline constexpr TextView kFullWidthSpace = "\xA1\xA1";
// Written inside markers and patterns for a double quote.
inline constexpr TextView kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";  // "#引号" in CP936

// 1-based position of the first occurrence of `sought` at or after `start`
// (below 1 means 1), or -1. `ignore_case` folds ASCII letters only. An empty
// `sought` is found at `start` when any text remains from there.
int64_t find_text(TextView text, TextView sought, int64_t start = 1, bool ignore_case = false);

// Replaces every non-overlapping occurrence from `start` on, left to right, at
// most `max_count` times (below 0: all). Text before `start` is kept as it is.
// Letter case of ASCII letters is ignored unless `case_sensitive`.
Text replace_text(TextView text, TextView sought, TextView replacement = {}, int64_t start = 1,
                  int64_t max_count = -1, bool case_sensitive = false);

// Pieces between separators. Empty text gives none; leading or doubled
// separators give empty pieces; a trailing separator gives no trailing piece.
// `max_pieces` above 0 stops splitting once that many pieces exist (the last
// piece keeps the rest of the text).
std::vector<Text> split_text(TextView text, TextView separator, int64_t max_pieces = -1);

// Joins pieces with a separator.
Text join_text(const std::vector<Text>& pieces, TextView separator);

// Leading and trailing ASCII and full-width spaces (not tabs, CR or LF).
Text trim_spaces(TextView text);
// Every ASCII and full-width space.
Text remove_spaces(TextView text);

Text left_text(TextView text, int64_t count);
Text right_text(TextView text, int64_t count);
Text mid_text(TextView text, int64_t start, int64_t count = INT64_MAX);

// Upper-cases ASCII letters; double-byte characters are left alone.
Text to_upper(TextView text);
// Lower-cases ASCII letters; double-byte characters are left alone.
Text to_lower(TextView text);

// Full-width digits and signs made half-width, then leading whitespace, an
// optional sign and the leading digits; no digits give 0. Saturates at the
// 64-bit range.
int64_t to_integer(TextView text);

// The text strictly between the first `start_marker` at or after `start` and
// the first `end_marker` after it; empty when either is missing. "#引号" in a
// marker stands for a double quote.
Text text_between(TextView text, TextView start_marker, TextView end_marker, int64_t start = 1,
                  bool ignore_case = false);

// Replaces every "#引号" with a double quote (letter case significant).
Text expand_quote_placeholder(TextView text);

// Cleans a title or page fragment: drops LF, CR and TAB, halves runs of two
// spaces, decodes &lt; &gt; (any case), &quot; and &#37;, then removes every
// double and single quote. Updates `text` and returns the result.
const Text& flatten_page(Text& text);

}  // namespace qnl
