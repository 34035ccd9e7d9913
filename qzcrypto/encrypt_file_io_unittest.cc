#include "qzcrypto/encrypt_file_io.h"

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "base/file_path.h"
#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "gtest/gtest.h"
#include "qzcrypto/format_constants.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace qzcrypto {
namespace {

// A byte store in memory that can be told to fail.
class FakeProvider : public IEncryptFileIOProvider {
 public:
  std::string bytes;
  size_t position = 0;
  int32_t open_result = 0;
  size_t write_limit = static_cast<size_t>(-1);
  int32_t seek_result = 0;
  bool read_fails = false;
  bool open = false;

  int32_t Open(uint32_t mode) override {
    if (open_result) return open_result;
    open = true;
    if (mode == 0) bytes.clear();
    position = 0;
    return 0;
  }
  size_t Write(const void* data, size_t length) override {
    const size_t count = std::min(length, write_limit);
    bytes.replace(position, count, static_cast<const char*>(data), count);
    position += count;
    return count;
  }
  size_t Read(void* buffer, size_t length) override {
    if (read_fails) return 0;
    const size_t count = std::min(length, bytes.size() - position);
    memcpy(buffer, bytes.data() + position, count);
    position += count;
    return count;
  }
  bool Eof() override { return !read_fails && position >= bytes.size(); }
  int32_t Seek(int32_t offset, uint32_t origin) override {
    if (seek_result) return seek_result;
    const size_t base = origin == kSeekSet   ? 0
                        : origin == kSeekCur ? position
                                             : bytes.size();
    position = base + offset;
    return 0;
  }
  int32_t Tell() override { return static_cast<int32_t>(position); }
  int32_t Close() override {
    open = false;
    return 0;
  }
};

std::unique_ptr<EncryptFileIO> Stream(uint32_t type, bool header,
                                      bool keyed = true) {
  std::unique_ptr<EncryptFileIO> stream = CreateEncryptFileIO();
  stream->SetCryptoType(type);
  if (keyed) {
    EXPECT_EQ(0, stream->SetKey(kProductKeyMaterial, kProductKeyLength));
  }
  stream->SetWithHeader(header);
  return stream;
}

const uint8_t kPlain[] = "payload bytes of a headed file";
const size_t kPlainLength = sizeof(kPlain) - 1;

TEST(EncryptFileIOTest, HeadedFileCarriesMagicAndKeyByteAndCountsPayload) {
  auto store = std::make_shared<FakeProvider>();
  std::unique_ptr<EncryptFileIO> writer = Stream(1, true);
  ASSERT_EQ(0, writer->Open(store, kOpenWrite));
  EXPECT_EQ(0, writer->Tell());
  ASSERT_EQ(static_cast<int32_t>(kPlainLength),
            writer->Write(kPlain, kPlainLength));
  EXPECT_EQ(static_cast<int32_t>(kPlainLength), writer->Tell());
  EXPECT_EQ(static_cast<int32_t>(kPlainLength), writer->GetSize());
  ASSERT_EQ(0, writer->Close());

  ASSERT_EQ(kPlainLength + 6, store->bytes.size());
  const uint8_t key_byte =
      DeriveKeyByte(kProductKeyMaterial, kProductKeyLength);
  EXPECT_EQ(std::string("KXQZ\0", 5) + static_cast<char>(key_byte),
            store->bytes.substr(0, 6));
  std::string payload(reinterpret_cast<const char*>(kPlain), kPlainLength);
  EncryptBytes(reinterpret_cast<uint8_t*>(&payload[0]), payload.size(),
               key_byte);
  EXPECT_EQ(payload, store->bytes.substr(6));

  // A reader needs no key material: the header brings the key byte.
  std::unique_ptr<EncryptFileIO> reader = Stream(1, true, false);
  ASSERT_EQ(0, reader->Open(store, kOpenRead));
  EXPECT_EQ(0, reader->Tell());
  EXPECT_EQ(static_cast<int32_t>(kPlainLength), reader->GetSize());
  EXPECT_EQ(0, reader->Tell());
  ASSERT_EQ(0, reader->Seek(8));
  EXPECT_EQ(8, reader->Tell());
  uint8_t buffer[64] = {};
  ASSERT_EQ(static_cast<int32_t>(kPlainLength - 8),
            reader->Read(buffer, sizeof(buffer)));
  EXPECT_EQ(0, memcmp(kPlain + 8, buffer, kPlainLength - 8));
  EXPECT_EQ(0, reader->Read(buffer, sizeof(buffer)));
}

TEST(EncryptFileIOTest, WithoutHeaderOrWithTypeZeroNothingPrecedesThePayload) {
  struct Case {
    uint32_t type;
    bool header;
  } cases[] = {{1, false}, {0, true}, {0, false}};
  for (const Case& c : cases) {
    auto store = std::make_shared<FakeProvider>();
    std::unique_ptr<EncryptFileIO> writer = Stream(c.type, c.header);
    ASSERT_EQ(0, writer->Open(store, kOpenWrite));
    ASSERT_EQ(static_cast<int32_t>(kPlainLength),
              writer->Write(kPlain, kPlainLength));
    writer->Close();
    EXPECT_EQ(kPlainLength, store->bytes.size()) << c.type << c.header;
    const bool plain =
        store->bytes ==
        std::string(reinterpret_cast<const char*>(kPlain), kPlainLength);
    EXPECT_EQ(c.type == 0, plain) << c.type << c.header;
  }
}

TEST(EncryptFileIOTest, BadHeadersAreRefused) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"shorter than a header", std::string("KXQZ\0", 5)},
      {"empty", std::string()},
      {"wrong magic", std::string("KXQY\0\x01payload", 13)},
  };
  for (const Case& c : cases) {
    auto store = std::make_shared<FakeProvider>();
    store->bytes = c.bytes;
    std::unique_ptr<EncryptFileIO> reader = Stream(1, true, false);
    EXPECT_EQ(-3, reader->Open(store, kOpenRead)) << c.what;
    // A stream that did not open holds nothing open.
    EXPECT_FALSE(store->open) << c.what;
    uint8_t buffer[8];
    EXPECT_EQ(-4, reader->Read(buffer, sizeof(buffer))) << c.what;
  }
}

