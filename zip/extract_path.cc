#include "zip/extract_path.h"

#include <windows.h>

namespace zip {
namespace {

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

}  // namespace

bool IsContainedRelativePath(const std::wstring& path) {
  if (path.empty() || IsSeparator(path[0])) return false;
  if (path.size() > 1 && path[1] == L':') return false;
  for (size_t dots = path.find(L".."); dots != std::wstring::npos;
       dots = path.find(L"..", dots + 1)) {
    const size_t after = dots + 2;
    if (after == path.size() || IsSeparator(path[after])) return false;
  }
  return true;
}

bool CreateFolderChain(const std::wstring& base, const std::wstring& folders) {
  for (size_t i = 0; i <= folders.size(); ++i) {
    if (i < folders.size() && !IsSeparator(folders[i])) continue;
    if (i == 0 || IsSeparator(folders[i - 1])) continue;
    const std::wstring folder = base + folders.substr(0, i);
    if (!CreateDirectoryW(folder.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  return true;
}

}  // namespace zip
