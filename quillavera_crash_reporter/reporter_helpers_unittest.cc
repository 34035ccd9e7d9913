#include "quillavera_crash_reporter/reporter_helpers.h"

#include <windows.h>

#include <atomic>
#include <vector>

#include "base/file_path.h"
#include "base/file_util.h"
#include "crash_capture/crash_pipe_server.h"
#include "crash_capture/in_process_crash_handler.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_constants.h"
#include "quillavera_crash_reporter/reporter_globals.h"
#include "testing/crash_common/dump_file.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

using crash_capture::InProcessCrashHandler;

// Before any box has stored its version.
TEST(ReporterConstantsTest, NameAndVersionPairsFromStartUp) {
  EXPECT_EQ(NamedValue(L"prod", L"QuillaVeraCrashReporter"), GetProductPair());
  EXPECT_EQ(NamedValue(L"ver", L"1.0"), GetVersionPair());
}

TEST(ReporterHelpersTest, FileStem) {
  EXPECT_EQ(L"report", GetFileStem(L"C:\\a.b\\report.zip"));
  EXPECT_EQ(L"report.tar", GetFileStem(L"C:/x/report.tar.gz"));
  EXPECT_EQ(L"noext", GetFileStem(L"noext"));
  EXPECT_EQ(L"", GetFileStem(L"C:\\x\\"));
}

TEST(ReporterHelpersTest, FixedNames) {
  EXPECT_EQ("quillavera_42", MakeProductPrefixedName(42));
  EXPECT_EQ(L"quillavera_reporter.exe", GetReporterExeName());
  EXPECT_TRUE(FormatDumpRequestResult(nullptr, nullptr, nullptr, nullptr,
                                      nullptr, true));
  EXPECT_FALSE(FormatDumpRequestResult(nullptr, nullptr, nullptr, nullptr,
                                       nullptr, false));
  EXPECT_EQ(1, GetOne());
  EXPECT_EQ("\xc3\xa9t\xc3\xa9", WideToUtf8(L"\u00e9t\u00e9"));
}

#if defined(QV_TEST_ENDPOINTS)
TEST(ReporterHelpersTest, StorageBaseUrlIsTheLoopbackPortInATestBuild) {
  SetEnvironmentVariableW(L"QV_TEST_LBS_PORT", L"40123");
  EXPECT_EQ("http://127.0.0.1:40123", GetStorageBaseUrl());
  SetEnvironmentVariableW(L"QV_TEST_LBS_PORT", nullptr);
  EXPECT_EQ("http://127.0.0.1:9", GetStorageBaseUrl());
}
#else
TEST(ReporterHelpersTest, StorageBaseUrlIsAReservedHost) {
  EXPECT_EQ("http://storage.jov.quillavera.invalid", GetStorageBaseUrl());
}
#endif

// The boxes the request helpers showed.
struct Box {
  HWND owner;
  std::wstring text;
  std::wstring caption;
  UINT style;
};
std::vector<Box> g_boxes;

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  g_boxes.push_back({owner, text, caption, style});
  return IDOK;
}

std::wstring TestPipeName(const wchar_t* test) {
  return std::wstring(L"\\\\.\\pipe\\QuillaveraHelpersTest\\") + test +
         L"-" + std::to_wstring(GetCurrentProcessId());
}

class RequestBoxTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    g_boxes.clear();
    SetHelperMessageBoxForTesting(&RecordBox);
    SetVersionValue(L"before");
  }
  void TearDown() override {
    SetInProcessCrashHandler(nullptr);
    SetHelperMessageBoxForTesting(nullptr);
    SetVersionValue(L"1.0");
  }

  // A handler that takes over no hooks and asks the crash server on |pipe|,
  // or writes its dumps into |dump_folder| when no server answers.
  void InstallHandler(const std::wstring& dump_folder,
                      const std::wstring& pipe) {
    InProcessCrashHandler::Options options;
    options.dump_folder = dump_folder;
    options.handler_types = InProcessCrashHandler::kHandlerNone;
    SetInProcessCrashHandler(new InProcessCrashHandler(options, pipe));
  }

  void ExpectOneBox(const wchar_t* text) {
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(nullptr, g_boxes[0].owner);
    EXPECT_EQ(text, g_boxes[0].text);
    EXPECT_EQ(L"Dumper", g_boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), g_boxes[0].style);
  }

  ScopedTempFolder folder_{L"request_boxes"};
};

