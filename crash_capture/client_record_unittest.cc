#include "crash_capture/client_record.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

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

TEST_F(ClientRecordTest, UnreadableEntriesLeaveNoHalfCopy) {
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
