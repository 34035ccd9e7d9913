// Windows-side helper of the reporter start-up tests:
//   startup_probe data-folder      prints the reporter's data folder
//   startup_probe wait-event <ms>  creates the ready event (manual reset,
//                                  unsignalled) as the client application
//                                  does, prints "created", then "signalled"
//                                  or "timeout"
//   startup_probe event-state      prints "absent", "signalled" or
//                                  "unsignalled" for the ready event
//   startup_probe wait-pipe <ms>   prints "pipe" once the crash pipe exists,
//                                  else "timeout"
//   startup_probe pipe-gone <ms>   prints "gone" once no crash pipe exists,
//                                  else "timeout"

#include <windows.h>
#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

namespace {

const wchar_t kReadyEvent[] = L"quillaveraCrashServerEventHandler";
const wchar_t kCrashPipe[] = L"\\\\.\\pipe\\QuillaveraCrashServices\\Server";

int PrintDataFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0,
                              folder))) {
    return 1;
  }
  printf("%ls\\Kestrix\\QuillaVera\n", folder);
  return 0;
}

int WaitForReadyEvent(DWORD timeout_ms) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, kReadyEvent);
  if (!event) return 1;
  printf("created\n");
  fflush(stdout);
  DWORD woke = WaitForSingleObject(event, timeout_ms);
  printf(woke == WAIT_OBJECT_0 ? "signalled\n" : "timeout\n");
  CloseHandle(event);
  return 0;
}

int PrintEventState() {
  HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, kReadyEvent);
  if (!event) {
    printf("absent\n");
    return 0;
  }
  bool signalled = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
  printf(signalled ? "signalled\n" : "unsignalled\n");
  CloseHandle(event);
  return 0;
}

int WaitForPipe(DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    if (WaitNamedPipeW(kCrashPipe, 0) || GetLastError() == ERROR_SEM_TIMEOUT) {
      printf("pipe\n");
      return 0;
    }
    Sleep(50);
  }
  printf("timeout\n");
  return 0;
}

int WaitForPipeGone(DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    if (!WaitNamedPipeW(kCrashPipe, 0) &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
      printf("gone\n");
      return 0;
    }
    Sleep(50);
  }
  printf("timeout\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && wcscmp(argv[1], L"data-folder") == 0) {
    return PrintDataFolder();
  }
  if (argc >= 3 && wcscmp(argv[1], L"wait-event") == 0) {
    return WaitForReadyEvent(wcstoul(argv[2], nullptr, 10));
  }
  if (argc >= 2 && wcscmp(argv[1], L"event-state") == 0) {
    return PrintEventState();
  }
  if (argc >= 3 && wcscmp(argv[1], L"wait-pipe") == 0) {
    return WaitForPipe(wcstoul(argv[2], nullptr, 10));
  }
  if (argc >= 3 && wcscmp(argv[1], L"pipe-gone") == 0) {
    return WaitForPipeGone(wcstoul(argv[2], nullptr, 10));
  }
  fprintf(stderr, "usage: startup_probe data-folder | wait-event <ms> | "
                  "event-state | wait-pipe <ms> | pipe-gone <ms>\n");
  return 2;
}