TEST_F(RequestBoxTest, FailedDumpRequestIsShown) {
  // No server, and the handler's own dump has nowhere to go.
  InstallHandler(folder_.Path(L"missing"), TestPipeName(L"nobody"));
  ShowDumpRequestFailedBox();
  ExpectOneBox(L"Dump request failed");
  EXPECT_EQ(NamedValue(L"ver", L"1.1"), GetVersionPair());

  g_boxes.clear();
  SetInProcessCrashHandler(nullptr);
  ShowDumpRequestFailedBox();
  ExpectOneBox(L"Dump request failed");
}

TEST_F(RequestBoxTest, DumpWrittenShowsNoBox) {
  InstallHandler(folder_.path(), TestPipeName(L"nobody"));
  ShowDumpRequestFailedBox();
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(NamedValue(L"ver", L"1.1"), GetVersionPair());
  const std::vector<std::wstring> dumps =
      crash_testing::FileNamesIn(folder_.path());
  ASSERT_EQ(1u, dumps.size());
  EXPECT_TRUE(crash_testing::DumpFile(folder_.Path(dumps[0])).valid());
}

void RecordUpload(void* context, uint32_t crash_id) {
  static_cast<std::atomic<uint32_t>*>(context)->store(crash_id);
}

TEST_F(RequestBoxTest, UploadRequestIsShownOnlyWhenItFails) {
  InstallHandler(folder_.path(), TestPipeName(L"nobody"));
  ShowUploadRequestFailedBox();
  ExpectOneBox(L"upload request failed");
  EXPECT_EQ(NamedValue(L"ver", L"1.1"), GetVersionPair());

  const std::wstring pipe = TestPipeName(L"upload");
  std::atomic<uint32_t> uploaded{0xFFFFFFFF};
  crash_capture::CrashPipeServer server(pipe, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr,
                                        &RecordUpload, &uploaded, false,
                                        nullptr);
  ASSERT_TRUE(server.Start());
  InstallHandler(folder_.path(), pipe);
  ASSERT_TRUE(GetInProcessCrashHandler()->uses_crash_server());
  g_boxes.clear();
  SetVersionValue(L"before");
  ShowUploadRequestFailedBox();
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(NamedValue(L"ver", L"1.1"), GetVersionPair());
  const ULONGLONG deadline = GetTickCount64() + 30000;
  while (uploaded != 0 && GetTickCount64() < deadline) Sleep(10);
  EXPECT_EQ(0u, uploaded.load());
  SetInProcessCrashHandler(nullptr);
}

TEST(ReporterHelpersTest, IniValues) {
  ScopedTempFolder folder(L"ini");
  ASSERT_TRUE(folder.valid());
  const base::FilePath ini(folder.Path(L"settings.ini"));
  const char text[] = "[upload]\r\nhost=example.test\r\n";
  ASSERT_EQ(static_cast<int>(sizeof(text) - 1),
            base::WriteFile(ini, text, sizeof(text) - 1));
  EXPECT_EQ(L"example.test", ReadIniString(ini.value(), L"upload", L"host"));
  EXPECT_EQ(L"", ReadIniString(ini.value(), L"upload", L"port"));
  EXPECT_EQ(L"", ReadIniString(ini.value() + L".gone", L"upload", L"host"));
}

TEST(ReporterHelpersTest, MissingProgramIsNotStarted) {
  EXPECT_FALSE(RunProgramAndWait(L"no_such_program.exe", L"", L"QvNoEvent"));
}

}  // namespace
