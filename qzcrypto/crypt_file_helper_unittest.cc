#include "qzcrypto/crypt_file_helper.h"

#include <windows.h>

#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "base/file_path.h"
#include "base/file_util.h"
#include "base/logging.h"
#include "gtest/gtest.h"
#include "qzcrypto/cryptor.h"
#include "qzcrypto/format_constants.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

// Threads may still log through the helper while the process exits, so
// nothing may ever destroy it.
static_assert(!std::is_destructible<CryptFileHelper>::value,
              "the helper must outlive every thread that logs");

class CryptFileHelperTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.valid()); }

  std::wstring Path(const std::wstring& name) { return folder_.Path(name); }
  void Write(const std::wstring& name, const std::string& bytes) {
    ASSERT_TRUE(base::CreateDirectory(base::FilePath(Path(name)).DirName()));
    ASSERT_EQ(static_cast<int>(bytes.size()),
              base::WriteFile(base::FilePath(Path(name)), bytes.data(),
                              static_cast<int>(bytes.size())));
  }
  std::string Read(const std::wstring& name) {
    std::string bytes;
    EXPECT_TRUE(base::ReadFileToString(base::FilePath(Path(name)), &bytes));
    return bytes;
  }
  bool Exists(const std::wstring& name) {
    return base::PathExists(base::FilePath(Path(name)));
  }

  ScopedTempFolder folder_{L"qzhelper"};
};

TEST_F(CryptFileHelperTest, OneInstanceWithTheProductKeyAndOptions) {
  std::vector<CryptFileHelper*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back(
        [&seen, i] { seen[i] = CryptFileHelper::GetInstance(); });
  for (std::thread& thread : threads) thread.join();
  CryptFileHelper* helper = CryptFileHelper::GetInstance();
  for (CryptFileHelper* other : seen) EXPECT_EQ(helper, other);

  EXPECT_TRUE(IsLogEncryptionEnabled());
  EXPECT_EQ(qzcrypto::kProductKeyMaterial, helper->key().data);
  EXPECT_EQ(256u, helper->key().length);
  EXPECT_FALSE(helper->options().with_header);
  EXPECT_EQ(1u, helper->options().cryptor_type);
  const std::wstring folder = CryptFileHelper::GetDataFolder();
  EXPECT_EQ(folder, helper->data_folder());
  EXPECT_EQ(L"\\Kestrix\\QuillaVera\\",
            folder.substr(folder.size() - wcslen(L"\\Kestrix\\QuillaVera\\")));
}

TEST_F(CryptFileHelperTest, BuffersRoundTripInPlace) {
  CryptFileHelper* helper = CryptFileHelper::GetInstance();
  const std::string plain = "cookie=abc&second field\n";
  for (bool force : {false, true}) {
    std::string data = plain;
    helper->EncryptBuffer(data, force);
    ASSERT_EQ(plain.size(), data.size());
    EXPECT_NE(plain, data);
    // The same bytes as the library with the product key and type 1.
    std::string expected = plain;
    qzcrypto::EncryptBytes(
        reinterpret_cast<uint8_t*>(&expected[0]), expected.size(),
        qzcrypto::DeriveKeyByte(qzcrypto::kProductKeyMaterial, 256));
    EXPECT_EQ(expected, data);
    helper->DecryptBuffer(data, force);
    EXPECT_EQ(plain, data);
  }
  std::string empty;
  helper->EncryptBuffer(empty, false);
  EXPECT_EQ("", empty);
  EXPECT_EQ(-2, helper->ForceEncryptBuffer(empty));

  std::string data = plain;
  EXPECT_EQ(0, helper->ForceEncryptBuffer(data));
  EXPECT_EQ(0, helper->DecryptBuffer(&data[0], data.size()));
  EXPECT_EQ(plain, data);
}

TEST_F(CryptFileHelperTest, FilesRoundTripAtTheSameLength) {
  CryptFileHelper* helper = CryptFileHelper::GetInstance();
  std::string plain(70000, '\0');
  for (size_t i = 0; i < plain.size(); ++i)
    plain[i] = static_cast<char>(i % 251);
  Write(L"bi.plain", plain);
  ASSERT_EQ(0, helper->EncryptFile(Path(L"bi.plain"), Path(L"bi.enc")));
  const std::string encrypted = Read(L"bi.enc");
  EXPECT_EQ(plain.size(), encrypted.size());
  EXPECT_NE(plain, encrypted);
  ASSERT_EQ(0, helper->DecryptFile(Path(L"bi.enc"), Path(L"bi.back")));
  EXPECT_EQ(plain, Read(L"bi.back"));
  EXPECT_EQ(-1, helper->DecryptFile(Path(L"missing"), Path(L"bi.back2")));
  EXPECT_FALSE(Exists(L"bi.back2"));
}

