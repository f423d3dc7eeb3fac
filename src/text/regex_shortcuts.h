// Shortcuts of the regex object for the patterns that carry the crawl: plain
// text, and a literal, a lazy span ".*?" or "(.*?)" and a literal. They scan
// the CP936 bytes directly and give the engine's results: a literal starts
// only on a character, letters compare without case when asked, and the span
// does not cross a line feed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/regex.h"

namespace qnl::regex_shortcuts {

// The decoded form's private code points (see regex_object.cpp).
inline constexpr char32_t kDoubleBase = 0x100000;
inline constexpr char32_t kLoneBase = 0x10FF00;

// Flat match storage: `stride` groups per match, group 0 first.
struct Matches {
  std::vector<MatchGroup> groups;
  size_t stride = 1;
  size_t count() const { return groups.size() / stride; }
  void clear(size_t new_stride) {
    groups.clear();
    stride = new_stride;
  }
};

enum class Kind {
  kNone,      // only the engine
  kLiteral,   // plain text
  kLazySpan,  // literal, ".*?" or "(.*?)", literal
};

struct Shortcut {
  Kind kind = Kind::kNone;
  bool captures = false;  // "(.*?)": group 1 is the span
  // Literal parts as CP936 bytes, with a flag per byte telling whether it is
  // an ASCII letter to compare without regard to case.
  std::string first, second;
  std::string first_fold, second_fold;  // 0x20 where case is ignored, else 0
};

// The shortcut for a decoded pattern, kind kNone when there is none.
Shortcut classify(std::u32string_view pattern, bool icase);

// All matches (the first only without `global`), appended to `out`.
void scan_literal(const Shortcut& shortcut, TextView text, bool global, Matches& out);
void scan_lazy_span(const Shortcut& shortcut, TextView text, bool global, Matches& out);

}  // namespace qnl::regex_shortcuts
