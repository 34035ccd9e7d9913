#include "quillavera_crash_reporter/reporter_constants.h"

#include <mutex>

namespace {

const NamedValue kProductPair(L"prod", L"QuillaVeraCrashReporter");

std::mutex g_version_lock;
NamedValue g_version_pair(L"ver", L"1.0");

}  // namespace

NamedValue GetProductPair() { return kProductPair; }

NamedValue GetVersionPair() {
  std::lock_guard<std::mutex> lock(g_version_lock);
  return g_version_pair;
}

void SetVersionValue(const std::wstring& version) {
  std::lock_guard<std::mutex> lock(g_version_lock);
  g_version_pair.second = version;
}
