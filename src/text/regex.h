// Regular expressions over CP936 text.
//
// Two facilities, each caller using a fixed one:
//  - the Perl-syntax engine over bytes (crawler and reader pick posts out of
//    pages): "." matches any byte, line breaks included; "^"/"$" also match at
//    line breaks; a double-byte character is two units;
//  - the regex object (markup stripping): ECMAScript-like rules, "." stops
//    only at LF, "^"/"$" match at CR or LF in multi-line mode, case ignored by
//    default, the unit is the character and offsets are reported in bytes.
// A pattern that runs into the engine's complexity limit counts as no match.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "text/text.h"

namespace qnl {

// Largest text handed to either engine; longer texts are cut to this size.
inline constexpr size_t kRegexTextCap = 32u << 20;

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
  friend MatchList regex_search_all(const CompiledRegex&, TextView);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// True when the pattern compiles; an expression that did not compile finds
// nothing.
bool regex_compile(CompiledRegex& expression, TextView pattern, bool case_sensitive = true);
// All non-overlapping matches, left to right.
MatchList regex_search_all(const CompiledRegex& expression, TextView text);
// Text of one group of one match (0 = whole match), empty when the group did
// not take part; `position` receives its 0-based byte offset.
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
  // Pattern of the last successful execution, empty before.
  Text pattern() const;
  // The subject with the matches (all when global) replaced by plain text;
  // empty when there was no successful execution.
  Text replace(TextView replacement) const;
  int64_t match_count() const;
  // 1-based match index; empty text beyond the last. `position` receives the
  // 0-based byte offset in the subject.
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
// pattern gives empty text.
Text regex_replace_all(TextView pattern, TextView text, TextView replacement);

}  // namespace qnl
