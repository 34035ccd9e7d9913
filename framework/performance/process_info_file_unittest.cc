#include "framework/performance/process_info_file.h"

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/logging.h"
#include "framework/performance/process_cpu_sampler.h"
#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

std::vector<std::string>* g_errors = nullptr;

bool CaptureErrors(int severity, const char*, int, size_t message_start,
                   const std::string& record) {
  if (severity == base::LOG_ERROR && g_errors)
    g_errors->push_back(record.substr(message_start));
  return true;
}

class ProcessInfoFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.valid());
    folder_ = temp_.path();
    g_errors = &errors_;
    base::SetLogMessageHandler(&CaptureErrors);
  }
  void TearDown() override {
    base::SetLogMessageHandler(nullptr);
    g_errors = nullptr;
  }

  ScopedTempFolder temp_{L"process_info"};
  std::wstring folder_;
  std::vector<std::string> errors_;
};

TEST_F(ProcessInfoFileTest, UpdateWritesTheTextAndClearEmptiesIt) {
  const base::FilePath path(folder_ + L"\\info.txt");
  ASSERT_TRUE(UpdateProcessInfoFile(
      path, {{::GetCurrentProcessId(), L"main"}}));
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(path, &text));
  EXPECT_TRUE(std::regex_match(
      text, std::regex("process:[0-9]+ type:main,memory:[0-9]+MB,Handle "
                       "count:[0-9]+,GDI count:[0-9]+,CPU usage:-?[0-9]+%; ")))
      << text;

  ASSERT_TRUE(ClearProcessInfoFile(path));
  text.clear();
  ASSERT_TRUE(base::ReadFileToString(path, &text));
  EXPECT_EQ("", text);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(ProcessInfoFileTest, FailuresAreLoggedWithThePath) {
  const std::wstring missing = folder_ + L"\\missing\\info.txt";
  const base::FilePath path(missing);
  EXPECT_FALSE(UpdateProcessInfoFile(path, {}));
  EXPECT_FALSE(ClearProcessInfoFile(path));
  ASSERT_EQ(2u, errors_.size());
  std::string narrow_path(missing.begin(), missing.end());
  EXPECT_EQ("UpdateProcessInfoFile failed! Path: " + narrow_path + "\n",
            errors_[0]);
  EXPECT_EQ("ClearProcessInfoFile failed! Path: " + narrow_path + "\n",
            errors_[1]);
}

TEST(ProcessCpuSamplerTest, AddsUpUsageByKind) {
  EXPECT_EQ("browser", ProcessKindForType(L"browser"));
  EXPECT_EQ("main", ProcessKindForType(L"main"));
  EXPECT_EQ("other", ProcessKindForType(L"renderer"));
  EXPECT_EQ("other", ProcessKindForType(L""));

  // This process stands in for a browser process, kept busy by a thread;
  // a process that cannot be opened counts nothing.
  volatile bool stop = false;
  HANDLE busy = ::CreateThread(
      nullptr, 0,
      [](void* flag) -> DWORD {
        volatile uint64_t sink = 0;
        while (!*static_cast<volatile bool*>(flag)) sink = sink + 1;
        return 0;
      },
      const_cast<bool*>(&stop), 0, nullptr);
  const ProcessCpuUsageByKind usage = SampleProcessesCpuUsage(
      {{::GetCurrentProcessId(), L"browser"}, {0xFFFFFFF0, L"main"}});
  stop = true;
  ::WaitForSingleObject(busy, INFINITE);
  ::CloseHandle(busy);
  EXPECT_GT(usage.browser, 0);
  EXPECT_EQ(0, usage.main);
  EXPECT_EQ(0, usage.other);
}

}  // namespace
