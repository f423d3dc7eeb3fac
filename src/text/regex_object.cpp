// The regex object: PCRE2 in 32-bit code units over the decoded text.
//
// The regex object matches characters, not bytes. A CP936 text is decoded
// into one 32-bit unit per character: an ASCII byte stays itself, a lead byte
// 0x81-0xFE followed by a valid trail byte (0x40-0x7E, 0x80-0xFE) becomes the
// private code point 0x100000 + (lead << 8 | trail), and any other byte of
// 0x80 or above becomes 0x10FF00 + byte. These code points belong to no
// character class and have no case, so "\w", "\s" and case folding act on
// ASCII only, and a pattern decoded the same way matches Chinese literally.
// Because a byte below 0x40 (or 0x7F, 0xFF) is never a trail byte, it always
// starts a character: the shortcuts (regex_shortcuts.h) rely on that.
#define PCRE2_CODE_UNIT_WIDTH 32
#include <pcre2.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "text/cp936.h"
#include "text/regex.h"
#include "text/regex_bounds.h"
#include "text/regex_shortcuts.h"

namespace qnl {

namespace {

using regex_shortcuts::kDoubleBase;
using regex_shortcuts::kLoneBase;
using regex_shortcuts::Matches;

// Length in bytes of the character starting at `i`.
inline size_t char_length(const unsigned char* s, size_t n, size_t i) {
  return (is_lead_byte(s[i]) && i + 1 < n && is_trail_byte(s[i + 1])) ? 2 : 1;
}

// Decodes `text` into `out`; `offsets` (when given) receives the byte offset
// of every character plus one entry for the end.
void decode(TextView text, std::u32string& out, std::vector<uint32_t>* offsets) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  out.clear();
  out.reserve(n);
  if (offsets) {
    offsets->clear();
    offsets->reserve(n + 1);
  }
  size_t i = 0;
  while (i < n) {
    if (offsets) offsets->push_back(static_cast<uint32_t>(i));
    const unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(static_cast<char32_t>(b));
      ++i;
    } else if (char_length(s, n, i) == 2) {
      out.push_back(kDoubleBase + static_cast<char32_t>(b << 8 | s[i + 1]));
      i += 2;
    } else {
      out.push_back(kLoneBase + static_cast<char32_t>(b));
      ++i;
    }
  }
  if (offsets) offsets->push_back(static_cast<uint32_t>(n));
}

TextView capped(TextView text) {
  return text.size() > kRegexTextCap ? text.substr(0, kRegexTextCap) : text;
}

// ---- compiled regex object patterns ----

struct Program {
  bool valid = false;
  int groups = 0;
  regex_shortcuts::Shortcut shortcut;
  std::shared_ptr<pcre2_code> code;
};

std::atomic<bool> g_fast_paths{true};

// "." must stop only at LF (the engine would also stop at CR and FF), so an
// unescaped "." outside a bracket expression becomes "[^\n]". In multi-line
// mode "^" and "$" become look-arounds: a line ends at CR, LF or CR LF, and
// never between the CR and the LF (the engine alone would match "$" there).
std::u32string translate(const std::u32string& p, bool multiline) {
  std::u32string out;
  out.reserve(p.size() + 16);
  const size_t n = p.size();
  size_t i = 0;
  while (i < n) {
    const char32_t c = p[i];
    if (c == U'\\') {
      if (i + 1 < n && p[i + 1] == U'Q') {  // \Q...\E quotes text
        const size_t end = p.find(U"\\E", i + 2);
        const size_t stop = end == std::u32string::npos ? n : end + 2;
        out.append(p, i, stop - i);
        i = stop;
        continue;
      }
      out.append(p, i, std::min<size_t>(2, n - i));
      i += 2;
      continue;
    }
    if (c == U'(' && i + 2 < n && p[i + 1] == U'?' && p[i + 2] == U'#') {  // comment
      const size_t end = p.find(U')', i);
      const size_t stop = end == std::u32string::npos ? n : end + 1;
      out.append(p, i, stop - i);
      i = stop;
      continue;
    }
    if (c == U'[') {
      size_t j = i + 1;
      if (j < n && p[j] == U'^') ++j;
      if (j < n && p[j] == U']') ++j;  // a leading "]" is a member
      while (j < n && p[j] != U']') {
        if (p[j] == U'\\') {
          j += 2;
        } else if (p[j] == U'[' && j + 1 < n &&
                   (p[j + 1] == U':' || p[j + 1] == U'.' || p[j + 1] == U'=')) {
          const char32_t close[] = {p[j + 1], U']', 0};
          const size_t end = p.find(close, j + 2);
          j = end == std::u32string::npos ? n : end + 2;
        } else {
          ++j;
        }
      }
      const size_t stop = std::min(n, j + 1);
      out.append(p, i, stop - i);
      i = stop;
      continue;
    }
    if (c == U'.') {
      out += U"[^\\n]";
    } else if (multiline && c == U'^') {
      out += U"(?<![^\\r\\n])(?!(?<=\\r)\\n)";  // at the start or after CR or LF
    } else if (multiline && c == U'$') {
      out += U"(?![^\\r\\n])(?!(?<=\\r)\\n)";  // at the end or before CR or LF
    } else {
      out.push_back(c);
    }
    ++i;
  }
  return out;
}