TEST(EncryptFileIOTest, StoreFailuresAreIoErrors) {
  {
    auto store = std::make_shared<FakeProvider>();
    store->open_result = 2;  // ENOENT
    EXPECT_EQ(-1, Stream(1, false)->Open(store, kOpenRead));
  }
  {
    auto store = std::make_shared<FakeProvider>();
    store->write_limit = 5;
    EXPECT_EQ(-1, Stream(1, true)->Open(store, kOpenWrite));  // header
  }
  {
    auto store = std::make_shared<FakeProvider>();
    store->bytes = "KXQZ";
    store->seek_result = -7;
    EXPECT_EQ(-1, Stream(1, true)->Open(store, kOpenRead));
  }
  {
    auto store = std::make_shared<FakeProvider>();
    store->bytes = "some bytes";
    std::unique_ptr<EncryptFileIO> reader = Stream(1, false);
    ASSERT_EQ(0, reader->Open(store, kOpenRead));
    store->read_fails = true;
    uint8_t buffer[8];
    EXPECT_EQ(-1, reader->Read(buffer, sizeof(buffer)));
  }
  {
    auto store = std::make_shared<FakeProvider>();
    std::unique_ptr<EncryptFileIO> writer = Stream(1, false);
    ASSERT_EQ(0, writer->Open(store, kOpenWrite));
    store->write_limit = 0;
    EXPECT_EQ(-1, writer->Write(kPlain, kPlainLength));
  }
}

TEST(EncryptFileIOTest, OperationsOutOfStateOrWithBadArguments) {
  auto store = std::make_shared<FakeProvider>();
  uint8_t buffer[8] = {};
  std::unique_ptr<EncryptFileIO> stream = CreateEncryptFileIO();
  // No cryptor yet.
  EXPECT_EQ(-5, stream->SetKey(kProductKeyMaterial, kProductKeyLength));
  stream->SetCryptoType(1);
  EXPECT_EQ(-2, stream->SetKey(nullptr, 4));
  EXPECT_EQ(-2, stream->SetKey(kProductKeyMaterial, 0));
  EXPECT_EQ(-4, stream->Write(kPlain, kPlainLength));
  EXPECT_EQ(-4, stream->Read(buffer, sizeof(buffer)));
  EXPECT_EQ(-4, stream->GetSize());
  EXPECT_EQ(-4, stream->Tell());
  EXPECT_EQ(-4, stream->Seek(0));
  EXPECT_EQ(-2, stream->Open(std::shared_ptr<IEncryptFileIOProvider>(), 0));
  EXPECT_EQ(-4, stream->Open(store, 2));

  ASSERT_EQ(0, stream->Open(store, kOpenWrite));
  EXPECT_EQ(-4, stream->Open(store, kOpenWrite));
  EXPECT_EQ(-4, stream->SetKey(kProductKeyMaterial, kProductKeyLength));
  EXPECT_EQ(-2, stream->Write(nullptr, 4));
  EXPECT_EQ(-2, stream->Write(kPlain, 0));
  EXPECT_EQ(-2, stream->Read(nullptr, 4));
  EXPECT_EQ(0, stream->Read(buffer, 0));
  EXPECT_EQ(0, stream->Close());
  EXPECT_EQ(0, stream->Close());
}

