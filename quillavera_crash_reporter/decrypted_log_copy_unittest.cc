#include "quillavera_crash_reporter/decrypted_log_copy.h"

#include <windows.h>

#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "qzcrypto/crypt_file_helper.h"
#include "testing/crash_common/temp_app_data.h"
#include "testing/test_support/file_of_size.h"

namespace {

bool UnknownAppData(std::wstring*) { return false; }

class DecryptedLogCopyTest : public TempAppDataTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(TempAppDataTest::SetUp());
    data_ = GetLocalDataFolder();
    ASSERT_TRUE(base::CreateDirectory(base::FilePath(data_)));
  }

  void WriteEncryptedLog(const std::string& plain) {
    std::string bytes = plain;
    CryptFileHelper::GetInstance()->ForceEncryptBuffer(bytes);
    ASSERT_EQ(static_cast<int>(bytes.size()),
              base::WriteFile(base::FilePath(data_ + L"\\quillavera.elog"),
                              bytes.data(), static_cast<int>(bytes.size())));
  }
  bool CopyExists() {
    return base::PathExists(base::FilePath(data_ + L"\\quillavera.log"));
  }

  std::wstring data_;
};

TEST_F(DecryptedLogCopyTest, PlainCopyIsMadeForPackingAndDeletedAfter) {
  const std::string records =
      "[1:2:1210/101010:3:INFO:a.cc(1)] one\n"
      "[4:5:1210/101011:6:ERROR:b.cc(2)] two\n";
  WriteEncryptedLog(records);
  const std::wstring listed = DecryptLogForPacking();
  EXPECT_EQ(data_ + L"\\quillavera.log", listed);
  std::string copy;
  ASSERT_TRUE(base::ReadFileToString(base::FilePath(listed), &copy));
  EXPECT_EQ(records, copy);

  DeleteDecryptedLogCopy();
  EXPECT_FALSE(CopyExists());
  EXPECT_TRUE(base::PathExists(base::FilePath(data_ + L"\\quillavera.elog")));
}

TEST_F(DecryptedLogCopyTest, CopyIsListedEvenWhenDecryptionFails) {
  WriteEncryptedLog("record\n");
  // A folder where the copy should go: it cannot be written.
  ASSERT_TRUE(
      base::CreateDirectory(base::FilePath(data_ + L"\\quillavera.log")));
  EXPECT_EQ(data_ + L"\\quillavera.log", DecryptLogForPacking());
}

TEST_F(DecryptedLogCopyTest, MissingOrOversizedLogIsNotListed) {
  EXPECT_EQ(L"", DecryptLogForPacking());
  EXPECT_FALSE(CopyExists());

  // A log of exactly the limit is too large; one byte less is packed.
  for (int64_t size :
       {GetMaxCollectedLogSize(), GetMaxCollectedLogSize() - 1}) {
    ASSERT_TRUE(MakeFileOfSize(data_ + L"\\quillavera.elog", size));
    const bool packed = size < GetMaxCollectedLogSize();
    EXPECT_EQ(packed ? data_ + L"\\quillavera.log" : L"",
              DecryptLogForPacking())
        << size;
    EXPECT_EQ(packed, CopyExists()) << size;
    DeleteDecryptedLogCopy();
  }
}

TEST_F(DecryptedLogCopyTest, NothingWithoutADataFolder) {
  SetAppDataFolderQueryForTesting(&UnknownAppData);
  EXPECT_EQ(L"", GetMainLogPath());
  EXPECT_EQ(L"", GetDecryptedLogPath());
  EXPECT_EQ(L"", DecryptLogForPacking());
}

}  // namespace
