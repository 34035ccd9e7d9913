// Keeps a Wine prefix's desktop process alive for the whole test run.
//
// Wine starts its desktop process (explorer) on demand from the first
// program that touches the desktop, and ends it when the last such program
// ends. Started from a test's program, it inherits that program's output
// pipe, and whoever reads the pipe then waits for ever. This program, started
// with detached streams when the prefix comes up, owns the desktop instead.
#include <windows.h>

int main() {
  GetDesktopWindow();
  Sleep(INFINITE);
  return 0;
}
