#include "quillavera_crash_reporter/crash_handling_flow.h"

#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>
#include <wchar.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/file_path.h"
#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "crash_capture/client_record.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_globals.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "testing/test_support/scoped_temp_folder.h"

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
  ScopedTempFolder folder(L"flow");
  ASSERT_TRUE(folder.valid());
  const std::wstring dump_path = folder.Path(L"crash.dmp");
  ASSERT_EQ(0, base::WriteFile(base::FilePath(dump_path), "", 0));
  ASSERT_TRUE(CreateReportSender());
  HandleClientCrash(nullptr, client.record(), &dump_path);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dump_path.c_str()));
  DestroyReportSender();
  ResetCrashFlowGuardForTesting();
}

// The flow's pauses and error box, recorded instead of waited through.
std::vector<DWORD> g_pauses;
int g_boxes = 0;

VOID WINAPI RecordPause(DWORD ms) { g_pauses.push_back(ms); }

// Says on standard error whether the box is the one the user must see: a
// death test reads it there.
int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  ++g_boxes;
  const std::wstring expected_text = base::UTF8ToWide(
      u8"\u5f88\u62b1\u6b49\uff0c\u7a0b\u5e8f\u51fa\u73b0\u5f02\u5e38"
      u8"\u5d29\u6e83\u4e86\u3002\u8bf7\u91cd\u65b0\u542f\u52a8\u7a0b"
      u8"\u5e8f\u540e\u518d\u8bd5\u4e00\u6b21\u3002");
  const bool as_expected = owner == nullptr && style == 0x1010 &&
                           std::wstring(caption) == L"QuillaVera" &&
                           std::wstring(text) == expected_text;
  std::fprintf(stderr, as_expected ? "error box as the user must see it\n"
                                   : "error box differs\n");
  std::fflush(stderr);
  return IDOK;
}

std::wstring g_app_data;

bool TestAppData(std::wstring* folder) {
  *folder = g_app_data;
  return true;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileBytes(const std::wstring& path, const char* bytes, DWORD size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written = 0;
  WriteFile(file, bytes, size, &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(size, written);
}

// The whole flow in a data folder of its own, with a dump in its dumps
// folder and the stand-in stack walker beside this program.
class CrashFlowRunTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    g_app_data = folder_.path();
    SetAppDataFolderQueryForTesting(&TestAppData);
    const std::wstring data = GetLocalDataFolder();
    ASSERT_TRUE(CreateDirectoryW(GetMakerDataFolder().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(GetDumpsFolder().c_str(), nullptr));
    dump_ = GetDumpsFolder() + L"\\crash.dmp";
    analysis_ = GetDumpsFolder() + GetAnalysisFileName();
    WriteFileBytes(dump_, "MDMP\0\0\0\0", 8);
    g_pauses.clear();
    g_boxes = 0;
    SetCrashFlowSleepForTesting(&RecordPause);
    SetCrashMessageBoxForTesting(&RecordBox);
    ResetCrashFlowGuardForTesting();
    ASSERT_TRUE(CreateReportSender());
  }
  void TearDown() override {
    DestroyReportSender();
    ResetCrashFlowGuardForTesting();
    SetCrashMessageBoxForTesting(nullptr);
    SetCrashFlowSleepForTesting(nullptr);
    SetAppDataFolderQueryForTesting(nullptr);
  }

  ScopedTempFolder folder_{L"flow_run"};
  std::wstring dump_;
  std::wstring analysis_;
};

TEST_F(CrashFlowRunTest, NonMainCrashPausesInsteadOfTheBox) {
  SelfClient client({Entry(L"process_type", L"renderer")});
  ASSERT_TRUE(client.Prepare());
  HandleClientCrash(nullptr, client.record(), &dump_);
  // The pause for the crashed process's own handler, then the one that
  // stands in for the box.
  EXPECT_EQ(std::vector<DWORD>({2000, 2000}), g_pauses);
  EXPECT_EQ(0, g_boxes);
  EXPECT_FALSE(Exists(dump_));
  EXPECT_FALSE(Exists(analysis_));
  EXPECT_TRUE(IsCrashHandled());
}

TEST_F(CrashFlowRunTest, FailedAnalysisOfANonMainCrashGoesOn) {
  SelfClient client({Entry(L"process_type", L"gpu-process")});
  ASSERT_TRUE(client.Prepare());
  // A dump the walker cannot be given fails both attempts.
  const std::wstring missing = GetDumpsFolder() + L"\\missing.dmp";
  WriteFileBytes(analysis_, "left over", 9);
  HandleClientCrash(nullptr, client.record(), &missing);
  EXPECT_EQ(std::vector<DWORD>({2000, 1000, 2000}), g_pauses);
  EXPECT_EQ(0, g_boxes);
  // It went on to the clean-up.
  EXPECT_FALSE(Exists(analysis_));
  EXPECT_TRUE(Exists(dump_));  // not this crash's
}

TEST_F(CrashFlowRunTest, MainCrashShowsTheErrorBoxAndEndsTheReporter) {
  SelfClient client({Entry(L"process_type", L"main")});
  ASSERT_TRUE(client.Prepare());
  EXPECT_EXIT(HandleClientCrash(nullptr, client.record(), &dump_),
              testing::ExitedWithCode(0), "error box as the user must see it");
}

TEST_F(CrashFlowRunTest, MainCrashWithoutAReportSenderEndsTheReporter) {
  DestroyReportSender();
  SelfClient client({Entry(L"process_type", L"main")});
  ASSERT_TRUE(client.Prepare());
  EXPECT_EXIT(HandleClientCrash(nullptr, client.record(), &dump_),
              testing::ExitedWithCode(0), "");
}

}  // namespace
