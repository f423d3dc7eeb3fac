// The Perl-syntax engine over bytes: PCRE2 (8-bit code units) with its JIT
// compiler, so a listing page is matched in a fraction of the time a
// backtracking interpreter takes. "." takes line breaks too; "^" and "$" also
// match at line breaks.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <map>
#include <memory>
#include <mutex>

#include "text/regex.h"
#include "text/regex_bounds.h"

namespace qnl {
namespace {

struct PcreCode {
  pcre2_code* code = nullptr;
  uint32_t groups = 0;
  ~PcreCode() { pcre2_code_free(code); }
};

// Whether one of the start-of-pattern items, "(*NAME)" at the very start,
// keeps the pattern from the JIT. Rule text may not: the interpreter's cost
// grows with every capture group of a pattern.
bool turns_jit_off(TextView pattern) {
  while (pattern.starts_with("(*")) {
    const size_t close = pattern.find(')');
    if (close == TextView::npos) return false;
    if (pattern.substr(2, close - 2) == "NO_JIT") return true;
    pattern.remove_prefix(close + 1);
  }
  return false;
}

// Compiled patterns, shared by every thread (a compiled pattern is read-only);
// the crawler compiles the same few rule expressions in every wave.
std::shared_ptr<const PcreCode> compiled_pattern(TextView pattern, bool case_sensitive) {
  static std::mutex mutex;
  static std::map<std::pair<Text, bool>, std::shared_ptr<const PcreCode>> cache;
  std::pair<Text, bool> key{Text(pattern), case_sensitive};
  {
    std::lock_guard lock(mutex);
    const auto found = cache.find(key);
    if (found != cache.end()) return found->second;
  }
  uint32_t options = PCRE2_DOTALL | PCRE2_MULTILINE | PCRE2_USE_OFFSET_LIMIT;
  if (!case_sensitive) options |= PCRE2_CASELESS;
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  if (turns_jit_off(pattern)) return nullptr;
  auto code = std::make_shared<PcreCode>();
  code->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                             &error, &error_offset, nullptr);
  if (!code->code) return nullptr;
  // Without the JIT (not built in, or a pattern too big for it) the
  // interpreter runs under the heap limit.
  pcre2_jit_compile(code->code, PCRE2_JIT_COMPLETE);
  pcre2_pattern_info(code->code, PCRE2_INFO_CAPTURECOUNT, &code->groups);
  std::lock_guard lock(mutex);
  if (cache.size() >= 64) cache.clear();
  cache.emplace(std::move(key), code);
  return code;
}

// Per thread: a JIT stack big enough for long rows of lazy repetition, and
// the limits that bound every match.
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

pcre2_match_context* match_context() {
  thread_local MatchContext context;
  return context.context;
}

}  // namespace

struct CompiledRegex::Impl {
  std::shared_ptr<const PcreCode> code;
};

CompiledRegex::CompiledRegex() = default;
CompiledRegex::~CompiledRegex() = default;
CompiledRegex::CompiledRegex(CompiledRegex&&) noexcept = default;
CompiledRegex& CompiledRegex::operator=(CompiledRegex&&) noexcept = default;

bool CompiledRegex::valid() const {
  return impl_ != nullptr;
}

bool regex_compile(CompiledRegex& expression, TextView pattern, bool case_sensitive) {
  expression.impl_.reset();
  auto code = compiled_pattern(pattern, case_sensitive);
  if (!code) return false;
  expression.impl_ = std::make_unique<CompiledRegex::Impl>();
  expression.impl_->code = std::move(code);
  return true;
}

MatchList regex_search_all(const CompiledRegex& expression, TextView text, RegexOutcome* outcome) {
  MatchList list;
  if (outcome) *outcome = RegexOutcome::kComplete;
  if (!expression.impl_) return list;
  if (text.size() > kRegexTextCap) text = text.substr(0, kRegexTextCap);
  const PcreCode& code = *expression.impl_->code;
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
      pcre2_match_data_create_from_pattern(code.code, nullptr), &pcre2_match_data_free);
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  pcre2_match_context* context = match_context();
  const RegexOutcome result = regex_bounds::bounded_search(
      text.size(), true, [&](size_t start, uint32_t options, size_t last_start) {
        pcre2_set_offset_limit(context, last_start);
        regex_bounds::Attempt attempt;
        attempt.rc =
            pcre2_match(code.code, subject, text.size(), start, options, data.get(), context);
        if (attempt.rc < 0) return attempt;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
        RegexMatch match(code.groups + 1);
        for (uint32_t g = 0; g <= code.groups; ++g) {
          const PCRE2_SIZE from = ovector[2 * g];
          const PCRE2_SIZE to = ovector[2 * g + 1];
          if (g < static_cast<uint32_t>(attempt.rc) && from != PCRE2_UNSET)
            match[g] = {true, static_cast<int64_t>(from), static_cast<int64_t>(to - from)};
          else
            match[g] = {false, -1, 0};
        }
        list.push_back(std::move(match));
        attempt.begin = ovector[0];
        attempt.end = ovector[1];
        return attempt;
      });
  if (outcome) *outcome = result;
  if (result != RegexOutcome::kComplete) list.clear();  // never a partial list
  return list;
}

Text match_group_text(const RegexMatch& match, TextView text, int group_index, int64_t* position) {
  if (position) *position = -1;
  if (group_index < 0 || static_cast<size_t>(group_index) >= match.size()) return {};
  const MatchGroup& g = match[static_cast<size_t>(group_index)];
  if (!g.matched || g.offset < 0 || g.length < 0 ||
      static_cast<uint64_t>(g.offset) + static_cast<uint64_t>(g.length) > text.size()) {
    return {};
  }
  if (position) *position = g.offset;
  return Text(text.substr(static_cast<size_t>(g.offset), static_cast<size_t>(g.length)));
}

}  // namespace qnl
