// Runs a command line to its end and collects what it wrote to its standard
// output and error. Test-only.

#ifndef TESTING_TEST_SUPPORT_RUN_AND_CAPTURE_H_
#define TESTING_TEST_SUPPORT_RUN_AND_CAPTURE_H_

#include <windows.h>

#include <string>

namespace test_support {

struct CapturedRun {
  DWORD exit_code = 0xFFFFFFFF;  // unchanged when the program did not start
  std::string output;
};

// |merge_errors| sends the standard error into the output as well; otherwise
// it goes where this program's goes.
inline CapturedRun RunAndCapture(std::wstring command_line,
                                 bool merge_errors) {
  CapturedRun result;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return result;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = merge_errors ? write_end : GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  const BOOL started =
      CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0,
                     nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  if (started) {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(read_end, buffer, sizeof(buffer), &read, nullptr) && read)
      result.output.append(buffer, read);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read_end);
  return result;
}

}  // namespace test_support

#endif  // TESTING_TEST_SUPPORT_RUN_AND_CAPTURE_H_
