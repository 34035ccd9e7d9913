#include "base/platform_file.h"

#include <windows.h>

#include <string>

#include "base/file_util.h"
#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace base {
namespace {

class PlatformFileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.valid()); }
  // Every handle a test opened must be closed again, or this fails.
  void TearDown() override { EXPECT_TRUE(Delete(folder(), true)); }

  FilePath folder() const { return FilePath(folder_.path()); }

  PlatformFile Open(const wchar_t* name, int flags) {
    return CreatePlatformFile(folder().Append(name), flags, nullptr, nullptr);
  }

  std::string Contents(const wchar_t* name) {
    std::string contents;
    EXPECT_TRUE(ReadFileToString(folder().Append(name), &contents));
    return contents;
  }

  ScopedTempFolder folder_{L"platform_file_test"};
};

TEST_F(PlatformFileTest, OpenFlags) {
  bool created = true;
  PlatformFileError error = PLATFORM_FILE_OK;
  EXPECT_EQ(kInvalidPlatformFileValue,
            CreatePlatformFile(folder().Append(L"a\\..\\b"),
                               PLATFORM_FILE_CREATE | PLATFORM_FILE_WRITE,
                               &created, &error));
  EXPECT_EQ(PLATFORM_FILE_ERROR_ACCESS_DENIED, error);
  EXPECT_FALSE(created);
  EXPECT_FALSE(PathExists(folder().Append(L"b")));

  // No disposition bit: a failure, not a null handle that looks open.
  error = PLATFORM_FILE_OK;
  EXPECT_EQ(kInvalidPlatformFileValue,
            CreatePlatformFile(folder().Append(L"c"), PLATFORM_FILE_READ,
                               &created, &error));
  EXPECT_EQ(PLATFORM_FILE_ERROR_FAILED, error);
  EXPECT_FALSE(PathExists(folder().Append(L"c")));

  // Several disposition bits: CREATE_ALWAYS wins over the others.
  PlatformFile file = CreatePlatformFile(
      folder().Append(L"d"),
      PLATFORM_FILE_OPEN | PLATFORM_FILE_CREATE_ALWAYS | PLATFORM_FILE_WRITE,
      &created, &error);
  ASSERT_NE(kInvalidPlatformFileValue, file);
  EXPECT_TRUE(created);
  EXPECT_EQ(PLATFORM_FILE_OK, error);
  EXPECT_TRUE(ClosePlatformFile(file));
}

TEST_F(PlatformFileTest, PositionalReadsAndWrites) {
  PlatformFile file = Open(L"f", PLATFORM_FILE_CREATE | PLATFORM_FILE_READ |
                                     PLATFORM_FILE_WRITE);
  ASSERT_NE(kInvalidPlatformFileValue, file);
  EXPECT_EQ(5, WritePlatformFileAtStart(file, "hello", 5));
  EXPECT_EQ(5, WritePlatformFile(file, 10, "world", 5));
  char buffer[32] = {};
  EXPECT_EQ(15, ReadPlatformFile(file, 0, buffer, sizeof(buffer)));
  EXPECT_EQ(std::string("hello\0\0\0\0\0world", 15), std::string(buffer, 15));
  EXPECT_EQ(3, ReadPlatformFile(file, 12, buffer, 3));
  EXPECT_EQ("rld", std::string(buffer, 3));
  EXPECT_EQ(0, ReadPlatformFile(file, 15, buffer, 3));   // at the end
  EXPECT_EQ(0, ReadPlatformFile(file, 100, buffer, 3));  // past it
  EXPECT_EQ(2, ReadPlatformFileAtStart(file, buffer, 2));
  EXPECT_EQ(2, ReadPlatformFileAtStartNoBestEffort(file, buffer + 2, 2));
  EXPECT_EQ("hehe", std::string(buffer, 4));
  EXPECT_EQ(1, WritePlatformFileAtStartNoBestEffort(file, "J", 1));

  // Negative offsets and sizes are refused before any I/O.
  EXPECT_EQ(-1, ReadPlatformFile(file, -1, buffer, 3));
  EXPECT_EQ(-1, ReadPlatformFile(file, 0, buffer, -3));
  EXPECT_EQ(-1, WritePlatformFile(file, -1, "x", 1));
  EXPECT_EQ(-1, WritePlatformFile(file, 0, "xyz", -2));
  EXPECT_EQ(-1, ReadPlatformFile(kInvalidPlatformFileValue, 0, buffer, 1));
  EXPECT_EQ(-1, WritePlatformFile(kInvalidPlatformFileValue, 0, "x", 1));
  EXPECT_TRUE(ClosePlatformFile(file));
  EXPECT_EQ(std::string("Jello\0\0\0\0\0world", 15), Contents(L"f"));
}

