#include "crash_capture/in_process_crash_handler.h"

#include <windows.h>
#include <dbghelp.h>
#include <tlhelp32.h>

#include <stdlib.h>

#include <string>

#include "gtest/gtest.h"

namespace crash_capture {
namespace {

LONG WINAPI MarkerFilter(EXCEPTION_POINTERS*) {
  return EXCEPTION_CONTINUE_SEARCH;
}

void __cdecl MarkerInvalidParameter(const wchar_t*, const wchar_t*,
                                    const wchar_t*, unsigned int, uintptr_t) {}

int ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more;
       more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"inproc-unittest-" +
                        std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

TEST(InProcessCrashHandlerTest, RestoresWhatItReplacedAndEndsItsThread) {
  LPTOP_LEVEL_EXCEPTION_FILTER original =
      SetUnhandledExceptionFilter(&MarkerFilter);
  _invalid_parameter_handler original_invalid =
      _set_invalid_parameter_handler(&MarkerInvalidParameter);
  const int threads_before = ThreadCount();
  {
    InProcessCrashHandler outer(TempFolder(), nullptr, nullptr, nullptr,
                                InProcessCrashHandler::kHandlerAll,
                                MiniDumpNormal);
    EXPECT_FALSE(outer.IsOutOfProcess());
    EXPECT_EQ(threads_before + 1, ThreadCount());
    {
      InProcessCrashHandler inner(TempFolder(), nullptr, nullptr, nullptr,
                                  InProcessCrashHandler::kHandlerException,
                                  MiniDumpNormal);
      EXPECT_EQ(threads_before + 2, ThreadCount());
    }
    LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(current);
    EXPECT_NE(&MarkerFilter, current);
    EXPECT_NE(&MarkerInvalidParameter, _set_invalid_parameter_handler(nullptr));
  }
  EXPECT_EQ(&MarkerFilter, SetUnhandledExceptionFilter(original));
  EXPECT_EQ(&MarkerInvalidParameter,
            _set_invalid_parameter_handler(original_invalid));
  EXPECT_EQ(threads_before, ThreadCount());
}

DWORD WINAPI WaitForEvent(void* event) {
  WaitForSingleObject(event, INFINITE);
  return 0;
}

TEST(InProcessCrashHandlerTest, DumpsAnotherThreadOnRequest) {
  const std::wstring folder = TempFolder();
  InProcessCrashHandler handler(folder, nullptr, nullptr, nullptr,
                                InProcessCrashHandler::kHandlerNone,
                                MiniDumpNormal);
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD thread_id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &WaitForEvent, stop, 0, &thread_id);
  ASSERT_TRUE(handler.WriteMinidumpForThread(thread_id));
  const std::wstring path = handler.last_dump_path();
  EXPECT_EQ(0u, path.find(folder + L"\\"));
  WIN32_FILE_ATTRIBUTE_DATA facts = {};
  ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &facts));
  EXPECT_GT(facts.nFileSizeLow, 0u);
  DeleteFileW(path.c_str());
  SetEvent(stop);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(stop);
  EXPECT_FALSE(handler.RequestUpload(1));  // no server
}

}  // namespace
}  // namespace crash_capture