// "Ŝ" has no exact ANSI form; best-fit mapping would turn it into "S" and
// name a different file that exists beside it.
TEST_F(CryptFileHelperTest, NamesOutsideTheAnsiCodePageLeaveBestFitTwinsAlone) {
  CryptFileHelper* helper = CryptFileHelper::GetInstance();
  const std::wstring kHat = L"\x015Cimon";
  Write(kHat + L".txt", "the real file");
  Write(L"Simon.txt", "the twin");
  Write(L"Simon.enc", "twin's encrypted copy");
  Write(L"Simon.back", "twin's plain copy");

  ASSERT_EQ(0, helper->EncryptFile(Path(kHat + L".txt"), Path(kHat + L".enc")));
  ASSERT_EQ(0,
            helper->DecryptFile(Path(kHat + L".enc"), Path(kHat + L".back")));
  EXPECT_EQ("the real file", Read(kHat + L".back"));
  EXPECT_EQ(13u, Read(kHat + L".enc").size());

  EXPECT_EQ("the twin", Read(L"Simon.txt"));
  EXPECT_EQ("twin's encrypted copy", Read(L"Simon.enc"));
  EXPECT_EQ("twin's plain copy", Read(L"Simon.back"));
}

TEST_F(CryptFileHelperTest, DeletesTheDecryptedCopiesThatExist) {
  const std::wstring folder = folder_.path() + L"\\";
  Write(kDecryptedLogName, "log");
  Write(kDecryptedBiLogName, "bi");
  Write(L"quillavera.elog", "encrypted log stays");
  Write(L"Log\\bilog.elog", "encrypted BI log stays");
  // "ad\apm.de" does not exist: no harm.
  DeleteDecryptedCopiesIn(folder);
  EXPECT_FALSE(Exists(kDecryptedLogName));
  EXPECT_FALSE(Exists(kDecryptedBiLogName));
  EXPECT_TRUE(Exists(L"quillavera.elog"));
  EXPECT_TRUE(Exists(L"Log\\bilog.elog"));

  Write(kDecryptedApmName, "apm");
  DeleteDecryptedCopiesIn(folder);
  EXPECT_FALSE(Exists(kDecryptedApmName));

  Write(L"gone", "x");
  CryptFileHelper* helper = CryptFileHelper::GetInstance();
  EXPECT_TRUE(helper->DeleteFile(Path(L"gone")));
  EXPECT_FALSE(helper->DeleteFile(Path(L"gone")));
}

TEST_F(CryptFileHelperTest, LogRecordTransformIsTheBufferEncryption) {
  std::string record = "[1:2:1210/101010:3:INFO:x.cc(1)] text\n";
  std::string expected = record;
  CryptFileHelper::GetInstance()->EncryptBuffer(expected, false);
  EXPECT_TRUE(EncryptLogRecord(&record[0], record.size()));
  EXPECT_EQ(expected, record);
  EXPECT_TRUE(EncryptLogRecord(nullptr, 0));
}

// Last: the logging facility is set up once per process. One record in,
// one encrypted record out: the transform writes nothing of its own.
TEST_F(CryptFileHelperTest, LoggedRecordsAreWrittenEncryptedOneByOne) {
  const std::wstring log = Path(L"records.elog");
  InstallLogRecordEncryption();
  base::LoggingSettings settings;
  settings.log_file = log.c_str();
  ASSERT_TRUE(base::InitLogging(settings));
  LOG(INFO) << "first record";
  LOG(WARNING) << "second record \xC5\x9C";
  base::CloseLogFile();
  base::SetLogRecordTransform(nullptr);

  std::string text = Read(L"records.elog");
  CryptFileHelper::GetInstance()->DecryptBuffer(text, false);
  const size_t first = text.find('\n');
  ASSERT_NE(std::string::npos, first) << text;
  EXPECT_EQ("] first record", text.substr(first - 14, 14));
  EXPECT_EQ(first + 1 + text.substr(first + 1).find('\n'), text.size() - 1);
  EXPECT_NE(std::string::npos,
            text.find("WARNING:crypt_file_helper_unittest.cc("));
  EXPECT_NE(std::string::npos, text.find("] second record \xC5\x9C\n"));
}

}  // namespace
