#include "crash_capture/client_record.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "testing/test_support/program_beside.h"

namespace crash_capture {
namespace {

// The record reads this very process, which stands in for a client.
class ClientRecordTest : public ::testing::Test {
 protected:
  std::unique_ptr<ClientRecord> MakeRecord(const CustomInfoEntry* entries,
                                           uint64_t count) {
    auto record = std::make_unique<ClientRecord>(
        nullptr, GetCurrentProcessId(), 0,
        reinterpret_cast<uint64_t>(&thread_id_),
        reinterpret_cast<uint64_t>(&exception_pointers_),
        reinterpret_cast<uint64_t>(&assertion_),
        ClientCustomInfo{entries, count});
    EXPECT_TRUE(record->Initialize());
    return record;
  }

  static std::vector<CustomInfoEntry> Entries(size_t count) {
    std::vector<CustomInfoEntry> entries(count);
    for (size_t i = 0; i < count; ++i) {
      swprintf(entries[i].name, 64, L"name%zu", i);
      swprintf(entries[i].value, 64, L"value%zu", i);
    }
    return entries;
  }

  static uint64_t Ptime(const ClientRecord& record) {
    ClientCustomInfo info = record.GetCustomInfo();
    const CustomInfoEntry& last = info.entries[info.count - 1];
    EXPECT_STREQ(last.name, L"ptime");
    return std::stoull(last.value);
  }

  DWORD thread_id_ = 0;
  EXCEPTION_POINTERS* exception_pointers_ = nullptr;
  AssertionInfo assertion_ = {};
};

TEST_F(ClientRecordTest, ReadsThreadIdAndExceptionPointersFromTheClient) {
  auto record = MakeRecord(nullptr, 0);
  thread_id_ = 4321;
  exception_pointers_ = reinterpret_cast<EXCEPTION_POINTERS*>(0x12345678);
  DWORD thread_id = 0;
  uint64_t pointers = 0;
  ASSERT_TRUE(record->GetClientThreadId(&thread_id));
  ASSERT_TRUE(record->GetClientExceptionInfo(&pointers));
  EXPECT_EQ(thread_id, 4321u);
  EXPECT_EQ(pointers, 0x12345678u);
}

TEST_F(ClientRecordTest, CrashIdIsTheLowHalfOfTheCreationTime) {
  auto record = MakeRecord(nullptr, 0);
  FILETIME creation, exit_time, kernel, user;
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &creation, &exit_time,
                              &kernel, &user));
  EXPECT_EQ(record->crash_id(), creation.dwLowDateTime);
}

TEST_F(ClientRecordTest, NoEntriesBeforeTheFirstCopy) {
  std::vector<CustomInfoEntry> entries = Entries(3);
  auto record = MakeRecord(entries.data(), entries.size());
  ClientCustomInfo info = record->GetCustomInfo();
  EXPECT_EQ(info.entries, nullptr);
  EXPECT_EQ(info.count, 0u);
}

TEST_F(ClientRecordTest, CountZeroGivesOnlyPtime) {
  auto record = MakeRecord(nullptr, 0);
  ASSERT_TRUE(record->PopulateCustomInfo());
  ClientCustomInfo info = record->GetCustomInfo();
  ASSERT_EQ(info.count, 1u);
  EXPECT_STREQ(info.entries[0].name, L"ptime");
}

TEST_F(ClientRecordTest, ReadsUpToTheLimitAndRefusesMore) {
  std::vector<CustomInfoEntry> entries = Entries(4097);
  auto at_limit = MakeRecord(entries.data(), 4096);
  ASSERT_TRUE(at_limit->PopulateCustomInfo());
  ClientCustomInfo info = at_limit->GetCustomInfo();
  ASSERT_EQ(info.count, 4097u);
  EXPECT_STREQ(info.entries[4095].name, L"name4095");
  EXPECT_STREQ(info.entries[4095].value, L"value4095");
  EXPECT_STREQ(info.entries[4096].name, L"ptime");

  auto over_limit = MakeRecord(entries.data(), 4097);
  EXPECT_FALSE(over_limit->PopulateCustomInfo());
  EXPECT_EQ(over_limit->GetCustomInfo().count, 0u);
}

TEST_F(ClientRecordTest, SecondCopyReusesTheArrayAndRefreshesPtime) {
  std::vector<CustomInfoEntry> entries = Entries(2);
  auto record = MakeRecord(entries.data(), entries.size());
  ASSERT_TRUE(record->PopulateCustomInfo());
  const CustomInfoEntry* first = record->GetCustomInfo().entries;
  const uint64_t first_ptime = Ptime(*record);

  Sleep(300);
  wcscpy(entries[1].value, L"changed");
  ASSERT_TRUE(record->PopulateCustomInfo());
  ClientCustomInfo info = record->GetCustomInfo();
  EXPECT_EQ(info.entries, first);
  EXPECT_STREQ(info.entries[1].value, L"changed");
  EXPECT_GE(Ptime(*record), first_ptime + 250);
}