// Writes kPlain with the header, as a file at |path|.
::testing::AssertionResult WriteHeadedFile(const std::string& path) {
  std::unique_ptr<EncryptFileIO> writer = Stream(1, true);
  if (writer->Open(path.c_str(), kOpenWrite) != 0 ||
      writer->Write(kPlain, kPlainLength) !=
          static_cast<int32_t>(kPlainLength) ||
      writer->Close() != 0) {
    return ::testing::AssertionFailure() << "cannot write " << path;
  }
  return ::testing::AssertionSuccess();
}

TEST(EncryptFileIOTest, OpensFilesByPath) {
  ScopedTempFolder folder(L"qzio");
  ASSERT_TRUE(folder.valid());
  const std::string path = base::WideToUTF8(folder.Path(L"stream.bin"));
  ASSERT_TRUE(WriteHeadedFile(path));
  int64_t size = 0;
  ASSERT_TRUE(
      base::GetFileSize(base::FilePath(folder.Path(L"stream.bin")), &size));
  EXPECT_EQ(static_cast<int64_t>(kPlainLength + 6), size);

  std::unique_ptr<EncryptFileIO> reader = Stream(1, true, false);
  ASSERT_EQ(0, reader->Open(path.c_str(), kOpenRead));
  uint8_t buffer[64] = {};
  ASSERT_EQ(static_cast<int32_t>(kPlainLength),
            reader->Read(buffer, sizeof(buffer)));
  EXPECT_EQ(0, memcmp(kPlain, buffer, kPlainLength));
  reader->Close();

  EXPECT_EQ(-1, Stream(1, false)->Open((path + ".missing").c_str(), kOpenRead));
}

// Positions count from the payload; the header is not part of it.
TEST(EncryptFileIOTest, SeekBeforeThePayloadFailsAndStaysPut) {
  ScopedTempFolder folder(L"qzseek");
  ASSERT_TRUE(folder.valid());
  const std::string path = base::WideToUTF8(folder.Path(L"headed.bin"));
  ASSERT_TRUE(WriteHeadedFile(path));

  for (bool header : {true, false}) {
    SCOPED_TRACE(header);
    std::unique_ptr<EncryptFileIO> reader = Stream(1, header);
    ASSERT_EQ(0, reader->Open(path.c_str(), kOpenRead));
    ASSERT_EQ(0, reader->Seek(8));
    for (int32_t offset : {-1, -6, -7, INT32_MIN}) {
      EXPECT_EQ(-2, reader->Seek(offset)) << offset;
      EXPECT_EQ(8, reader->Tell()) << offset;
    }
    // Past the header, the largest offset has no file position.
    if (header) {
      EXPECT_EQ(-2, reader->Seek(INT32_MAX));
    }
    EXPECT_EQ(8, reader->Tell());
    reader->Close();
  }

  std::unique_ptr<EncryptFileIO> reader = Stream(1, true, false);
  ASSERT_EQ(0, reader->Open(path.c_str(), kOpenRead));
  ASSERT_EQ(0, reader->Seek(8));
  EXPECT_EQ(-2, reader->Seek(-3));
  uint8_t buffer[64] = {};
  ASSERT_EQ(static_cast<int32_t>(kPlainLength - 8),
            reader->Read(buffer, sizeof(buffer)));
  EXPECT_EQ(0, memcmp(kPlain + 8, buffer, kPlainLength - 8));
  ASSERT_EQ(0, reader->Seek(0));
  ASSERT_EQ(4, reader->Read(buffer, 4));
  EXPECT_EQ(0, memcmp(kPlain, buffer, 4));
}

}  // namespace
}  // namespace qzcrypto
