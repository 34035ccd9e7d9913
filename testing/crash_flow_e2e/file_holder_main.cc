// Holds a file the way the client application holds its BI log: open for
// reading and writing, shared with nobody, created when missing. Prints
// "held" (or "not held <error>") and keeps the file until a line or the end
// comes on standard input.
//
//   file_holder.exe <path>

#include <windows.h>

#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: file_holder.exe <path>\n");
    return 2;
  }
  HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    printf("not held %lu\n", GetLastError());
    return 1;
  }
  printf("held\n");
  fflush(stdout);
  char line[16];
  fgets(line, sizeof(line), stdin);
  CloseHandle(file);
  return 0;
}
