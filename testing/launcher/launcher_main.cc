// launcher.exe <program> [arguments...]
//
// Starts the rest of its own command line as a child process, waits for it and
// prints the child's exit code as Windows reports it (GetExitCodeProcess), as
// "exit code: 0x%08X" on standard output, and returns that code. Wine's Unix
// exit status cannot carry codes such as 0x80000003 (breakpoint), so
// whole-program tests read them here.

#include <stdio.h>
#include <windows.h>

namespace {

// The command line after the launcher's own program name, as typed: quoting
// is passed through untouched.
const wchar_t* SkipProgramName(const wchar_t* command_line) {
  const wchar_t* p = command_line;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

}  // namespace

int main() {
  const wchar_t* child_command_line = SkipProgramName(GetCommandLineW());
  if (*child_command_line == L'\0') {
    fprintf(stderr, "usage: launcher.exe <program> [arguments...]\n");
    return 255;
  }

  // CreateProcessW may write into the command line.
  wchar_t* command_line = _wcsdup(child_command_line);
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_info = {};
  const BOOL started =
      CreateProcessW(nullptr, command_line, nullptr, nullptr, TRUE, 0, nullptr,
                     nullptr, &startup_info, &process_info);
  const DWORD start_error = GetLastError();
  free(command_line);
  if (!started) {
    fprintf(stderr, "launcher: cannot start %ls: error %lu\n",
            child_command_line, start_error);
    return 255;
  }
  CloseHandle(process_info.hThread);

  WaitForSingleObject(process_info.hProcess, INFINITE);
  DWORD exit_code = 0;
  const BOOL got_code = GetExitCodeProcess(process_info.hProcess, &exit_code);
  CloseHandle(process_info.hProcess);
  if (!got_code) {
    fprintf(stderr, "launcher: no exit code: error %lu\n", GetLastError());
    return 255;
  }
  printf("exit code: 0x%08lX\n", exit_code);
  fflush(stdout);
  return static_cast<int>(exit_code);
}
