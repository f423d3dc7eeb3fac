#include "text/regex_shortcuts.h"

#include <bit>
#include <cstring>

#include "text/cp936.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define QNL_HAVE_SSE2 1
#else
#define QNL_HAVE_SSE2 0
#endif

namespace qnl::regex_shortcuts {
namespace {

inline bool is_trail(unsigned char b) {
  return is_trail_byte(b);
}

inline size_t char_length(const unsigned char* s, size_t n, size_t i) {
  return (is_lead_byte(s[i]) && i + 1 < n && is_trail_byte(s[i + 1])) ? 2 : 1;
}

bool is_meta(char32_t c) {
  switch (c) {
    case U'\\':
    case U'^':
    case U'$':
    case U'.':
    case U'|':
    case U'?':
    case U'*':
    case U'+':
    case U'(':
    case U')':
    case U'[':
    case U'{':
      return true;
    default:
      return false;
  }
}

// Escapes that stand for the character itself in both engines.
bool is_plain_escape(char32_t c) {
  return c > 0 && c < 0x80 && std::strchr(".\\/*+?()[]{}|^$-\"", static_cast<char>(c)) != nullptr;
}

// Reads a literal run from p[i]; false when a character cannot be taken
// literally by the fast paths (lone bytes compare differently).
void read_literal(std::u32string_view p, size_t& i, std::string& bytes, std::string& fold,
                  bool icase, bool& ok) {
  ok = true;
  while (i < p.size()) {
    char32_t c = p[i];
    if (c == U'\\') {
      if (i + 1 < p.size() && is_plain_escape(p[i + 1])) {
        c = p[i + 1];
        i += 2;
      } else {
        return;
      }
    } else if (is_meta(c)) {
      return;
    } else {
      ++i;
    }
    if (c < 0x80) {
      bytes.push_back(static_cast<char>(c));
      const bool letter = (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
      fold.push_back(icase && letter ? 0x20 : 0);
    } else if (c >= kDoubleBase && c < kLoneBase) {
      const unsigned code = static_cast<unsigned>(c - kDoubleBase);
      bytes.push_back(static_cast<char>(code >> 8));
      bytes.push_back(static_cast<char>(code & 0xFF));
      fold.append(2, '\0');
    } else {
      ok = false;
      return;
    }
  }
}

void classify_into(std::u32string_view p, bool icase, Shortcut& prog) {
  size_t i = 0;
  bool ok = false;
  read_literal(p, i, prog.first, prog.first_fold, icase, ok);
  if (!ok || prog.first.empty()) return;
  if (i == p.size()) {
    prog.kind = Kind::kLiteral;
    return;
  }
  const std::u32string_view rest = p.substr(i);
  if (rest.starts_with(U"(.*?)")) {
    prog.captures = true;
    i += 5;
  } else if (rest.starts_with(U".*?")) {
    i += 3;
  } else {
    return;
  }
  read_literal(p, i, prog.second, prog.second_fold, icase, ok);
  if (!ok || prog.second.empty() || i != p.size()) return;
  prog.kind = Kind::kLazySpan;
}

// Tells whether byte positions are character starts, for queries at
// non-decreasing positions.
class BoundaryTracker {
 public:
  BoundaryTracker(const unsigned char* s, size_t n) : s_(s), n_(n) {}

  bool at(size_t p) {
    if (p == 0 || p >= n_ || !is_trail(s_[p])) return true;  // not a trail: starts a character
    size_t start = known_ <= p ? known_ : 0;
    // The byte after one that cannot be a trail byte starts a character.
    for (size_t r = p; r > start; --r) {
      if (!is_trail(s_[r - 1])) {
        start = r;
        break;
      }
    }
    size_t i = start;
    for (;;) {
      const size_t step = char_length(s_, n_, i);
      if (i + step > p) break;
      i += step;
    }
    known_ = i;
    return i == p;
  }

 private:
  const unsigned char* s_;
  size_t n_;
  size_t known_ = 0;
};

constexpr size_t kNone = static_cast<size_t>(-1);

inline bool literal_at(const unsigned char* s, const unsigned char* l, const unsigned char* fold,
                       size_t m) {
  for (size_t k = 0; k < m; ++k) {
    if ((s[k] | fold[k]) != (l[k] | fold[k])) return false;
  }
  return true;
}

struct LiteralQuery {
  const unsigned char* s;
  const unsigned char* l;
  const unsigned char* fold;
  size_t m;
  size_t last;  // last possible start
  BoundaryTracker* bounds;
  bool accept(size_t q) const { return literal_at(s + q, l, fold, m) && bounds->at(q); }
};

#if QNL_HAVE_SSE2
// Candidates are positions whose first and last literal bytes both fit,
// sixteen positions per step; `p` is left where the blocks stop.
size_t find_blocks_sse2(const LiteralQuery& q, size_t& position) {
  const unsigned char* const s = q.s;
  const size_t tail = q.m - 1;
  const size_t last = q.last;
  const __m128i first_v = _mm_set1_epi8(static_cast<char>(q.l[0] | q.fold[0]));
  const __m128i last_v = _mm_set1_epi8(static_cast<char>(q.l[tail] | q.fold[tail]));
  const __m128i first_fold = _mm_set1_epi8(static_cast<char>(q.fold[0]));
  const __m128i last_fold = _mm_set1_epi8(static_cast<char>(q.fold[tail]));
  size_t p = position;
  while (p <= last && last - p >= 15) {  // starts p..p+15 are all possible
    const auto* at = reinterpret_cast<const __m128i*>(s + p);
    const auto* end_at = reinterpret_cast<const __m128i*>(s + p + tail);
    const __m128i a = _mm_or_si128(_mm_loadu_si128(at), first_fold);
    const __m128i b = _mm_or_si128(_mm_loadu_si128(end_at), last_fold);
    auto mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first_v), _mm_cmpeq_epi8(b, last_v))));
    while (mask != 0) {
      const size_t c = p + static_cast<size_t>(std::countr_zero(mask));
      if (q.accept(c)) return c;
      mask &= mask - 1;
    }
    p += 16;
  }
  position = p;
  return kNone;
}
#endif