// Runs only in a child started by the test below: fills two entries, writes
// their address to the pipe handle named on its command line, and waits to
// be ended.
TEST(ClientRecordChild, DISABLED_HoldEntries) {
  const wchar_t* out = wcsstr(GetCommandLineW(), L"--address-pipe=");
  ASSERT_NE(nullptr, out);
  static CustomInfoEntry entries[2] = {};
  for (size_t i = 0; i < 2; ++i) {
    swprintf(entries[i].name, 64, L"name%zu", i);
    swprintf(entries[i].value, 64, L"value%zu", i);
  }
  const std::string address = std::to_string(
      reinterpret_cast<uintptr_t>(entries)) + "\n";
  DWORD written = 0;
  WriteFile(reinterpret_cast<HANDLE>(_wcstoui64(out + 15, nullptr, 10)),
            address.data(), static_cast<DWORD>(address.size()), &written,
            nullptr);
  Sleep(60000);
}

// The client's memory can be read once and then no longer (the client is
// gone): the second read must hand on neither the old copy nor part of it.
TEST_F(ClientRecordTest, UnreadableEntriesLeaveNoHalfCopy) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  std::wstring command =
      L"\"" + ThisProgram() +
      L"\" --gtest_also_run_disabled_tests"
      L" --gtest_filter=ClientRecordChild.DISABLED_HoldEntries"
      L" --address-pipe=" +
      std::to_wstring(reinterpret_cast<uintptr_t>(write_end));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE,
                             CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                             &child));
  CloseHandle(write_end);
  CloseHandle(child.hThread);
  std::string line;
  char c = 0;
  DWORD read = 0;
  while (ReadFile(read_end, &c, 1, &read, nullptr) && read == 1 && c != '\n')
    line += c;
  CloseHandle(read_end);
  const uint64_t address = std::strtoull(line.c_str(), nullptr, 10);

  ClientRecord record(nullptr, child.dwProcessId, 0, 0, 0, 0,
                      ClientCustomInfo{
                          reinterpret_cast<const CustomInfoEntry*>(address), 2});
  EXPECT_TRUE(record.Initialize());
  EXPECT_TRUE(record.PopulateCustomInfo());
  EXPECT_STREQ(record.GetCustomInfo().entries[1].value, L"value1");

  TerminateProcess(child.hProcess, 0);
  WaitForSingleObject(child.hProcess, 30000);
  CloseHandle(child.hProcess);
  EXPECT_FALSE(record.PopulateCustomInfo());
  ClientCustomInfo info = record.GetCustomInfo();
  ASSERT_EQ(info.count, 3u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_STREQ(info.entries[i].name, L"") << i;
    EXPECT_STREQ(info.entries[i].value, L"") << i;
  }
  Ptime(record);  // still known
}

TEST_F(ClientRecordTest, EntriesUnreadableFromTheStartAreBlank) {
  // The first page is never mapped.
  auto record = MakeRecord(reinterpret_cast<const CustomInfoEntry*>(0x10), 2);
  EXPECT_FALSE(record->PopulateCustomInfo());
  ClientCustomInfo info = record->GetCustomInfo();
  ASSERT_EQ(info.count, 3u);
  EXPECT_STREQ(info.entries[0].name, L"");
  EXPECT_STREQ(info.entries[1].name, L"");
  Ptime(*record);  // still known
}

TEST_F(ClientRecordTest, ProcessThatCannotBeOpenedIsNotTaken) {
  // Process ids are multiples of four; this one never names a process.
  ClientRecord record(nullptr, 0xFFFFFFF3u, 0, 1, 1, 1, ClientCustomInfo{});
  EXPECT_FALSE(record.Initialize());
}

TEST(ProcessAgeTest, ClockSetBackGivesZero) {
  const FILETIME start = {0x10000000u, 0x01d00000u};
  FILETIME later = start;
  later.dwLowDateTime += 25000;  // 2.5 ms in 100 ns units
  EXPECT_EQ(2u, ProcessAgeMs(start, later));
  EXPECT_EQ(0u, ProcessAgeMs(start, start));
  FILETIME earlier = start;
  earlier.dwHighDateTime -= 1;
  EXPECT_EQ(0u, ProcessAgeMs(start, earlier));
}

}  // namespace
}  // namespace crash_capture