std::shared_ptr<const Program> compile_program(TextView pattern, bool icase, bool multiline) {
  auto prog = std::make_shared<Program>();
  std::u32string decoded;
  decode(pattern, decoded, nullptr);
  const std::u32string translated = translate(decoded, multiline);
  // Line ends are CR, LF and CR LF for anything left to the engine; "$"
  // without multi-line mode matches at the very end only.
  uint32_t options = PCRE2_USE_OFFSET_LIMIT;
  options |= multiline ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY;
  if (icase) options |= PCRE2_CASELESS;
  static const std::shared_ptr<pcre2_compile_context> context = [] {
    std::shared_ptr<pcre2_compile_context> c(pcre2_compile_context_create(nullptr),
                                             &pcre2_compile_context_free);
    pcre2_set_newline(c.get(), PCRE2_NEWLINE_ANYCRLF);
    return c;
  }();
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  pcre2_code* code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(), options,
                    &error, &error_offset, context.get());
  if (!code) return prog;
  prog->code.reset(code, &pcre2_code_free);
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);  // else the interpreter, under the heap limit
  uint32_t groups = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &groups);
  prog->groups = static_cast<int>(groups);
  prog->valid = true;
  prog->shortcut = regex_shortcuts::classify(decoded, icase);
  return prog;
}

struct CacheEntry {
  std::string pattern;
  bool icase;
  bool multiline;
  std::shared_ptr<const Program> program;
};

// Patterns repeat (the crawler strips the same markup from every page), so
// each thread keeps its last few compiled patterns.
std::shared_ptr<const Program> get_program(TextView pattern, bool icase, bool multiline) {
  constexpr size_t kCacheSize = 24;
  thread_local std::vector<CacheEntry> cache;
  for (size_t i = 0; i < cache.size(); ++i) {
    CacheEntry& e = cache[i];
    if (e.icase == icase && e.multiline == multiline && e.pattern == pattern) {
      if (i != 0) std::rotate(cache.begin(), cache.begin() + i, cache.begin() + i + 1);
      return cache.front().program;
    }
  }
  auto program = compile_program(pattern, icase, multiline);
  if (cache.size() >= kCacheSize) cache.pop_back();
  cache.insert(cache.begin(), CacheEntry{std::string(pattern), icase, multiline, program});
  return program;
}

// ---- engine runs ----

// Per thread: the JIT stack and the limits that bound every match.
struct MatchContext {
  pcre2_jit_stack* stack = pcre2_jit_stack_create(32 * 1024, regex_bounds::kJitStackMax, nullptr);
  pcre2_match_context* context = pcre2_match_context_create(nullptr);
  MatchContext() {
    pcre2_jit_stack_assign(context, nullptr, stack);
    pcre2_set_match_limit(context, regex_bounds::kMatchLimit);
    pcre2_set_depth_limit(context, regex_bounds::kDepthLimit);
    pcre2_set_heap_limit(context, regex_bounds::kHeapLimitKiB);
  }
  ~MatchContext() {
    pcre2_match_context_free(context);
    pcre2_jit_stack_free(stack);
  }
  MatchContext(const MatchContext&) = delete;
  MatchContext& operator=(const MatchContext&) = delete;
};

