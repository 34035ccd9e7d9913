#include "qzcrypto/encrypt_file.h"

#include <windows.h>

#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "qzcrypto/cryptor.h"
#include "qzcrypto/format_constants.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace qzcrypto {
namespace {

const CryptKey kKey = {kProductKeyMaterial, kProductKeyLength};
const CryptOptions kPlainOptions = {false, 1};
const CryptOptions kHeadedOptions = {true, 1};

class EncryptFileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.valid()); }

  std::wstring Path(const wchar_t* name) { return folder_.Path(name); }
  // Narrow paths for the library (the temporary folder's name is ASCII).
  std::string Narrow(const wchar_t* name) {
    return base::WideToUTF8(Path(name));
  }
  void Write(const wchar_t* name, const std::string& bytes) {
    ASSERT_EQ(static_cast<int>(bytes.size()),
              base::WriteFile(base::FilePath(Path(name)), bytes.data(),
                              static_cast<int>(bytes.size())));
  }
  std::string Read(const wchar_t* name) {
    std::string bytes;
    EXPECT_TRUE(base::ReadFileToString(base::FilePath(Path(name)), &bytes))
        << name;
    return bytes;
  }
  bool Exists(const wchar_t* name) {
    return base::PathExists(base::FilePath(Path(name)));
  }

  ScopedTempFolder folder_{L"qzfile"};
};

std::string Sample(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i * 13 + 5);
  return bytes;
}

TEST_F(EncryptFileTest, RoundTripsWithAndWithoutHeader) {
  // Sizes around both functions' chunk lengths.
  for (size_t length :
       {size_t{1}, size_t{1024}, size_t{10240}, size_t{25001}}) {
    const std::string plain = Sample(length);
    Write(L"plain", plain);
    for (const CryptOptions& options : {kPlainOptions, kHeadedOptions}) {
      ASSERT_EQ(0, EncryptFile(kKey, options, Narrow(L"plain").c_str(),
                               Narrow(L"enc").c_str()));
      const std::string encrypted = Read(L"enc");
      EXPECT_EQ(plain.size() + (options.with_header ? 6 : 0), encrypted.size());
      EXPECT_NE(plain, encrypted.substr(encrypted.size() - plain.size()));
      ASSERT_EQ(0, DecryptFile(kKey, options, Narrow(L"enc").c_str(),
                               Narrow(L"back").c_str()));
      EXPECT_EQ(plain, Read(L"back")) << length << options.with_header;
    }
  }
  // A headed file decrypts without key material.
  ASSERT_EQ(0, DecryptFile(CryptKey{nullptr, 0}, kHeadedOptions,
                           Narrow(L"enc").c_str(), Narrow(L"back").c_str()));
  EXPECT_EQ(Sample(25001), Read(L"back"));
}

TEST_F(EncryptFileTest, EmptySourceGivesAnEmptyDestination) {
  Write(L"empty", "");
  ASSERT_EQ(0, EncryptFile(kKey, kPlainOptions, Narrow(L"empty").c_str(),
                           Narrow(L"enc").c_str()));
  EXPECT_EQ("", Read(L"enc"));
  ASSERT_EQ(0, DecryptFile(kKey, kPlainOptions, Narrow(L"enc").c_str(),
                           Narrow(L"back").c_str()));
  EXPECT_EQ("", Read(L"back"));
}

TEST_F(EncryptFileTest, MissingSourceLeavesTheDestinationAlone) {
  EXPECT_EQ(-1, EncryptFile(kKey, kPlainOptions, Narrow(L"missing").c_str(),
                            Narrow(L"enc").c_str()));
  EXPECT_FALSE(Exists(L"enc"));
  EXPECT_EQ(-1, DecryptFile(kKey, kPlainOptions, Narrow(L"missing").c_str(),
                            Narrow(L"back").c_str()));
  EXPECT_FALSE(Exists(L"back"));
  // An earlier copy is not truncated by a decryption that cannot start.
  Write(L"back", "earlier copy");
  EXPECT_EQ(-1, DecryptFile(kKey, kPlainOptions, Narrow(L"missing").c_str(),
                            Narrow(L"back").c_str()));
  EXPECT_EQ("earlier copy", Read(L"back"));
  Write(L"short", "KXQ");
  EXPECT_EQ(-3, DecryptFile(kKey, kHeadedOptions, Narrow(L"short").c_str(),
                            Narrow(L"back").c_str()));
  EXPECT_EQ("earlier copy", Read(L"back"));
}

TEST_F(EncryptFileTest, BadArguments) {
  const std::string a = Narrow(L"a");
  EXPECT_EQ(-2, EncryptFile(CryptKey{nullptr, 256}, kPlainOptions, a.c_str(),
                            a.c_str()));
  EXPECT_EQ(-2, EncryptFile(CryptKey{kProductKeyMaterial, 0}, kPlainOptions,
                            a.c_str(), a.c_str()));
  EXPECT_EQ(-2, EncryptFile(kKey, kPlainOptions, nullptr, a.c_str()));
  EXPECT_EQ(-2, EncryptFile(kKey, kPlainOptions, a.c_str(), nullptr));
  EXPECT_EQ(-2, DecryptFile(CryptKey{nullptr, 0}, kPlainOptions, a.c_str(),
                            a.c_str()));
  EXPECT_EQ(-2, DecryptFile(kKey, kPlainOptions, nullptr, a.c_str()));
  EXPECT_EQ(-2, DecryptFile(kKey, kPlainOptions, a.c_str(), nullptr));
}

