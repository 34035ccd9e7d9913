#include "quillavera_crash_reporter/startup_housekeeping.h"

#include <windows.h>

#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "base/time.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "testing/crash_common/temp_app_data.h"

namespace {

bool UnknownAppData(std::wstring*) { return false; }

class HousekeepingTest : public TempAppDataTest {
 protected:
  // Unlike the base fixture's, makes the file's folder first.
  static void Write(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(base::CreateDirectory(base::FilePath(path).DirName()));
    ASSERT_EQ(static_cast<int>(bytes.size()),
              base::WriteFile(base::FilePath(path), bytes.data(),
                              static_cast<int>(bytes.size())));
  }
  static std::string Read(const std::wstring& path) {
    std::string bytes;
    EXPECT_TRUE(base::ReadFileToString(base::FilePath(path), &bytes));
    return bytes;
  }
};

TEST_F(HousekeepingTest, PathsHangOffTheLocalAppDataFolder) {
  const std::wstring data = dir_.value() + L"\\Kestrix\\QuillaVera";
  EXPECT_EQ(dir_.value() + L"\\Kestrix", GetMakerDataFolder());
  EXPECT_EQ(data, GetLocalDataFolder());
  EXPECT_EQ(data + L"\\dumps", GetDumpsFolder());
  EXPECT_EQ(data + L"\\Log\\bilog.elog", GetBiLogPath());
  EXPECT_EQ(data + L"\\Log\\bilog.elog.backup", GetBiLogBackupPath());
  EXPECT_EQ(data + L"\\dumps\\dravenko", GetDumpsMarkerPath());
  EXPECT_EQ(L"\\dump_analyse_result.txt", GetAnalysisFileName());
  EXPECT_EQ(L"\\BI.zip", GetBiZipPath());
  std::wstring zip = MakeCrashDataZipPath();
  EXPECT_EQ(0u, zip.find(L"\\crash_data_"));
  EXPECT_EQ(zip.size() - 4, zip.find(L".zip"));
  EXPECT_EQ(L"\\\\.\\pipe\\QuillaveraCrashServices\\Server", GetCrashPipeName());
  EXPECT_EQ(L"quillaveraCrashServerEventHandler", GetReadyEventName());
  EXPECT_EQ(52428800, GetMaxCollectedLogSize());
  EXPECT_TRUE(CheckDataFolderAvailable());

  SetAppDataFolderQueryForTesting(&UnknownAppData);
  for (const std::wstring& path :
       {GetMakerDataFolder(), GetLocalDataFolder(), GetDumpsFolder(),
        GetBiLogPath(), GetBiLogBackupPath(), GetDumpsMarkerPath()}) {
    EXPECT_EQ(L"", path);
  }
  EXPECT_FALSE(CheckDataFolderAvailable());
}

TEST_F(HousekeepingTest, FileExistsFindsFilesAndFolders) {
  EXPECT_TRUE(FileExists(dir_.value()));
  EXPECT_FALSE(FileExists(dir_.value() + L"\\missing"));
  EXPECT_FALSE(FileExists(L""));
  Write(dir_.value() + L"\\f", "x");
  EXPECT_TRUE(FileExists(dir_.value() + L"\\f"));
}

// An earlier run ended while uploading: its archives go where the
// retention finds them; nothing else of the data folder moves.
TEST_F(HousekeepingTest, StaleArchivesMoveIntoTheDumpsFolder) {
  const std::wstring data = dir_.value();
  const std::wstring dumps = data + L"\\dumps";
  Write(data + L"\\crash_data_1700000000.zip", "PK stale");
  Write(data + L"\\crash_data_17a.zip", "not ours");
  Write(data + L"\\crash_data_.zip", "not ours");
  Write(data + L"\\crash_data_5.zip.part", "not ours");
  ASSERT_TRUE(
      base::CreateDirectory(base::FilePath(data + L"\\crash_data_6.zip")));
  // Taken in the dumps folder: the archive stays where it is.
  Write(data + L"\\crash_data_7.zip", "second");
  Write(dumps + L"\\crash_data_7.zip", "first");
  Write(data + L"\\BI.zip", "PK plain records");
  SweepStaleArchivesIn(data);
  EXPECT_EQ("PK stale", Read(dumps + L"\\crash_data_1700000000.zip"));
  EXPECT_FALSE(FileExists(data + L"\\crash_data_1700000000.zip"));
  for (const wchar_t* left : {L"\\crash_data_17a.zip", L"\\crash_data_.zip",
                              L"\\crash_data_5.zip.part", L"\\crash_data_6.zip"})
    EXPECT_TRUE(FileExists(data + left)) << left;
  EXPECT_EQ("second", Read(data + L"\\crash_data_7.zip"));
  EXPECT_EQ("first", Read(dumps + L"\\crash_data_7.zip"));
  EXPECT_FALSE(FileExists(data + L"\\BI.zip"));
  EXPECT_FALSE(FileExists(dumps + L"\\crash_data_6.zip"));
}

TEST_F(HousekeepingTest, BackupJoinsAnExistingBiLogByteForByte) {
  const std::string old_records("\x01\x80\xffold records\n", 15);
  const std::string backup_records("\x00\x7fnew\r\nrecords", 14);
  Write(GetBiLogPath(), old_records);
  Write(GetBiLogBackupPath(), backup_records);
  RotateBiLog();
  EXPECT_TRUE(Read(GetBiLogPath()) == old_records + backup_records);
  EXPECT_FALSE(FileExists(GetBiLogBackupPath()));
}

TEST_F(HousekeepingTest, BackupAloneBecomesTheBiLog) {
  Write(GetBiLogBackupPath(), "backup");
  RotateBiLog();
  EXPECT_EQ("backup", Read(GetBiLogPath()));
  EXPECT_FALSE(FileExists(GetBiLogBackupPath()));
}

TEST_F(HousekeepingTest, NoBackupLeavesTheBiLogAlone) {
  Write(GetBiLogPath(), "records");
  RotateBiLog();
  EXPECT_EQ("records", Read(GetBiLogPath()));
}

TEST_F(HousekeepingTest, BiLogInUseKeepsBothFiles) {
  Write(GetBiLogPath(), "records");
  Write(GetBiLogBackupPath(), "backup");
  HANDLE holder = ::CreateFileW(GetBiLogPath().c_str(), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  RotateBiLog();
  ::CloseHandle(holder);
  EXPECT_EQ("records", Read(GetBiLogPath()));
  EXPECT_EQ("backup", Read(GetBiLogBackupPath()));
}

void SetAge(const std::wstring& path, base::Time now, base::TimeDelta age) {
  HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  FILETIME when = (now - age).ToFileTime();
  EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &when));
  ::CloseHandle(file);
}

