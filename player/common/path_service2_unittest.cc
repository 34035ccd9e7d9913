#include "player/common/path_service2.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/base_paths.h"
#include "base/file_path.h"
#include "base/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "gtest/gtest.h"
#include "player/common/log_file_rotation.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

// Every test points DATA and STORE at folders of its own, so no test
// searches drives.
base::FilePath g_app_data;
int g_queries = 0;

bool FakeLocalAppData(base::FilePath* folder) {
  ++g_queries;
  *folder = g_app_data;
  return true;
}

bool FailingLocalAppData(base::FilePath*) {
  ++g_queries;
  return false;
}

class PathService2Test : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    g_app_data = dir().Append(L"appdata");
    data_ = g_app_data.Append(L"Kestrix").Append(L"QuillaVera");
    SetLocalAppDataQueryForTesting(&FakeLocalAppData);
    g_queries = 0;
    // An existing storage folder keeps every key away from the drive search.
    ASSERT_TRUE(SetStoragePath(dir().Append(L"default_store")));
  }
  void TearDown() override { SetLocalAppDataQueryForTesting(nullptr); }

  base::FilePath dir() const { return base::FilePath(folder_.path()); }

  std::wstring Get(int key) {
    base::FilePath path;
    EXPECT_TRUE(PathProviderGet(key, &path)) << key;
    return path.value();
  }

  ScopedTempFolder folder_{L"ps2"};
  base::FilePath data_;
};

TEST_F(PathService2Test, DataFolderIsFoundOnceAndNotCreated) {
  EXPECT_EQ(data_.value(), Get(PATH_DATA));
  base::FilePath again;
  GetLocalDataDir(&again);
  EXPECT_EQ(data_.value(), again.value());
  EXPECT_EQ(1, g_queries);
  EXPECT_FALSE(base::PathExists(data_));
}

TEST_F(PathService2Test, SystemDataFolderIsUnderLocalAppData) {
  SetLocalAppDataQueryForTesting(nullptr);
  wchar_t local[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA,
                                           nullptr, 0, local)));
  EXPECT_EQ(std::wstring(local) + L"\\Kestrix\\QuillaVera", Get(PATH_DATA));
}

TEST_F(PathService2Test, UnknownAppDataFallsBackToExeFolderUncached) {
  SetLocalAppDataQueryForTesting(&FailingLocalAppData);
  base::FilePath exe_dir;
  ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &exe_dir));
  std::wstring expected = exe_dir.Append(L"Kestrix\\QuillaVera").value();
  EXPECT_EQ(expected, Get(PATH_DATA));
  EXPECT_EQ(expected, Get(PATH_DATA));
  EXPECT_EQ(2, g_queries);
  // Once the folder is known it is used.
  SetLocalAppDataQueryForTesting(&FakeLocalAppData);
  EXPECT_EQ(data_.value(), Get(PATH_DATA));
}

TEST_F(PathService2Test, DataKeysNameTheirFiles) {
  const struct {
    int key;
    const wchar_t* suffix;
    bool created;
  } cases[] = {
      {PATH_DATA_TEMP, L"Temp", false},
      {PATH_TEMP_IMAGE, L"TempImage", true},
      {PATH_LOG, L"Log", false},
      {PATH_LOG_UPLOAD, L"Log\\Upload", false},
      {PATH_TEMP_INDEX, L"Temp\\index.dat", false},
      {PATH_STATIS, L"statis.dat", false},
      {PATH_BI_LOG, L"Log\\bilog.elog", false},
      {PATH_UPDATE_INFO, L"update.info", false},
      {PATH_WEB_DB, L"Library\\webdb.dat", false},
      {PATH_AD, L"ad", true},
      {PATH_DISCERN, L"discern", true},
      {PATH_PERFORMANCE, L"Performance", true},
      {PATH_WASM, L"wasm", true},
      {PATH_WASM_SDK, L"wasm\\SDK", true},
      {PATH_WASM_RESOURCE, L"wasm\\resource", true},
      {PATH_AIO_RESOURCE, L"aioresource", false},
      {PATH_CACHE_RESOURCE, L"cacheresource", false},
      {PATH_STATICS_INDEX, L"Statics\\index.dat", false},
      {PATH_STATICS, L"Statics", false},
      {PATH_CACHE, L"Cache", false},
      {PATH_CACHE_CACHE, L"Cache\\Cache", false},
      {PATH_CACHE_META, L"Cache\\Meta", false},
  };
  for (const auto& c : cases) {
    base::FilePath expected = data_.Append(c.suffix);
    EXPECT_EQ(expected.value(), Get(c.key)) << c.key;
    EXPECT_EQ(c.created, base::DirectoryExists(expected)) << c.key;
  }
  // The web database's folder is made, not the file.
  EXPECT_TRUE(base::DirectoryExists(data_.Append(L"Library")));
  EXPECT_FALSE(base::PathExists(data_.Append(L"Library\\webdb.dat")));
}

