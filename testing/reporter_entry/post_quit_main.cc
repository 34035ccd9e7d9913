// post_quit.exe <pid>
//
// Posts WM_QUIT to every thread of process <pid>, which ends a program parked
// in its message loop the way only an outside party can. Returns 0 when a
// message was posted to at least one thread.

#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: post_quit.exe <pid>\n");
    return 2;
  }
  const DWORD pid = wcstoul(argv[1], nullptr, 10);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "post_quit: no thread snapshot: error %lu\n",
            GetLastError());
    return 1;
  }
  int posted = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more;
       more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != pid) continue;
    // Threads without a message queue refuse the message.
    if (PostThreadMessageW(entry.th32ThreadID, WM_QUIT, 0, 0)) ++posted;
  }
  CloseHandle(snapshot);
  printf("posted: %d\n", posted);
  return posted > 0 ? 0 : 1;
}