TEST_F(HousekeepingTest, OldDumpsGoMarkedOnesSooner) {
  const base::Time now = base::Time::Now();
  const base::TimeDelta day = base::TimeDelta::FromDays(1);
  const base::TimeDelta minute = base::TimeDelta::FromMinutes(1);
  const struct {
    const wchar_t* name;
    base::TimeDelta age;
    bool kept;
  } cases[] = {
      {L"a.dmp", day * 7 + minute, false},
      {L"b.dmp", day * 7, false},
      {L"c.dmp", day * 7 - minute, true},
      {L"d.dmp", day * 6 + base::TimeDelta::FromHours(23), true},
      {L"dravenko", day * 5, false},
      {L"x-dravenko.dmp", day * 5 + minute, false},
      {L"y-dravenko.dmp", day * 5 - minute, true},
      {L"Dravenko.dmp", day * 6, true},  // the mark is case-sensitive
      {L"new.dmp", base::TimeDelta(), true},
  };
  const std::wstring dumps = GetDumpsFolder();
  for (const auto& c : cases) {
    Write(dumps + L"\\" + c.name, "dump");
    SetAge(dumps + L"\\" + c.name, now, c.age);
  }
  // A folder is no dump, however old.
  ASSERT_TRUE(base::CreateDirectory(base::FilePath(dumps + L"\\sub")));
  SetAge(dumps + L"\\sub", now, day * 30);

  DeleteOldDumpsIn(dumps, now);
  for (const auto& c : cases) {
    EXPECT_EQ(c.kept, FileExists(dumps + L"\\" + c.name)) << c.name;
  }
  EXPECT_TRUE(FileExists(dumps + L"\\sub"));
}

// Without a data folder every path is "" (see above), which keeps the BI
// stage off every file by itself. An empty dumps folder, though, would be
// the current directory: the dump purge must be skipped.
TEST_F(HousekeepingTest, UnknownDataFolderSkipsTheDumpPurge) {
  base::FilePath original;
  ASSERT_TRUE(base::GetCurrentDirectory(&original));
  ASSERT_TRUE(base::SetCurrentDirectory(dir_));
  const std::wstring old_file = dir_.value() + L"\\old.dmp";
  Write(old_file, "dump");
  SetAge(old_file, base::Time::Now(), base::TimeDelta::FromDays(30));

  SetAppDataFolderQueryForTesting(&UnknownAppData);
  DeleteOldDumps();
  EXPECT_TRUE(FileExists(old_file));
  ASSERT_TRUE(base::SetCurrentDirectory(original));
}

TEST(ReadyEventTest, SignalledWhenCreatedBeforehand) {
  HANDLE waiting = ::CreateEventW(nullptr, TRUE, FALSE,
                                  L"quillaveraCrashServerEventHandler");
  ASSERT_NE(nullptr, waiting);
  SignalReadyEvent();
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(waiting, 0));
  ::CloseHandle(waiting);
}

// The rule on an event of this test's own, which no other process can have
// made: set only when it already existed. The reporter's handle is kept, so
// a wrongly set event would still be there to see.
TEST(ReadyEventTest, SetOnlyWhenItAlreadyExisted) {
  const std::wstring name =
      L"qv_ready_event_test_" + std::to_wstring(::GetCurrentProcessId());
  base::win::ScopedHandle made_alone = SignalEventIfItExisted(name);
  ASSERT_TRUE(made_alone.IsValid());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
            ::WaitForSingleObject(made_alone.Get(), 0));

  // Now it exists (the handle above keeps it): the next call sets it.
  base::win::ScopedHandle second = SignalEventIfItExisted(name);
  ASSERT_TRUE(second.IsValid());
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(made_alone.Get(), 0));
}

}  // namespace