TEST_F(PathService2Test, KeysOutsideTheTableAreFalse) {
  base::FilePath path;
  for (int key : {13, 14, 32, 100, -1}) {
    EXPECT_FALSE(PathProviderGet(key, &path)) << key;
  }
}

TEST_F(PathService2Test, HiddenTempFolderIsMarkedHiddenAndSystem) {
  std::wstring temp_d = Get(PATH_TEMP_D);
  EXPECT_EQ(data_.Append(L"TempD").value(), temp_d);
  DWORD attributes = ::GetFileAttributesW(temp_d.c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_SYSTEM);
}

TEST_F(PathService2Test, FailedFolderCreationStillAnswers) {
  // A file where DATA should be makes every folder creation fail.
  ASSERT_TRUE(base::CreateDirectory(data_.DirName()));
  ASSERT_EQ(1, base::WriteFile(data_, "x", 1));
  EXPECT_EQ(data_.Append(L"ad").value(), Get(PATH_AD));
  EXPECT_FALSE(base::DirectoryExists(data_.Append(L"ad")));
}

TEST_F(PathService2Test, StorageKeysUseTheChosenFolders) {
  base::FilePath store = dir().Append(L"store");
  ASSERT_TRUE(SetStoragePath(store));
  EXPECT_TRUE(base::DirectoryExists(store));
  EXPECT_EQ(store.value(), Get(PATH_STORAGE));
  EXPECT_EQ(store.Append(L"Temp").value(), Get(PATH_STORAGE_TEMP));
  EXPECT_EQ(store.Append(L"Temp\\c-song.download").value(),
            GetDownloadTempPath(L"song").value());
  EXPECT_EQ(store.Append(L"Temp\\l-song.download").value(),
            GetLyricsDownloadTempPath(L"song").value());
  EXPECT_EQ(store.Append(L"Temp\\m-song.download").value(),
            GetMediaDownloadTempPath(L"song").value());

  // Library: DATA's, made on demand, until the storage folder has one.
  EXPECT_EQ(data_.Append(L"Library").value(), Get(PATH_LIBRARY));
  EXPECT_TRUE(base::DirectoryExists(data_.Append(L"Library")));
  ASSERT_TRUE(base::CreateDirectory(store.Append(L"Library")));
  EXPECT_EQ(store.Append(L"Library").value(), Get(PATH_LIBRARY));

  // The download folder is made; the notice is missing beside the test.
  base::FilePath vip = store.Append(L"VipSongsDownload");
  EXPECT_EQ(vip.value(), Get(PATH_VIP_SONGS));
  EXPECT_TRUE(base::DirectoryExists(vip));
  base::FilePath notice(Get(PATH_VIP_SONGS_NOTICE));
  EXPECT_EQ(vip.value(), notice.DirName().value());
  EXPECT_EQ(L".txt", notice.Extension());
  EXPECT_FALSE(base::PathExists(notice));

  // With the notice among the program's resources it is copied in.
  base::FilePath exe_dir = dir().Append(L"exe");
  ASSERT_TRUE(base::CreateDirectory(exe_dir.Append(L"resource")));
  ASSERT_EQ(6, base::WriteFile(exe_dir.Append(L"resource\\tyv_notice"),
                               "notice", 6));
  ASSERT_TRUE(base::PathService::Override(base::DIR_EXE, exe_dir));
  Get(PATH_VIP_SONGS);
  EXPECT_TRUE(base::PathService::RemoveOverride(base::DIR_EXE));
  std::string copied;
  EXPECT_TRUE(base::ReadFileToString(notice, &copied));
  EXPECT_EQ("notice", copied);

  base::FilePath cache = dir().Append(L"cache");
  ASSERT_TRUE(SetCachePath(cache));
  EXPECT_EQ(cache.value(), Get(PATH_CACHE));
  EXPECT_EQ(cache.Append(L"Meta").value(), Get(PATH_CACHE_META));
}