TEST_F(PlatformFileTest, OverlappedHandlesWaitForTheTransfer) {
  PlatformFile file =
      Open(L"async", PLATFORM_FILE_CREATE | PLATFORM_FILE_READ |
                         PLATFORM_FILE_WRITE | PLATFORM_FILE_ASYNC);
  ASSERT_NE(kInvalidPlatformFileValue, file);
  const std::string block(256 * 1024, 'z');
  EXPECT_EQ(static_cast<int>(block.size()),
            WritePlatformFile(file, 1 << 20, block.data(),
                              static_cast<int>(block.size())));
  std::string back(block.size(), '\0');
  EXPECT_EQ(static_cast<int>(back.size()),
            ReadPlatformFile(file, 1 << 20, &back[0],
                             static_cast<int>(back.size())));
  EXPECT_EQ(block, back);
  char tail[4];
  EXPECT_EQ(0, ReadPlatformFile(file, (1 << 20) + block.size(), tail, 4));
  EXPECT_TRUE(ClosePlatformFile(file));
}

TEST_F(PlatformFileTest, AppendWritesAtTheEndOnly) {
  PlatformFile file = Open(L"log", PLATFORM_FILE_CREATE | PLATFORM_FILE_WRITE);
  ASSERT_NE(kInvalidPlatformFileValue, file);
  EXPECT_EQ(3, WritePlatformFileAtStart(file, "abc", 3));
  EXPECT_TRUE(ClosePlatformFile(file));
  file = Open(L"log", PLATFORM_FILE_OPEN | PLATFORM_FILE_WRITE |
                          PLATFORM_FILE_APPEND);
  ASSERT_NE(kInvalidPlatformFileValue, file);
  EXPECT_EQ(2, WritePlatformFileAtStart(file, "de", 2));
  EXPECT_TRUE(ClosePlatformFile(file));
  EXPECT_EQ("abcde", Contents(L"log"));
}

TEST_F(PlatformFileTest, SeekTruncateFlush) {
  PlatformFile file = Open(L"f", PLATFORM_FILE_CREATE | PLATFORM_FILE_READ |
                                     PLATFORM_FILE_WRITE);
  ASSERT_NE(kInvalidPlatformFileValue, file);
  EXPECT_EQ(10, WritePlatformFileAtStart(file, "0123456789", 10));
  EXPECT_EQ(4, SeekPlatformFile(file, PLATFORM_FILE_FROM_BEGIN, 4));
  EXPECT_EQ(-1, SeekPlatformFile(file, PLATFORM_FILE_FROM_BEGIN, -1));
  EXPECT_EQ(4, SeekPlatformFile(file, PLATFORM_FILE_FROM_CURRENT, 0));
  EXPECT_EQ(10, SeekPlatformFile(file, PLATFORM_FILE_FROM_END, 0));
  EXPECT_EQ(6, SeekPlatformFile(file, PLATFORM_FILE_FROM_BEGIN, 6));
  EXPECT_EQ(-1, SeekPlatformFile(kInvalidPlatformFileValue,
                                 PLATFORM_FILE_FROM_BEGIN, 0));

  EXPECT_TRUE(TruncatePlatformFile(file, 3));
  EXPECT_EQ(6, SeekPlatformFile(file, PLATFORM_FILE_FROM_CURRENT, 0));
  EXPECT_TRUE(TruncatePlatformFile(file, 8));  // also grows
  EXPECT_FALSE(TruncatePlatformFile(kInvalidPlatformFileValue, 0));
  EXPECT_TRUE(FlushPlatformFile(file));
  EXPECT_FALSE(FlushPlatformFile(kInvalidPlatformFileValue));

  PlatformFileInfo info;
  ASSERT_TRUE(GetPlatformFileInfo(file, &info));
  EXPECT_EQ(8, info.size);
  EXPECT_FALSE(info.is_directory);
  EXPECT_FALSE(info.is_symbolic_link);
  EXPECT_FALSE(GetPlatformFileInfo(file, nullptr));
  EXPECT_TRUE(ClosePlatformFile(file));
  EXPECT_EQ(std::string("012\0\0\0\0\0", 8), Contents(L"f"));
}

TEST_F(PlatformFileTest, TimesAndInfo) {
  PlatformFile file =
      Open(L"t", PLATFORM_FILE_CREATE | PLATFORM_FILE_WRITE |
                     PLATFORM_FILE_WRITE_ATTRIBUTES);
  ASSERT_NE(kInvalidPlatformFileValue, file);
  const Time accessed = Time::FromUTCExploded({2021, 3, 1, 1, 10, 0, 0, 0});
  const Time modified = Time::FromUTCExploded({2022, 4, 5, 1, 11, 0, 0, 0});
  EXPECT_TRUE(TouchPlatformFile(file, accessed, modified));
  PlatformFileInfo info;
  ASSERT_TRUE(GetPlatformFileInfo(file, &info));
  EXPECT_EQ(modified, info.last_modified);
  EXPECT_EQ(accessed, info.last_accessed);
  EXPECT_FALSE(info.creation_time.is_null());
  EXPECT_FALSE(TouchPlatformFile(kInvalidPlatformFileValue, accessed, modified));
  EXPECT_TRUE(ClosePlatformFile(file));

  PlatformFile dir = CreatePlatformFile(
      folder(),
      PLATFORM_FILE_OPEN | PLATFORM_FILE_READ | PLATFORM_FILE_BACKUP_SEMANTICS,
      nullptr, nullptr);
  ASSERT_NE(kInvalidPlatformFileValue, dir);
  ASSERT_TRUE(GetPlatformFileInfo(dir, &info));
  EXPECT_TRUE(info.is_directory);
  EXPECT_TRUE(ClosePlatformFile(dir));
}

