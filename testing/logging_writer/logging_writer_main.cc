// Writes log records for the whole-program logging checks of
// logging_writer_test.py. The records go to the default log file,
// "debug.log" beside this program.
//
//   logging_writer.exe append <tag> <count>
//       two threads each write <count> records "append <tag> <thread> <n>".
//   logging_writer.exe check_eq <marker file>
//       registers an exit callback that creates <marker file>, then fails
//       CHECK_EQ(a, b) with a = 1 and b = 2.
//   logging_writer.exe init_twice
//       sets logging up twice with the switch "v": the second set-up fails
//       its check.

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <string>
#include <thread>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/logging.h"

namespace {

void WriteRecords(const std::string& tag, int thread_index, int count) {
  for (int i = 0; i < count; ++i)
    LOG(INFO) << "append " << tag << " " << thread_index << " " << i;
}

int Append(const std::string& tag, int count) {
  // Both threads race for the first record, which sets up the log lock.
  std::thread other(WriteRecords, tag, 1, count);
  WriteRecords(tag, 0, count);
  other.join();
  return 0;
}

void CreateMarker(void* path) {
  HANDLE file = CreateFileW(static_cast<const wchar_t*>(path), GENERIC_WRITE,
                            0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

int CheckEq(const std::wstring& marker) {
  base::ExitCallbackStack exit_callbacks;
  base::ExitCallbackStack::RegisterCallback(
      &CreateMarker, const_cast<wchar_t*>(marker.c_str()));
  LOG(INFO) << "before the check";
  const int a = 1;
  const int b = 2;
  CHECK_EQ(a, b);
  LOG(INFO) << "after the check";
  return 0;
}

int InitTwice() {
  base::CommandLine::Init();
  base::CommandLine::ForCurrentProcess()->AppendSwitchASCII("v", "1");
  const base::LoggingSettings settings;
  base::InitLogging(settings);
  LOG(INFO) << "first set-up";
  base::InitLogging(settings);
  LOG(INFO) << "after the second set-up";
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wstring(argv[1]) == L"append") {
    const std::wstring tag = argv[2];
    return Append(std::string(tag.begin(), tag.end()), _wtoi(argv[3]));
  }
  if (argc == 3 && std::wstring(argv[1]) == L"check_eq")
    return CheckEq(argv[2]);
  if (argc == 2 && std::wstring(argv[1]) == L"init_twice") return InitTwice();
  fprintf(stderr, "usage: logging_writer.exe append <tag> <count> | "
                  "check_eq <marker file> | init_twice\n");
  return 2;
}
