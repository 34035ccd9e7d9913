#include "testing/test_support/file_of_size.h"

#include <windows.h>

#include "base/win/scoped_handle.h"

bool MakeFileOfSize(const std::wstring& path, int64_t size) {
  base::win::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0,
                                           nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  LARGE_INTEGER end;
  end.QuadPart = size;
  return SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) &&
         SetEndOfFile(file.Get());
}
