#include "base/vlog.h"

#include <limits.h>
#include <stdint.h>

#include "base/logging.h"

namespace base {

namespace {

// Decimal text to int: an optional sign, then digits only. Out-of-range
// values saturate. Returns false, keeping the value of the digits read so
// far, when the text is empty, has anything else or is out of range.
bool ParseDecimal(std::string_view text, int* output) {
  *output = 0;
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return false;
  const int64_t kLimit = static_cast<int64_t>(INT_MAX) + 1;
  int64_t magnitude = 0;
  bool overflow = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kLimit) {
      magnitude = kLimit;
      overflow = true;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) {
      *output = INT_MAX;
    } else {
      *output = static_cast<int>(value);
    }
  }
  return !overflow && (magnitude < kLimit || negative);
}

std::string_view TrimAsciiSpace(std::string_view text) {
  const char* const kSpace = " \t\n\v\f\r";
  const size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return std::string_view();
  const size_t last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

// The file's base name without its extension and without a trailing "-inl".
std::string_view GetModule(std::string_view file) {
  std::string_view module = file;
  const size_t last_slash = module.find_last_of("\\/");
  if (last_slash != std::string_view::npos)
    module.remove_prefix(last_slash + 1);
  const size_t extension_start = module.rfind('.');
  module = module.substr(0, extension_start);
  const std::string_view kInlSuffix = "-inl";
  if (module.size() >= kInlSuffix.size() &&
      module.substr(module.size() - kInlSuffix.size()) == kInlSuffix) {
    module.remove_suffix(kInlSuffix.size());
  }
  return module;
}

bool IsSlash(char c) { return c == '/' || c == '\\'; }

}  // namespace

VlogInfo::VlogInfo(const std::string& v_switch,
                   const std::string& vmodule_switch,
                   std::atomic<int>* min_log_level)
    : min_log_level_(min_log_level) {
  int vlog_level = 0;
  if (!v_switch.empty() && ParseDecimal(v_switch, &vlog_level)) {
    // Computed wide: the negation of INT_MIN does not fit an int. A negative
    // value must not lift the level so high that FATAL records vanish.
    const int64_t level = -static_cast<int64_t>(vlog_level);
    min_log_level_->store(
        static_cast<int>(level > LOG_ERROR_REPORT ? LOG_ERROR_REPORT : level));
  }

  // Pairs are "key=value" separated by ','; a pair without '=' is dropped.
  std::string_view rest = vmodule_switch;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    std::string_view pair = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view()
                                           : rest.substr(comma + 1);
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos) continue;
    VmodulePattern pattern;
    pattern.pattern = std::string(TrimAsciiSpace(pair.substr(0, equals)));
    if (pattern.pattern.empty()) continue;
    if (pattern.pattern.find_first_of("\\/") != std::string::npos)
      pattern.match_target = VmodulePattern::MATCH_FILE;
    ParseDecimal(TrimAsciiSpace(pair.substr(equals + 1)), &pattern.vlog_level);
    vmodule_levels_.push_back(std::move(pattern));
  }
}

int VlogInfo::GetMaxVlogLevel() const { return -min_log_level_->load(); }

int VlogInfo::GetVlogLevel(std::string_view file) const {
  if (vmodule_levels_.empty()) return GetMaxVlogLevel();
  const std::string_view module = GetModule(file);
  for (const VmodulePattern& pattern : vmodule_levels_) {
    const std::string_view target =
        pattern.match_target == VmodulePattern::MATCH_FILE ? file : module;
    if (MatchVlogPattern(target, pattern.pattern)) return pattern.vlog_level;
  }
  return GetMaxVlogLevel();
}

bool MatchVlogPattern(std::string_view string, std::string_view vlog_pattern) {
  std::string_view p = vlog_pattern;
  std::string_view s = string;
  while (!p.empty() && !s.empty() && p[0] != '*') {
    const bool same = IsSlash(p[0]) ? IsSlash(s[0])
                                    : (p[0] == '?' || p[0] == s[0]);
    if (!same) return false;
    p.remove_prefix(1);
    s.remove_prefix(1);
  }
  if (p.empty()) return s.empty();

  while (!p.empty() && p[0] == '*') p.remove_prefix(1);
  if (p.empty()) return true;

  for (; !s.empty(); s.remove_prefix(1)) {
    if (MatchVlogPattern(s, p)) return true;
  }
  return false;
}

}  // namespace base