TEST_F(PlatformFileTest, Fdopen) {
  EXPECT_EQ(nullptr, FdopenPlatformFile(kInvalidPlatformFileValue, "r"));
  PlatformFile file = Open(L"s", PLATFORM_FILE_CREATE | PLATFORM_FILE_WRITE);
  ASSERT_NE(kInvalidPlatformFileValue, file);
  FILE* stream = FdopenPlatformFile(file, "w");
  ASSERT_TRUE(stream);
  fputs("via stream", stream);
  EXPECT_EQ(0, fclose(stream));  // closes the handle too
  EXPECT_EQ("via stream", Contents(L"s"));
}

TEST_F(PlatformFileTest, DeleteOnCloseAndExclusiveSharing) {
  PlatformFile file =
      Open(L"temp", PLATFORM_FILE_CREATE | PLATFORM_FILE_WRITE |
                        PLATFORM_FILE_DELETE_ON_CLOSE |
                        PLATFORM_FILE_SHARE_DELETE |
                        PLATFORM_FILE_EXCLUSIVE_WRITE);
  ASSERT_NE(kInvalidPlatformFileValue, file);
  PlatformFileError error = PLATFORM_FILE_OK;
  EXPECT_EQ(kInvalidPlatformFileValue,
            CreatePlatformFile(folder().Append(L"temp"),
                               PLATFORM_FILE_OPEN | PLATFORM_FILE_WRITE,
                               nullptr, &error));
  EXPECT_EQ(PLATFORM_FILE_ERROR_IN_USE, error);
  EXPECT_TRUE(ClosePlatformFile(file));
  EXPECT_FALSE(PathExists(folder().Append(L"temp")));
}

TEST(PlatformFileErrorTest, LastErrorMapping) {
  const struct {
    DWORD code;
    PlatformFileError expected;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, PLATFORM_FILE_ERROR_NOT_FOUND},
      {ERROR_PATH_NOT_FOUND, PLATFORM_FILE_ERROR_NOT_FOUND},
      {ERROR_TOO_MANY_OPEN_FILES, PLATFORM_FILE_ERROR_TOO_MANY_OPENED},
      {ERROR_ACCESS_DENIED, PLATFORM_FILE_ERROR_ACCESS_DENIED},
      {ERROR_NOT_ENOUGH_MEMORY, PLATFORM_FILE_ERROR_NO_MEMORY},
      {ERROR_OUTOFMEMORY, PLATFORM_FILE_ERROR_NO_MEMORY},
      {ERROR_NOT_READY, PLATFORM_FILE_ERROR_IO},
      {ERROR_SECTOR_NOT_FOUND, PLATFORM_FILE_ERROR_IO},
      {ERROR_DEV_NOT_EXIST, PLATFORM_FILE_ERROR_IO},
      {ERROR_IO_DEVICE, PLATFORM_FILE_ERROR_IO},
      {ERROR_FILE_CORRUPT, PLATFORM_FILE_ERROR_IO},
      {ERROR_DISK_CORRUPT, PLATFORM_FILE_ERROR_IO},
      {ERROR_SHARING_VIOLATION, PLATFORM_FILE_ERROR_IN_USE},
      {ERROR_HANDLE_DISK_FULL, PLATFORM_FILE_ERROR_NO_SPACE},
      {ERROR_DISK_FULL, PLATFORM_FILE_ERROR_NO_SPACE},
      {314, PLATFORM_FILE_ERROR_NO_SPACE},  // disk resources lost
      {ERROR_FILE_EXISTS, PLATFORM_FILE_ERROR_EXISTS},
      {ERROR_USER_MAPPED_FILE, PLATFORM_FILE_ERROR_INVALID_OPERATION},
      {ERROR_INVALID_HANDLE, PLATFORM_FILE_ERROR_FAILED},
      {ERROR_ALREADY_EXISTS, PLATFORM_FILE_ERROR_FAILED},
      {0, PLATFORM_FILE_ERROR_FAILED},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, LastErrorToPlatformFileError(c.code)) << c.code;
}

}  // namespace
}  // namespace base
