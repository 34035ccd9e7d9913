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
// READY_FILE is made once the desktop has stayed up past its start, so the
// caller can wait for exactly that. When the desktop process ends, this
// program ends too (exit code 1), so that the caller starts a new keeper,
// and with it a new desktop, before the next program.
//
// A desktop that comes up while prefixes boot side by side is sometimes
// closed by the server moments after its start (a second after one of its
// own start-up threads gave up, as if it had no other user): hence the
// settling time.
#include <windows.h>

namespace {

// Longer than the server's wait between the last user leaving a desktop
// and its close (one second).
const DWORD kSettleMs = 1500;

// The desktop process, or null when there is no desktop.
HANDLE OpenDesktopProcess() {
  HWND desktop = GetDesktopWindow();
  DWORD pid = 0;
  if (!desktop || !GetWindowThreadProcessId(desktop, &pid) || !pid)
    return nullptr;
  return OpenProcess(SYNCHRONIZE, FALSE, pid);
}

void MakeReadyFile(const wchar_t* path) {
  HANDLE ready = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HANDLE desktop_process = OpenDesktopProcess();
  if (!desktop_process) return 1;
  if (WaitForSingleObject(desktop_process, kSettleMs) != WAIT_TIMEOUT)
    return 1;
  if (argc > 1) MakeReadyFile(argv[1]);
  WaitForSingleObject(desktop_process, INFINITE);
  return 1;
}
