// Verbose-logging levels per source file, from the switches "v" and
// "vmodule" (for instance --v=1 --vmodule=foo=2,dir/bar*=3).

#ifndef BASE_VLOG_H_
#define BASE_VLOG_H_

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace base {

class VlogInfo {
 public:
  // |v_switch| sets *|min_log_level| to minus its value when it is a whole
  // decimal number; |vmodule_switch| holds comma-separated pattern=level
  // pairs. |min_log_level| must outlive this object.
  VlogInfo(const std::string& v_switch, const std::string& vmodule_switch,
           std::atomic<int>* min_log_level);

  VlogInfo(const VlogInfo&) = delete;
  VlogInfo& operator=(const VlogInfo&) = delete;

  // The level of the first pattern that matches |file|; without a match the
  // maximum verbose level.
  int GetVlogLevel(std::string_view file) const;

 private:
  struct VmodulePattern {
    enum MatchTarget { MATCH_MODULE = 0, MATCH_FILE = 1 };
    std::string pattern;
    int vlog_level = 0;
    MatchTarget match_target = MATCH_MODULE;
  };

  int GetMaxVlogLevel() const;

  std::vector<VmodulePattern> vmodule_levels_;
  std::atomic<int>* min_log_level_;
};

// Glob match of |string| against |vlog_pattern|: '*' any run, '?' any one
// character, and '/' or '\' in the pattern matches either slash.
bool MatchVlogPattern(std::string_view string, std::string_view vlog_pattern);

}  // namespace base

#endif  // BASE_VLOG_H_
