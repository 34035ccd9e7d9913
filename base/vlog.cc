#include "base/vlog.h"

#include <stdint.h>

#include <utility>

#include "base/logging.h"
#include "base/string_number_conversions.h"
#include "base/string_split.h"

namespace base {

namespace {

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
  if (!v_switch.empty() && StringToInt(v_switch, &vlog_level)) {
    // Computed wide: the negation of INT_MIN does not fit an int. A negative
    // value must not lift the level so high that FATAL records vanish.
    const int64_t level = -static_cast<int64_t>(vlog_level);
    min_log_level_->store(
        static_cast<int>(level > LOG_ERROR_REPORT ? LOG_ERROR_REPORT : level));
  }

  std::vector<std::pair<std::string, std::string>> pairs;
  SplitStringIntoKeyValuePairs(vmodule_switch, '=', ',', &pairs);
  for (const std::pair<std::string, std::string>& pair : pairs) {
    VmodulePattern pattern;
    pattern.pattern = pair.first;
    if (pattern.pattern.find_first_of("\\/") != std::string::npos)
      pattern.match_target = VmodulePattern::MATCH_FILE;
    // A level that does not parse keeps what the parser made of it.
    StringToInt(pair.second, &pattern.vlog_level);
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
