#include "quillavera_crash_reporter/bi_log_upload.h"

#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_globals.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "testing/crash_common/temp_app_data.h"

namespace {

// No feedback server is named, so every post fails at once (the test
// build's endpoint is then the discard port of 127.0.0.1).
class BiLogUploadTest : public TempAppDataTest {
 protected:
  void SetUp() override {
    TempAppDataTest::SetUp();
    ASSERT_TRUE(base::CreateDirectory(
        base::FilePath(GetLocalDataFolder() + L"\\Log")));
    SetEnvironmentVariableW(L"QV_TEST_FEEDBACK_PORT", nullptr);
    CreateReportSender();
  }
  void TearDown() override {
    DestroyReportSender();
    TempAppDataTest::TearDown();
  }
  static bool Exists(const std::wstring& path) {
    return base::PathExists(base::FilePath(path));
  }
};

TEST_F(BiLogUploadTest, NothingToPackPostsNothingAndLeavesNoArchive) {
  const std::wstring zip = GetLocalDataFolder() + L"\\BI.zip";
  EXPECT_FALSE(UploadCrashData(L"uid=1", GetBiLogBackupPath() + L"de", zip));
  EXPECT_FALSE(Exists(zip));
}

// The archive holds the records in plain text; they stay in the backup.
TEST_F(BiLogUploadTest, FailedPostRemovesTheArchive) {
  const std::wstring plain = GetBiLogBackupPath() + L"de";
  const std::wstring zip = GetLocalDataFolder() + L"\\BI.zip";
  Write(plain, "1\x01" "crash\x01{}\n");
  EXPECT_FALSE(UploadCrashData(L"uid=1\r\n", plain, zip));
  EXPECT_FALSE(Exists(zip));
  EXPECT_TRUE(Exists(plain));
}

TEST_F(BiLogUploadTest, BackupThatDoesNotDecryptLeavesThePlainFileWhole) {
  // The records are in the plain file, but no backup was written.
  const std::wstring plain = GetBiLogBackupPath() + L"de";
  const std::string records = "1\x01" "crash\x01{\"a\": \"b\"}\n";
  Write(plain, records);
  UploadBiLog(L"uid=1");
  std::string left;
  ASSERT_TRUE(base::ReadFileToString(base::FilePath(plain), &left));
  EXPECT_EQ(records, left);
  // Packed for the post and removed after it failed.
  EXPECT_FALSE(Exists(GetLocalDataFolder() + L"\\BI.zip"));
}

}  // namespace
