#include "qzcrypto/path_open.h"

#include <errno.h>
#include <windows.h>

#include <string>

namespace qzcrypto {

namespace {

bool Utf8ToWideStrictly(const char* text, std::wstring* wide) {
  const int count =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (count <= 0) return false;
  wide->resize(count);
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &(*wide)[0],
                          count) != count) {
    return false;
  }
  wide->resize(count - 1);
  return true;
}

}  // namespace

FILE* OpenPath(const char* path, const char* mode, PathCodePage code_page) {
  if (!path || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  if (code_page == PathCodePage::kAnsi) return fopen(path, mode);
  std::wstring wide_path;
  std::wstring wide_mode;
  if (!Utf8ToWideStrictly(path, &wide_path) ||
      !Utf8ToWideStrictly(mode, &wide_mode)) {
    errno = EINVAL;
    return nullptr;
  }
  return _wfopen(wide_path.c_str(), wide_mode.c_str());
}

}  // namespace qzcrypto