// Writing the destination would cut the source before it is read: one file
// under two spellings, or two names of one file, is refused untouched.
TEST_F(EncryptFileTest, OneFileAsSourceAndDestinationIsRefused) {
  const std::string plain = Sample(3000);
  Write(L"one", plain);
  ASSERT_TRUE(CreateHardLinkW(Path(L"alias").c_str(), Path(L"one").c_str(),
                              nullptr));
  const std::string one = Narrow(L"one");
  const std::string upper = Narrow(L"ONE");
  const std::string alias = Narrow(L"alias");
  for (const std::string& other : {one, upper, alias}) {
    for (const CryptOptions& options : {kPlainOptions, kHeadedOptions}) {
      EXPECT_EQ(-2, EncryptFile(kKey, options, one.c_str(), other.c_str()));
      EXPECT_EQ(-2, DecryptFile(kKey, options, one.c_str(), other.c_str()));
      EXPECT_EQ(-2, EncryptFileUtf8(kKey, options, other.c_str(), one.c_str()));
      EXPECT_EQ(-2, DecryptFileUtf8(kKey, options, other.c_str(), one.c_str()));
      EXPECT_EQ(plain, Read(L"one")) << other;
    }
  }
  // A copy is another file.
  Write(L"copy", plain);
  EXPECT_EQ(0, EncryptFile(kKey, kPlainOptions, one.c_str(),
                           Narrow(L"copy").c_str()));
  EXPECT_NE(plain, Read(L"copy"));
}

// A file that opens but whose reads fail: under Wine, the host's
// /proc/self/mem, which cannot be read at offset 0.
const char kUnreadableFile[] = "Z:\\proc\\self\\mem";

// A source that cannot be read to its end is no success, and the file
// written stays open for nobody: the crash flow deletes it right after.
TEST_F(EncryptFileTest, ReadErrorsFailAndCloseTheDestination) {
  FILE* unreadable = fopen(kUnreadableFile, "rb");
  if (!unreadable) GTEST_SKIP() << "no file here fails its reads";
  char byte;
  const bool read_fails =
      fread(&byte, 1, 1, unreadable) == 0 && ferror(unreadable);
  fclose(unreadable);
  ASSERT_TRUE(read_fails);

  EXPECT_EQ(-1, DecryptFile(kKey, kPlainOptions, kUnreadableFile,
                            Narrow(L"back").c_str()));
  EXPECT_TRUE(DeleteFileW(Path(L"back").c_str()));
  EXPECT_EQ(-1, EncryptFile(kKey, kPlainOptions, kUnreadableFile,
                            Narrow(L"enc").c_str()));
  EXPECT_TRUE(DeleteFileW(Path(L"enc").c_str()));
}

TEST_F(EncryptFileTest, FilesCloseWhenTheDestinationCannotBeMade) {
  Write(L"enc", Sample(100));
  EXPECT_EQ(-1, DecryptFile(kKey, kPlainOptions, Narrow(L"enc").c_str(),
                            Narrow(L"no\\such\\folder").c_str()));
  EXPECT_TRUE(DeleteFileW(Path(L"enc").c_str()));
}

TEST_F(EncryptFileTest, Utf8FormsReachNamesOutsideTheAnsiCodePage) {
  const wchar_t kName[] = L"\x015Cimon \x4E2D.txt";
  const std::string plain = Sample(3000);
  Write(kName, plain);
  const std::string src = base::WideToUTF8(Path(kName));
  const std::string dst = base::WideToUTF8(Path(L"\x015Cimon.enc"));
  ASSERT_EQ(0, EncryptFileUtf8(kKey, kPlainOptions, src.c_str(), dst.c_str()));
  EXPECT_EQ(plain.size(), Read(L"\x015Cimon.enc").size());
  const std::string back = base::WideToUTF8(Path(L"\x015Cimon.back"));
  ASSERT_EQ(0, DecryptFileUtf8(kKey, kPlainOptions, dst.c_str(), back.c_str()));
  EXPECT_EQ(plain, Read(L"\x015Cimon.back"));
}

TEST_F(EncryptFileTest, BufferToFileAndFileToString) {
  const std::string plain = Sample(5000);
  ASSERT_EQ(0,
            EncryptBufferToFile(kKey, kHeadedOptions,
                                reinterpret_cast<const uint8_t*>(plain.data()),
                                plain.size(), Narrow(L"enc").c_str()));
  EXPECT_EQ(plain.size() + 6, Read(L"enc").size());
  std::string back = "replaced";
  ASSERT_EQ(0, DecryptFileToString(kKey, kHeadedOptions, Narrow(L"enc").c_str(),
                                   &back));
  EXPECT_EQ(plain, back);
  EXPECT_EQ(-1, DecryptFileToString(kKey, kHeadedOptions,
                                    Narrow(L"missing").c_str(), &back));
}

}  // namespace
}  // namespace qzcrypto
