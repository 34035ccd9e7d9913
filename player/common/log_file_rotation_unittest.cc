#include "player/common/log_file_rotation.h"

#include <windows.h>

#include <string>
#include <thread>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

class LogFileRotationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    log_ = base::FilePath(folder_.Path(L"quillavera.elog"));
    old_ = base::FilePath(folder_.Path(L"quillavera.old.elog"));
  }

  // A log whose every byte tells its position, so a wrong cut shows.
  std::string WriteLog(int64_t size) {
    std::string bytes(static_cast<size_t>(size), '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    }
    EXPECT_EQ(static_cast<int>(size),
              base::WriteFile(log_, bytes.data(), static_cast<int>(size)));
    return bytes;
  }

  std::string ReadLog() {
    std::string contents;
    EXPECT_TRUE(base::ReadFileToString(log_, &contents));
    return contents;
  }

  ScopedTempFolder folder_{L"rot"};
  base::FilePath log_;
  base::FilePath old_;
};

TEST_F(LogFileRotationTest, CutsBackOnlyPastTheLimit) {
  struct Case {
    int64_t size;
    bool rotated;
  } cases[] = {{kMaxLogFileSize - 1, false},
               {kMaxLogFileSize, false},
               {kMaxLogFileSize + 1, true},
               {kMaxLogFileSize + 4096 * 3 + 17, true}};
  for (const Case& c : cases) {
    std::string original = WriteLog(c.size);
    RotateLogFile(log_);
    std::string after = ReadLog();
    if (c.rotated) {
      EXPECT_TRUE(after == original.substr(original.size() -
                                           kRotatedLogTailSize))
          << c.size;
    } else {
      EXPECT_TRUE(after == original) << c.size;
    }
    EXPECT_FALSE(base::PathExists(old_)) << c.size;
  }
}

TEST_F(LogFileRotationTest, MissingLogIsNoError) {
  RotateLogFile(log_);
  EXPECT_FALSE(base::PathExists(log_));
  EXPECT_FALSE(base::PathExists(old_));
}

bool CopyHalfThenFail(FILE* source, const base::FilePath& target) {
  char block[4096];
  size_t read = fread(block, 1, sizeof(block), source);
  base::WriteFile(target, block, static_cast<int>(read));
  return false;
}

TEST_F(LogFileRotationTest, FailedTailCopyKeepsEveryByte) {
  std::string original = WriteLog(kMaxLogFileSize + 100);
  RotateLogFileWithCopier(log_, &CopyHalfThenFail);
  EXPECT_TRUE(ReadLog() == original);
  EXPECT_FALSE(base::PathExists(old_));
}

TEST_F(LogFileRotationTest, LogThatCannotBeMovedIsLeftAlone) {
  std::string original = WriteLog(kMaxLogFileSize + 1);
  // Another process writing the log without delete sharing pins its name.
  HANDLE writer = ::CreateFileW(log_.value().c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  RotateLogFile(log_);
  ::CloseHandle(writer);
  EXPECT_TRUE(ReadLog() == original);
  EXPECT_FALSE(base::PathExists(old_));

  // A folder in the way of the moved-aside name.
  ASSERT_TRUE(base::CreateDirectory(old_.Append(L"inside")));
  RotateLogFile(log_);
  EXPECT_TRUE(ReadLog() == original);
  EXPECT_TRUE(base::DirectoryExists(old_.Append(L"inside")));
}

TEST_F(LogFileRotationTest, WaitsForAWriterHoldingTheLogMutex) {
  std::string original = WriteLog(kMaxLogFileSize + 1);
  HANDLE mutex =
      ::CreateMutexW(nullptr, FALSE, LogFileMutexName(log_).c_str());
  ASSERT_NE(nullptr, mutex);
  HANDLE holding = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const std::string record = "[last record]\n";
  std::thread writer([&] {
    ::WaitForSingleObject(mutex, INFINITE);
    ::SetEvent(holding);
    ::Sleep(300);
    // The record a logger appends while it holds the mutex.
    base::AppendToFile(log_, record.data(), static_cast<int>(record.size()));
    ::ReleaseMutex(mutex);
  });
  ::WaitForSingleObject(holding, INFINITE);
  RotateLogFile(log_);
  writer.join();
  std::string expected = original + record;
  EXPECT_TRUE(ReadLog() == expected.substr(expected.size() -
                                           kRotatedLogTailSize));
  ::CloseHandle(holding);
  ::CloseHandle(mutex);
}

TEST(LogFileMutexNameTest, MatchesTheLoggersName) {
  EXPECT_EQ(L"Global\\C:/Users/x/quillavera.elog",
            LogFileMutexName(base::FilePath(L"C:\\Users\\x\\quillavera.elog")));
}

}  // namespace
