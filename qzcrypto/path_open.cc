#include "qzcrypto/path_open.h"

#include <errno.h>
#include <io.h>
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

struct FileIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
};

bool IdentifyFile(const char* path, PathCodePage code_page,
                  FileIdentity* identity) {
  FILE* file = OpenPath(path, "rb", code_page);
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION info = {};
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  const bool known = GetFileInformationByHandle(handle, &info) != FALSE;
  fclose(file);
  if (!known) return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index_high = info.nFileIndexHigh;
  identity->index_low = info.nFileIndexLow;
  return true;
}

}  // namespace

bool IsSameExistingFile(const char* a, const char* b, PathCodePage code_page) {
  FileIdentity first;
  FileIdentity second;
  return IdentifyFile(a, code_page, &first) &&
         IdentifyFile(b, code_page, &second) &&
         first.volume == second.volume &&
         first.index_high == second.index_high &&
         first.index_low == second.index_low;
}

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
