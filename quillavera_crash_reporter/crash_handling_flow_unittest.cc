#include "quillavera_crash_reporter/crash_handling_flow.h"

#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "crash_capture/client_record.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_globals.h"

namespace {

using crash_capture::ClientCustomInfo;
using crash_capture::CustomInfoEntry;

CustomInfoEntry Entry(const std::wstring& name, const std::wstring& value) {
  CustomInfoEntry entry = {};
  wmemcpy(entry.name, name.data(),
          name.size() < CustomInfoEntry::kNameMaxLength
              ? name.size()
              : CustomInfoEntry::kNameMaxLength);
  wmemcpy(entry.value, value.data(),
          value.size() < CustomInfoEntry::kValueMaxLength
              ? value.size()
              : CustomInfoEntry::kValueMaxLength);
  return entry;
}

ClientCustomInfo Info(const std::vector<CustomInfoEntry>& entries) {
  return ClientCustomInfo{entries.data(), entries.size()};
}

TEST(ScanCustomInfoTest, TakesRoleAndStartTextByName) {
  struct Case {
    std::vector<CustomInfoEntry> entries;
    std::wstring type, start_text;
    bool is_main;
  };
  const std::wstring full(64, L'm');
  const Case cases[] = {
      {{}, L"", L"", false},
      {{Entry(L"process_type", L"main"), Entry(L"custom_info", L"09:40"),
        Entry(L"ptime", L"1234")},
       L"main", L"09:40", true},
      // A later entry of the same name wins.
      {{Entry(L"process_type", L"main"), Entry(L"process_type", L"renderer")},
       L"renderer", L"", false},
      // Names match whole and case-sensitively.
      {{Entry(L"Process_Type", L"main"), Entry(L"process_type_x", L"main")},
       L"", L"", false},
      // A value filling its whole field ends at the field's end.
      {{Entry(L"custom_info", full)}, L"", full, false},
  };
  for (const Case& c : cases) {
    const CrashedClientInfo info = ScanCustomInfo(Info(c.entries));
    EXPECT_EQ(c.type, info.type);
    EXPECT_EQ(c.start_text, info.start_text);
    EXPECT_EQ(c.is_main, info.is_main());
  }
}

TEST(DumpRequestLineTest, ListsEveryEntryAfterThePid) {
  const std::vector<CustomInfoEntry> entries = {
      Entry(L"process_type", L"renderer"), Entry(L"custom_info", L"t0"),
      Entry(L"ptime", L"812")};
  EXPECT_EQ(L"Client requested dump:4242\r\n"
            L"process_type: renderer, custom_info: t0, ptime: 812",
            MakeDumpRequestLine(4242, Info(entries)));
  EXPECT_EQ(L"Client requested dump:7\r\n", MakeDumpRequestLine(7, Info({})));
}

TEST(TrackIdTest, UnknownPidReadsAsZero) {
  {
    LockedReporterState state;
    state->track_ids[501] = L"12\u00e9";
  }
  EXPECT_EQ("12\xc3\xa9", LookUpTrackId(501));
  EXPECT_EQ("0", LookUpTrackId(502));
}

TEST(FullDumpPathTest, FollowsTheFullMemoryBit) {
  const std::wstring dump = L"C:\\d\\0f1e-aa.dmp";
  const std::wstring full = L"C:\\d\\0f1e-aa-full.dmp";
  const struct {
    DWORD dump_type;
    std::wstring expected;
  } cases[] = {
      {MiniDumpNormal, L""},
      {MiniDumpWithFullMemory, full},
      {MiniDumpWithFullMemory | MiniDumpWithHandleData, full},
      {MiniDumpWithFullMemory | MiniDumpWithFullMemoryInfo, full},
      {MiniDumpWithHandleData | MiniDumpWithDataSegs, L""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, GetFullDumpPath(dump, c.dump_type)) << c.dump_type;
}

std::vector<int> g_analyser_results;
size_t g_analyser_calls = 0;

int FakeAnalyser(const std::wstring&, const std::wstring&) {
  return g_analyser_results[g_analyser_calls++];
}

TEST(AnalyseDumpWithRetryTest, RetriesOnceAfterAFailure) {
  const struct {
    std::vector<int> results;
    size_t calls;
    int result;
  } cases[] = {
      {{0}, 1, 0},
      {{2, 0}, 2, 0},
      {{3, 2}, 2, 2},
  };
  for (const auto& c : cases) {
    g_analyser_results = c.results;
    g_analyser_calls = 0;
    EXPECT_EQ(c.result, AnalyseDumpWithRetry(&FakeAnalyser, L"d", L"r"));
    EXPECT_EQ(c.calls, g_analyser_calls);
  }
}

// A client record of this very process, with its entries copied in.
class SelfClient {
 public:
  explicit SelfClient(const std::vector<CustomInfoEntry>& entries)
      : entries_(entries),
        record_(nullptr, GetCurrentProcessId(), MiniDumpNormal, 0, 0, 0,
                ClientCustomInfo{entries_.data(), entries_.size()}) {}
  bool Prepare() { return record_.Initialize() && record_.PopulateCustomInfo(); }
  const crash_capture::ClientRecord* record() const { return &record_; }

 private:
  std::vector<CustomInfoEntry> entries_;
  crash_capture::ClientRecord record_;
};

// Without a dump or a report sender nothing is handled, so a later crash
// still is.
TEST(HandleClientCrashTest, SkippedCrashLeavesTheFlagClear) {
  ResetCrashFlowGuardForTesting();
  SelfClient client({Entry(L"process_type", L"renderer")});
  ASSERT_TRUE(client.Prepare());
  const std::wstring dump = L"C:\\nowhere\\x.dmp";

  ASSERT_EQ(nullptr, GetReportSender());
  HandleClientCrash(nullptr, client.record(), &dump);
  EXPECT_FALSE(IsCrashHandled());

  ASSERT_TRUE(CreateReportSender());
  HandleClientCrash(nullptr, client.record(), nullptr);
  EXPECT_FALSE(IsCrashHandled());
  DestroyReportSender();
}

// Had the flow run again, it would have removed the dump.
TEST(HandleClientCrashTest, CrashAfterTheFirstKeepsItsDump) {
  ResetCrashFlowGuardForTesting();
  ASSERT_TRUE(ClaimCrashFlow());
  EndCrashFlow();
  SelfClient client({Entry(L"process_type", L"renderer")});
  ASSERT_TRUE(client.Prepare());
  wchar_t folder[MAX_PATH], dump[MAX_PATH];
  ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
  ASSERT_NE(0u, GetTempFileNameW(folder, L"dmp", 0, dump));
  const std::wstring dump_path = dump;
  ASSERT_TRUE(CreateReportSender());
  HandleClientCrash(nullptr, client.record(), &dump_path);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dump));
  DeleteFileW(dump);
  DestroyReportSender();
  ResetCrashFlowGuardForTesting();
}

}  // namespace
