#include "testing/test_support/program_beside.h"

#include <windows.h>

std::wstring ThisProgram() {
  // Grows the buffer: a build folder may lie deeper than MAX_PATH allows.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, &path[0],
                                      static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring ProgramBesideThisOne(const std::wstring& file_name) {
  const std::wstring self = ThisProgram();
  return self.substr(0, self.find_last_of(L'\\') + 1) + file_name;
}
