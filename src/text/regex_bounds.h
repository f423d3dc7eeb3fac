// Bounds every search of both regular-expression facilities. Rule
// expressions are user-editable data and pages are hostile, so no search may
// run long, take much memory or outlive a stop request:
//  - per start position, PCRE2's match limit (the shipped listing rules need
//    about 1,100 steps; the limit leaves a margin of about ninety), and a heap
//    and depth limit for the interpreter (the JIT stack is capped anyway);
//  - start positions are tried in windows (PCRE2's offset limit); between
//    windows the search gives up once its time budget is spent or the
//    thread's stop request (RegexStopScope) says so. A window of 256 start
//    positions at the step limit each costs about 0.1 s of CPU, so a stop
//    ends a search within that time; on a listing page the windows add a
//    few microseconds.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 0  // both widths, by their explicit names
#endif
#include <pcre2.h>

#include "text/regex.h"

namespace qnl::regex_bounds {

inline constexpr uint32_t kMatchLimit = 100'000;  // per start position
inline constexpr uint32_t kDepthLimit = 100'000;
inline constexpr uint32_t kHeapLimitKiB = 64 * 1024;
inline constexpr size_t kJitStackMax = 4u << 20;
inline constexpr size_t kStartWindow = 256;
inline constexpr auto kSearchBudget = std::chrono::milliseconds(1500);

// Whether the current thread's stop scope asks searches to end.
bool stop_requested();

// Result of one attempt from `start`: PCRE2's return code and, on a match,
// the whole match's span in code units.
struct Attempt {
  int rc = 0;
  size_t begin = 0, end = 0;
};

// Runs a global search (all non-overlapping matches, an empty match followed
// by a try for a non-empty one at the same place) with the bounds above.
// `attempt(start, options, last_start)` runs one PCRE2 match that may start no
// later than `last_start` and records the match when there is one. Without
// `global`, the search ends after the first match.
template <class Try>
RegexOutcome bounded_search(size_t length, bool global, Try&& attempt) {
  const auto deadline = std::chrono::steady_clock::now() + kSearchBudget;
  size_t start = 0;
  uint32_t options = 0;
  while (start <= length) {
    if (stop_requested()) return RegexOutcome::kStopped;
    if (std::chrono::steady_clock::now() > deadline) return RegexOutcome::kLimit;
    const size_t last_start =
        options != 0 ? start : (length - start < kStartWindow ? length : start + kStartWindow - 1);
    const Attempt a = attempt(start, options, last_start);
    if (a.rc == PCRE2_ERROR_NOMATCH) {
      if (options != 0) {  // no non-empty match where the last one was empty
        options = 0;
        ++start;
      } else if (last_start >= length) {
        break;
      } else {
        start = last_start + 1;
      }
      continue;
    }
    if (a.rc < 0) return RegexOutcome::kLimit;  // match, depth or heap limit
    if (!global) break;
    options = a.begin == a.end ? PCRE2_ANCHORED | PCRE2_NOTEMPTY_ATSTART : 0;
    start = a.end;
  }
  return RegexOutcome::kComplete;
}

}  // namespace qnl::regex_bounds
