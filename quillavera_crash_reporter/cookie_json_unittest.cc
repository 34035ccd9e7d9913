#include "quillavera_crash_reporter/cookie_json.h"

#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "testing/crash_common/temp_app_data.h"
#include "qzcrypto/crypt_file_helper.h"

namespace {

class CookieJsonTest : public TempAppDataTest {
 protected:
  void SetUp() override {
    TempAppDataTest::SetUp();
    ASSERT_TRUE(base::CreateDirectory(base::FilePath(GetDumpsFolder())));
  }
  // Writes |plain| encrypted, as the client application does.
  void WriteCookie(std::string plain) {
    CryptFileHelper::GetInstance()->EncryptBuffer(plain, true);
    ASSERT_EQ(static_cast<int>(plain.size()),
              base::WriteFile(base::FilePath(GetDumpsFolder() + L"\\cookie_json"),
                              plain.data(), static_cast<int>(plain.size())));
  }
};

TEST_F(CookieJsonTest, FirstFieldOfTheDecryptedText) {
  const struct {
    const char* plain;
    const wchar_t* cookie;
  } cases[] = {
      {"uid=42; token=x&session=9", L"uid=42; token=x"},
      {"&&uid=7&x", L"uid=7"},
      {"only", L"only"},
      {"&&&", L""},
      {"gr\xc3\xbc\xc3\x9f" "e&x", L"gr\u00fc\u00dfe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plain);
    WriteCookie(c.plain);
    EXPECT_EQ(c.cookie, ReadCookieJson());
  }
}

TEST_F(CookieJsonTest, MissingOrOversizedFileGivesNoCookie) {
  EXPECT_EQ(L"", ReadCookieJson());
  std::string big(static_cast<size_t>(kMaxCookieJsonBytes) + 1, 'a');
  WriteCookie(big);
  EXPECT_EQ(L"", ReadCookieJson());
  big.resize(static_cast<size_t>(kMaxCookieJsonBytes));
  WriteCookie(big);
  EXPECT_EQ(std::wstring(big.size(), L'a'), ReadCookieJson());
}

}  // namespace