// The engine over the decoded text; offsets are turned back into bytes.
RegexOutcome engine_matches(const Program& prog, TextView text, bool global, Matches& out) {
  thread_local MatchContext context;
  thread_local std::u32string wide;
  thread_local std::vector<uint32_t> offsets;
  decode(text, wide, &offsets);
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
      pcre2_match_data_create_from_pattern(prog.code.get(), nullptr), &pcre2_match_data_free);
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(wide.data());
  const RegexOutcome outcome = regex_bounds::bounded_search(
      wide.size(), global, [&](size_t start, uint32_t options, size_t last_start) {
        pcre2_set_offset_limit(context.context, last_start);
        regex_bounds::Attempt attempt;
        attempt.rc = pcre2_match(prog.code.get(), subject, wide.size(), start, options, data.get(),
                                 context.context);
        if (attempt.rc < 0) return attempt;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
        for (size_t g = 0; g < out.stride; ++g) {
          const PCRE2_SIZE from = ovector[2 * g];
          const PCRE2_SIZE to = ovector[2 * g + 1];
          if (g < static_cast<size_t>(attempt.rc) && from != PCRE2_UNSET) {
            out.groups.push_back({true, static_cast<int64_t>(offsets[from]),
                                  static_cast<int64_t>(offsets[to]) - offsets[from]});
          } else {
            out.groups.push_back({false, -1, 0});
          }
        }
        attempt.begin = ovector[0];
        attempt.end = ovector[1];
        return attempt;
      });
  constexpr size_t kKeep = 1u << 20;  // do not hold on to huge buffers
  if (wide.capacity() > kKeep) {
    std::u32string().swap(wide);
    std::vector<uint32_t>().swap(offsets);
  }
  return outcome;
}

// All matches (the first only without `global`), in byte offsets. A search
// that did not complete leaves `out` empty.
RegexOutcome run_program(const Program& prog, TextView text, bool global, Matches& out) {
  out.clear(static_cast<size_t>(prog.groups) + 1);
  const bool fast = g_fast_paths.load(std::memory_order_relaxed);
  if (fast && prog.shortcut.kind == regex_shortcuts::Kind::kLiteral) {
    regex_shortcuts::scan_literal(prog.shortcut, text, global, out);
    return RegexOutcome::kComplete;
  }
  if (fast && prog.shortcut.kind == regex_shortcuts::Kind::kLazySpan) {
    regex_shortcuts::scan_lazy_span(prog.shortcut, text, global, out);
    return RegexOutcome::kComplete;
  }
  const RegexOutcome outcome = engine_matches(prog, text, global, out);
  if (outcome != RegexOutcome::kComplete) out.clear(out.stride);
  return outcome;
}

// `text` with the group-0 spans replaced by `replacement`.
Text splice(TextView text, const Matches& matches, TextView replacement) {
  Text result;
  const size_t count = matches.count();
  result.reserve(text.size() + (replacement.size() > 0 ? count * replacement.size() : 0));
  size_t pos = 0;
  for (size_t i = 0; i < count; ++i) {
    const MatchGroup& g = matches.groups[i * matches.stride];
    const auto off = static_cast<size_t>(g.offset);
    result.append(text.substr(pos, off - pos));
    result.append(replacement);
    pos = off + static_cast<size_t>(g.length);
  }
  result.append(text.substr(pos));
  return result;
}

}  // namespace

// ---- The regex object ----

struct RegexObject::State {
  Text pattern;
  Text subject;
  bool global = true;
  int groups = 0;
  Matches matches;

  const MatchGroup* group(int64_t match_index, int64_t group_index) const {
    if (match_index < 1 || static_cast<uint64_t>(match_index) > matches.count()) return nullptr;
    if (group_index < 0 || group_index > groups) return nullptr;
    const MatchGroup& g = matches.groups[static_cast<size_t>(match_index - 1) * matches.stride +
                                         static_cast<size_t>(group_index)];
    return g.matched ? &g : nullptr;
  }
  Text text_of(const MatchGroup* g, int64_t* position) const {
    if (position) *position = g ? g->offset : -1;
    if (!g) return {};
    return subject.substr(static_cast<size_t>(g->offset), static_cast<size_t>(g->length));
  }
};

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject&) = default;
RegexObject& RegexObject::operator=(const RegexObject&) = default;

