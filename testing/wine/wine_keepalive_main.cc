// Keeps a Wine prefix's desktop process alive for the whole test run.
//
// Wine starts its desktop process (explorer) on demand from the first
// program that touches the desktop, and ends it when the last such program
// ends. Started from a test's program, it inherits that program's output
// pipe, and whoever reads the pipe then waits for ever. This program, started
// with detached streams when the prefix comes up, owns the desktop instead.
//
//   wine_keepalive.exe [READY_FILE]
//
// READY_FILE is made once the desktop is up, so the caller can wait for
// exactly that.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  // Returns once Wine's desktop process has made the desktop window.
  GetDesktopWindow();
  if (argc > 1) {
    HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  }
  Sleep(INFINITE);
  return 0;
}
