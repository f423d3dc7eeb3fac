// Regular expressions over CP936 text.
//
// Two facilities, each caller using a fixed one:
//  - the Perl-syntax engine over bytes, PCRE2 with its JIT compiler (crawler
//    and reader pick posts out of pages): "." matches any byte, line breaks
//    included; "^"/"$" also match at line breaks; a double-byte character is
//    two units;
//  - the regex object, PCRE2 in 32-bit code units over the decoded text
//    (markup stripping): Perl syntax, "." stops only at LF, "^"/"$" match at
//    CR or LF in multi-line mode, case ignored by default, the unit is the
//    character and offsets are reported in bytes.
// Every search is bounded (see regex_bounds.h): a search that runs into a
// limit, or is ended by a stop request, counts as no match.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "text/text.h"

namespace qnl {

// Largest text handed to either engine; only this much of a longer text is
// searched (the regex object's replace keeps the rest unchanged).
inline constexpr size_t kRegexTextCap = 32u << 20;

// How a search ended. A search that did not complete found nothing.
enum class RegexOutcome {
  kComplete,
  kLimit,    // the pattern ran into a match, memory or time limit
  kStopped,  // the thread's stop request ended it
};

// While alive, searches on this thread end (kStopped) once `stop` returns
// true; it is asked between windows of start positions, so a stop request
// ends a search well within a second. Scopes nest; the innermost counts.
class RegexStopScope {
 public:
  explicit RegexStopScope(std::function<bool()> stop);
  ~RegexStopScope();
  RegexStopScope(const RegexStopScope&) = delete;
  RegexStopScope& operator=(const RegexStopScope&) = delete;

 private:
  std::function<bool()> stop_;
  const std::function<bool()>* outer_;
};

// ---- Perl-syntax engine over bytes ----

struct MatchGroup {
  bool matched = false;
  int64_t offset = 0;  // 0-based byte offset in the searched text
  int64_t length = 0;
};
// Group 0 is the whole match.
using RegexMatch = std::vector<MatchGroup>;
using MatchList = std::vector<RegexMatch>;

class CompiledRegex {
 public:
  CompiledRegex();
  ~CompiledRegex();
  CompiledRegex(CompiledRegex&&) noexcept;
  CompiledRegex& operator=(CompiledRegex&&) noexcept;
  bool valid() const;

 private:
  friend bool regex_compile(CompiledRegex&, TextView, bool);
  friend MatchList regex_search_all(const CompiledRegex&, TextView, RegexOutcome*);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// True when the pattern compiles; an expression that did not compile finds
// nothing. A pattern that turns off the JIT compiler ("(*NO_JIT)") is
// refused: the JIT keeps runaway patterns cheap in memory.
bool regex_compile(CompiledRegex& expression, TextView pattern, bool case_sensitive = true);
// All non-overlapping matches, left to right; none when the search did not
// complete. `outcome` (when given) tells how it ended.
MatchList regex_search_all(const CompiledRegex& expression, TextView text,
                           RegexOutcome* outcome = nullptr);
// Text of one group of one match (0 = whole match), empty when the group did
// not take part; `position` receives its 0-based byte offset (-1 when empty
// because the group did not take part or does not exist).
Text match_group_text(const RegexMatch& match, TextView text, int group_index,
                      int64_t* position = nullptr);

// ---- The regex object ----

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject&);
  RegexObject& operator=(const RegexObject&);

  // True when the pattern was accepted (also when nothing matched). With
  // `quote_placeholder`, "#引号" in the pattern stands for a double quote.
  bool execute(TextView pattern, TextView subject, bool case_sensitive = false,
               bool multiline = true, bool global = true, bool quote_placeholder = false);
  // Pattern of the last execution (placeholder expanded); empty before the
  // first and after a failed one.
  Text pattern() const;
  // The subject with the matches (all when global) replaced by plain text;
  // empty when the last execution failed or there was none. A search the
  // engine gave up on (complexity limit) found nothing, so the subject comes
  // back unchanged.
  Text replace(TextView replacement) const;
  int64_t match_count() const;
  // 1-based match index, 1-based group index; empty text beyond the last.
  // `position` receives the 0-based byte offset in the subject, -1 when there
  // is no such match or the group did not take part.
  Text match_text(int64_t match_index, int64_t* position = nullptr) const;
  Text sub_match_text(int64_t match_index, int64_t group_index, int64_t* position = nullptr) const;
  // Capture groups of the first match.
  int64_t sub_match_count() const;

 private:
  struct State;
  std::shared_ptr<const State> state_;
};

// `text` with every match of `pattern` replaced by `replacement`, with the
// regex object's defaults (case ignored, multi-line, global). An invalid
// pattern gives empty text; a search the engine gives up on leaves the text
// unchanged.
Text regex_replace_all(TextView pattern, TextView text, TextView replacement);
// Same result written back into `text`; when the replacement is no longer
// than any match (markup stripping) no memory is allocated.
void regex_replace_all_in_place(TextView pattern, Text& text, TextView replacement);

// Plain-text and lazy-span patterns take shortcuts over the bytes that give
// the engine's results. Tests and
// benchmarks turn them off to compare; on by default.
void regex_set_fast_paths(bool enabled);

}  // namespace qnl
