#include "framework/performance/process_info_utility.h"

#include <windows.h>

#include <regex>
#include <string>

#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"
#include "testing/test_support/program_beside.h"

namespace {

const wchar_t kProgram[] = L"C:\\Program Files\\Quillavera\\quillavera.exe";

TEST(ParseProcessTest, TypeAndTrackIdTable) {
  struct Case {
    const wchar_t* tail;  // after the program path and a space
    const wchar_t* type;
    const wchar_t* track_id;
  } cases[] = {
      {L"--type=renderer --ptrackid=7 --flag", L"renderer", L"7"},
      {L"--ptrackid=12 --type=renderer --lang=en", L"renderer", L"12"},
      {L"", L"main", L"0"},                        // no switches at all
      {L"--flag --other", L"main", L"0"},          // switch missing
      {L"--type=gpu-process", L"main", L"0"},      // value ends the line
      {L"--type=renderer --ptrackid=7", L"renderer", L"0"},
      {L"--type= --ptrackid= --x", L"", L""},      // empty values
      {L"--type=renderer  --ptrackid=3  --x", L"renderer ", L"3 "},
      {L"--type=utility --type=renderer --x", L"utility", L"0"},  // first wins
      {L"--type=a --b=c --ptrackid=99 --z", L"a", L"99"},
  };
  for (const Case& c : cases) {
    const std::wstring command_line =
        std::wstring(L"\"") + kProgram + L"\" " + c.tail;
    std::wstring type = L"unset", track_id = L"unset";
    ParseProcessType(command_line, &type);
    ParseProcessTrackId(command_line, &track_id);
    EXPECT_EQ(c.type, type) << c.tail;
    EXPECT_EQ(c.track_id, track_id) << c.tail;
  }
}

// A child copy of this test program that waits with the given command line
// tail until it is ended.
class ChildProcess {
 public:
  explicit ChildProcess(const std::wstring& tail) {
    const std::wstring path = ThisProgram();
    ready_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ::SetHandleInformation(ready_.Get(), HANDLE_FLAG_INHERIT,
                           HANDLE_FLAG_INHERIT);
    std::wstring command_line =
        std::wstring(L"\"") + path +
        L"\" --gtest_also_run_disabled_tests"
        L" --gtest_filter=ChildProcess.DISABLED_Wait --ready=" +
        std::to_wstring(reinterpret_cast<uintptr_t>(ready_.Get())) + L" " +
        tail;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(path.c_str(), &command_line[0], nullptr, nullptr,
                          TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &info)) {
      return;
    }
    ::CloseHandle(info.hThread);
    process_.Set(info.hProcess);
    pid_ = info.dwProcessId;
    HANDLE waits[] = {ready_.Get(), process_.Get()};
    ::WaitForMultipleObjects(2, waits, FALSE, 30000);
  }
  ~ChildProcess() {
    if (process_.IsValid()) {
      ::TerminateProcess(process_.Get(), 0);
      ::WaitForSingleObject(process_.Get(), 10000);
    }
  }
  uint32_t pid() const { return pid_; }

 private:
  base::win::ScopedHandle ready_;
  base::win::ScopedHandle process_;
  uint32_t pid_ = 0;
};

// Runs only inside a child: says it is ready, then waits to be ended.
TEST(ChildProcess, DISABLED_Wait) {
  const wchar_t* ready = wcsstr(::GetCommandLineW(), L"--ready=");
  ASSERT_NE(nullptr, ready);
  ::SetEvent(reinterpret_cast<HANDLE>(_wcstoui64(ready + 8, nullptr, 10)));
  ::Sleep(60000);
}

TEST(GetProcessTypeAndTrackIdTest, ReadsAnotherProcessCommandLine) {
  struct Case {
    const wchar_t* tail;
    const wchar_t* type;
    const wchar_t* track_id;
  } cases[] = {
      {L"--type=renderer --ptrackid=7 --flag", L"renderer", L"7"},
      // Another role's track id is not read.
      {L"--type=gpu-process --ptrackid=9 --flag", L"gpu-process", L"keep"},
      {L"--type=renderer --flag", L"renderer", L"0"},
      {L"--flag --type=utility", L"main", L"keep"},
  };
  for (const Case& c : cases) {
    ChildProcess child(c.tail);
    ASSERT_NE(0u, child.pid());
    std::wstring type = L"unset", track_id = L"keep";
    GetProcessTypeAndTrackId(child.pid(), &type, &track_id);
    EXPECT_EQ(c.type, type) << c.tail;
    EXPECT_EQ(c.track_id, track_id) << c.tail;
  }
}

