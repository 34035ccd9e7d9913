// Opens a named file mapping with the plain Windows calls, as another
// process of the product would, and writes its text (up to the first zero
// byte, within the view) to standard output.
//
//   ipc_mapping_probe.exe <mapping name>
//
// Exit codes: 0 read, 1 usage, 2 no such mapping, 3 the view failed.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ipc_mapping_probe <mapping name>\n");
    return 1;
  }
  HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, argv[1]);
  if (!mapping) return 2;
  const char* view =
      static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  if (!view) {
    CloseHandle(mapping);
    return 3;
  }
  MEMORY_BASIC_INFORMATION info = {};
  size_t size = 0;
  if (VirtualQuery(view, &info, sizeof(info)) == sizeof(info))
    size = info.RegionSize;
  const void* zero = std::memchr(view, 0, size);
  size_t length = zero ? static_cast<const char*>(zero) - view : size;
  _setmode(_fileno(stdout), _O_BINARY);
  std::fwrite(view, 1, length, stdout);
  std::fflush(stdout);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return 0;
}