bool RegexObject::execute(TextView pattern, TextView subject, bool case_sensitive, bool multiline,
                          bool global, bool quote_placeholder) {
  state_.reset();
  auto state = std::make_shared<State>();
  state->pattern = quote_placeholder ? expand_quote_placeholder(pattern) : Text(pattern);
  const auto program = get_program(state->pattern, !case_sensitive, multiline);
  if (!program->valid) return false;
  state->subject = Text(subject);
  state->global = global;
  state->groups = program->groups;
  // A search the engine gives up on counts as finding nothing.
  run_program(*program, capped(state->subject), global, state->matches);
  state_ = std::move(state);
  return true;
}

Text RegexObject::pattern() const {
  return state_ ? state_->pattern : Text();
}

Text RegexObject::replace(TextView replacement) const {
  if (!state_) return {};
  return splice(state_->subject, state_->matches, replacement);
}

int64_t RegexObject::match_count() const {
  return state_ ? static_cast<int64_t>(state_->matches.count()) : 0;
}

Text RegexObject::match_text(int64_t match_index, int64_t* position) const {
  if (!state_) {
    if (position) *position = -1;
    return {};
  }
  return state_->text_of(state_->group(match_index, 0), position);
}

Text RegexObject::sub_match_text(int64_t match_index, int64_t group_index,
                                 int64_t* position) const {
  if (!state_ || group_index < 1) {
    if (position) *position = -1;
    return {};
  }
  return state_->text_of(state_->group(match_index, group_index), position);
}

int64_t RegexObject::sub_match_count() const {
  return state_ && state_->matches.count() > 0 ? state_->groups : 0;
}

namespace {

// Matches of `pattern` with the regex object's defaults, in a per-thread list
// reused from call to call; null when the pattern is invalid.
const Matches* replace_all_matches(TextView pattern, TextView text) {
  const auto program = get_program(pattern, true, true);
  if (!program->valid) return nullptr;
  thread_local Matches matches;
  if (matches.groups.capacity() > (1u << 16)) std::vector<MatchGroup>().swap(matches.groups);
  run_program(*program, capped(text), true, matches);
  return &matches;
}

}  // namespace

Text regex_replace_all(TextView pattern, TextView text, TextView replacement) {
  const Matches* matches = replace_all_matches(pattern, text);
  return matches ? splice(text, *matches, replacement) : Text();
}

void regex_replace_all_in_place(TextView pattern, Text& text, TextView replacement) {
  Text own_copy;
  if (!replacement.empty() && replacement.data() >= text.data() &&
      replacement.data() < text.data() + text.size()) {
    own_copy = Text(replacement);  // the replacement lies inside the text being rewritten
    replacement = own_copy;
  }
  const Matches* matches = replace_all_matches(pattern, text);
  if (!matches) {
    text.clear();
    return;
  }
  const size_t count = matches->count();
  if (count == 0) return;
  bool shrinks = true;
  for (size_t i = 0; i < count && shrinks; ++i) {
    shrinks =
        static_cast<size_t>(matches->groups[i * matches->stride].length) >= replacement.size();
  }
  if (!shrinks) {
    text = splice(text, *matches, replacement);
    return;
  }
  // Every match is at least as long as the replacement, so the write point
  // never passes the read point.
  char* data = text.data();
  size_t write = 0, read = 0;
  for (size_t i = 0; i < count; ++i) {
    const MatchGroup& g = matches->groups[i * matches->stride];
    const auto off = static_cast<size_t>(g.offset);
    if (write != read) std::memmove(data + write, data + read, off - read);
    write += off - read;
    if (!replacement.empty()) std::memcpy(data + write, replacement.data(), replacement.size());
    write += replacement.size();
    read = off + static_cast<size_t>(g.length);
  }
  if (write != read) std::memmove(data + write, data + read, text.size() - read);
  text.resize(write + (text.size() - read));
}

void regex_set_fast_paths(bool enabled) {
  g_fast_paths.store(enabled);
}

}  // namespace qnl