TEST_F(PathService2Test, UserFoldersMustBeAbsoluteOnAFixedDrive) {
  for (const wchar_t* bad : {L"", L"relative\\store", L"\\\\server\\share\\x",
                             L"C:store"}) {
    EXPECT_FALSE(SetStoragePath(base::FilePath(bad))) << bad;
    EXPECT_FALSE(SetCachePath(base::FilePath(bad))) << bad;
  }
}

TEST(FileNameHelpersTest, SanitizeFileName) {
  EXPECT_EQ(L"a_b_c", SanitizeFileName(L"a\tb\x01" L"c"));
  EXPECT_EQ(std::wstring(L"\xFF3C\xFF0F\xFF0A\xFF1F\xFF1C\xFF1E\xFF1A\xFF02"
                         L"\xFF5C"),
            SanitizeFileName(L"\\/*?<>:\"|"));
  EXPECT_EQ(L"Song - Name (1).mp3", SanitizeFileName(L"Song - Name (1).mp3"));
}

TEST(FileNameHelpersTest, HashedFilePath) {
  const std::wstring name = L"AB34567890123456789012345678901234567890";
  base::FilePath path;
  ASSERT_TRUE(GetHashedFilePath(name, base::FilePath(L"C:\\cache"), &path));
  EXPECT_EQ(L"C:\\cache\\AB\\" + name, path.value());
  ASSERT_TRUE(GetHashedFilePath(name, base::FilePath(), &path));
  EXPECT_EQ(L"AB\\" + name, path.value());
  for (const std::wstring& bad :
       {name.substr(1), name + L"0", L"ab" + name.substr(2),
        L"G1" + name.substr(2)}) {
    EXPECT_FALSE(GetHashedFilePath(bad, base::FilePath(), &path)) << bad;
  }
}

// Last: the logging facility is set up once per process.
TEST_F(PathService2Test, InitLogFileRotatesAndLogsIntoTheDataFolder) {
  ASSERT_TRUE(base::CreateDirectory(data_));
  base::FilePath log = data_.Append(L"unit.elog");
  std::string big(static_cast<size_t>(kMaxLogFileSize + 1), 'x');
  big.replace(big.size() - 5, 5, "tail\n");
  ASSERT_EQ(static_cast<int>(big.size()),
            base::WriteFile(log, big.data(), static_cast<int>(big.size())));

  ASSERT_TRUE(InitLogFile(L"unit"));
  LOG(INFO) << "after set-up";
  base::CloseLogFile();

  int64_t size = 0;
  ASSERT_TRUE(base::GetFileSize(log, &size));
  EXPECT_GT(size, kRotatedLogTailSize);
  EXPECT_LT(size, kRotatedLogTailSize + 1000);
  EXPECT_FALSE(base::PathExists(data_.Append(L"unit.old.elog")));
  EXPECT_EQ(log.value(), base::GetLogFileFullPath());
}

}  // namespace