// First occurrence of a literal starting on a character at or after `from`.
// Markup is dense in '<', so candidates are filtered on the first and the
// last byte of the literal together, many positions at a time.
size_t find_literal(const unsigned char* s, size_t n, const std::string& lit,
                    const std::string& fold_mask, size_t from, BoundaryTracker& bounds) {
  const size_t m = lit.size();
  if (m > n || from > n - m) return kNone;
  const LiteralQuery q{s,
                       reinterpret_cast<const unsigned char*>(lit.data()),
                       reinterpret_cast<const unsigned char*>(fold_mask.data()),
                       m,
                       n - m,
                       &bounds};
  size_t p = from;
#if QNL_HAVE_SSE2
  const size_t found = find_blocks_sse2(q, p);
  if (found != kNone) return found;
#endif
  const unsigned char first_byte = q.l[0] | q.fold[0];
  for (; p <= q.last; ++p) {
    if ((s[p] | q.fold[0]) == first_byte && q.accept(p)) return p;
  }
  return kNone;
}

}  // namespace

void scan_literal(const Shortcut& prog, TextView text, bool global, Matches& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  BoundaryTracker bounds(s, n);
  size_t pos = 0;
  for (;;) {
    const size_t p = find_literal(s, n, prog.first, prog.first_fold, pos, bounds);
    if (p == kNone) return;
    out.groups.push_back({true, static_cast<int64_t>(p), static_cast<int64_t>(prog.first.size())});
    if (!global) return;
    pos = p + prog.first.size();
  }
}

void scan_lazy_span(const Shortcut& prog, TextView text, bool global, Matches& out) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  BoundaryTracker first_bounds(s, n);
  BoundaryTracker second_bounds(s, n);
  // The first end literal and the first LF at or after a point only move
  // forward as the start moves forward; remember them to stay linear.
  size_t end_from = kNone, end_at = kNone;
  size_t lf_from = kNone, lf_at = kNone;
  size_t pos = 0;
  for (;;) {
    const size_t start = find_literal(s, n, prog.first, prog.first_fold, pos, first_bounds);
    if (start == kNone) return;
    const size_t inner = start + prog.first.size();
    if (end_from == kNone || end_from > inner || (end_at != kNone && end_at < inner)) {
      end_at = find_literal(s, n, prog.second, prog.second_fold, inner, second_bounds);
      end_from = inner;
    }
    if (end_at == kNone) return;  // no end literal anywhere further on
    if (lf_from == kNone || lf_from > inner || (lf_at != kNone && lf_at < inner)) {
      const void* hit = inner < n ? std::memchr(s + inner, '\n', n - inner) : nullptr;
      lf_at = hit ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - s) : kNone;
      lf_from = inner;
    }
    if (lf_at != kNone && lf_at < end_at) {  // "." cannot cross the LF
      pos = start + 1;
      continue;
    }
    const size_t end = end_at + prog.second.size();
    out.groups.push_back({true, static_cast<int64_t>(start), static_cast<int64_t>(end - start)});
    if (prog.captures) {
      out.groups.push_back(
          {true, static_cast<int64_t>(inner), static_cast<int64_t>(end_at - inner)});
    }
    if (!global) return;
    pos = end;
  }
}

Shortcut classify(std::u32string_view pattern, bool icase) {
  Shortcut shortcut;
  classify_into(pattern, icase, shortcut);
  if (shortcut.kind == Kind::kNone) shortcut = Shortcut();
  return shortcut;
}

}  // namespace qnl::regex_shortcuts