TEST(GetProcessTypeAndTrackIdTest, UnreadableProcessIsMain) {
  std::wstring type = L"renderer", track_id = L"keep";
  GetProcessTypeAndTrackId(0xFFFFFFF0, &type, &track_id);
  EXPECT_EQ(L"main", type);
  EXPECT_EQ(L"keep", track_id);
}

TEST(BuildProcessInfoTest, TextOfOneProcessWithHandlesAndCpu) {
  const uint32_t pid = ::GetCurrentProcessId();
  const std::string p = std::to_string(pid);
  struct Case {
    bool with_cpu;
    bool with_handles;
    std::string pattern;
  } cases[] = {
      {false, false, "process:" + p + " type:renderer,memory:[0-9]+MB; "},
      {false, true,
       "process:" + p +
           " type:renderer,memory:[0-9]+MB,Handle count:[0-9]+,"
           "GDI count:[0-9]+; "},
      {true, true,
       "process:" + p +
           " type:renderer,memory:[0-9]+MB,Handle count:[0-9]+,"
           "GDI count:[0-9]+,CPU usage:-?[0-9]+%; "},
  };
  for (const Case& c : cases) {
    std::string info;
    BuildProcessInfo(&info, {{pid, "renderer"}}, c.with_cpu, c.with_handles);
    EXPECT_TRUE(std::regex_match(info, std::regex(c.pattern))) << info;
  }
}

TEST(BuildProcessInfoTest, ListsEachProcessInOrder) {
  const uint32_t pid = ::GetCurrentProcessId();
  const std::string p = std::to_string(pid);
  // A process that cannot be opened has no memory figure and zero counts.
  const std::string info = GetProcessesInfo(
      {{pid, L"main"}, {0xFFFFFFF0, L"r\u00e9nderer"}}, false, true);
  const std::string pattern =
      "process:" + p +
      " type:main,memory:[0-9]+MB,Handle count:[0-9]+,GDI count:[0-9]+; "
      "process:4294967280 type:r\xc3\xa9nderer,,Handle count:0,"
      "GDI count:0; ";
  EXPECT_TRUE(std::regex_match(info, std::regex(pattern))) << info;
}

TEST(BuildProcessInfoTest, EmptyListGivesEmptyText) {
  EXPECT_EQ("", GetProcessesInfo({}, true, true));
  std::string info = "kept";
  BuildProcessInfo(&info, {}, true, true);
  EXPECT_EQ("kept", info);
}

TEST(SystemMemoryUsageTest, Format) {
  const uint64_t kGiB = uint64_t{1} << 30, kMiB = uint64_t{1} << 20;
  // Sizes count whole MiB of the remainder; the odd bytes are dropped.
  EXPECT_EQ("System memory usage: 42%,total16.50GB(3.25GB avail)",
            FormatSystemMemoryUsage(42, 16 * kGiB + 512 * kMiB + 1000,
                                    3 * kGiB + 256 * kMiB + kMiB - 1));
  EXPECT_EQ("System memory usage: 0%,total0.00GB(0.00GB avail)",
            FormatSystemMemoryUsage(0, 0, 0));
  EXPECT_TRUE(std::regex_match(
      GetSystemMemoryUsage(),
      std::regex("System memory usage: [0-9]+%,total[0-9]+\\.[0-9]{2}GB"
                 "\\([0-9]+\\.[0-9]{2}GB avail\\)")))
      << GetSystemMemoryUsage();
}

TEST(ProcessCpuUsageTest, SamplesInPairs) {
  EXPECT_EQ(0, GetProcessCpuUsage(nullptr));
  EXPECT_EQ(-1, GetProcessCpuUsage(::GetCurrentProcess()));  // first sample
  ::Sleep(20);
  const int usage = GetProcessCpuUsage(::GetCurrentProcess());
  EXPECT_GE(usage, 0);
  EXPECT_LE(usage, 100);
  EXPECT_EQ(0, GetProcessCpuUsage(nullptr));
  EXPECT_EQ(-1, GetProcessCpuUsage(::GetCurrentProcess()));  // first again
  GetProcessCpuUsage(nullptr);
}

}  // namespace
