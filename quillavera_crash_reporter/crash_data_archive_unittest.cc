#include "quillavera_crash_reporter/crash_data_archive.h"

#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/test_support/file_of_size.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

class CrashZipFileListTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    sources_.data_folder = dir();
    sources_.dump_path = dir() + L"\\dumps\\a.dmp";
    sources_.analysis_path = dir() + L"\\dumps\\r.txt";
  }

  const std::wstring& dir() const { return folder_.path(); }

  void Write(const std::wstring& name, int64_t size) {
    ASSERT_TRUE(MakeFileOfSize(dir() + name, size));
  }

  std::vector<std::wstring> Relative(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> relative;
    for (const std::wstring& path : paths)
      relative.push_back(path.compare(0, dir().size(), dir())
                             ? path
                             : path.substr(dir().size()));
    return relative;
  }

  ScopedTempFolder folder_{L"czl"};
  CrashDataSources sources_;
};

TEST_F(CrashZipFileListTest, ListsInOrderWithTheFullDumpForTheFullMemoryBit) {
  Write(L"\\quillavera.elog", 10);
  Write(L"\\web.log", 10);
  // Full memory with handle data: the full dump goes in too.
  sources_.dump_type = 0x6;
  const CrashZipFileList list = MakeCrashZipFileList(sources_);
  const std::vector<std::wstring> expected = {
      L"\\quillavera.log", L"\\web.log", L"\\app_trace.json", L"\\localdata",
      L"\\dumps\\a.dmp", L"\\dumps\\r.txt", L"\\webdata\\file\\crash_report",
      L"\\ORBI_SYS", L"\\OBQ", L"\\qlvt", L"\\dumps\\a-full.dmp"};
  EXPECT_EQ(expected, Relative(list.paths()));
  const std::vector<std::wstring> forced = {L"\\ORBI_SYS", L"\\OBQ",
                                            L"\\qlvt"};
  EXPECT_EQ(forced, Relative(list.folders()));
  // The archive is not whole without the dump.
  EXPECT_TRUE(list.IsRequired(sources_.dump_path));
  EXPECT_FALSE(list.IsRequired(sources_.analysis_path));
}

// Only once the archive is stored or kept may the dump go.
TEST_F(CrashZipFileListTest, PlacedArchiveSaysWhetherItIsStoredOrKept) {
  const std::wstring name = L"\\crash_data_1.zip";
  ASSERT_TRUE(CreateDirectoryW((dir() + L"\\dumps").c_str(), nullptr));
  Write(name, 10);
  EXPECT_TRUE(PlaceCrashDataArchive(dir(), name, false));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir() + name).c_str()));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesW((dir() + L"\\dumps" + name).c_str()));
  // The dumps folder holds that name already: the archive stays.
  Write(name, 10);
  EXPECT_FALSE(PlaceCrashDataArchive(dir(), name, false));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir() + name).c_str()));
  EXPECT_TRUE(PlaceCrashDataArchive(dir(), name, true));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir() + name).c_str()));
}

TEST_F(CrashZipFileListTest, LogsOnlyWhenPresentAndBelowTheLimit) {
  Write(L"\\quillavera.elog", 52428800);
  sources_.dump_type = 0x1;
  const CrashZipFileList list = MakeCrashZipFileList(sources_);
  const std::vector<std::wstring> expected = {
      L"\\app_trace.json", L"\\localdata", L"\\dumps\\a.dmp",
      L"\\dumps\\r.txt", L"\\webdata\\file\\crash_report", L"\\ORBI_SYS",
      L"\\OBQ", L"\\qlvt"};
  EXPECT_EQ(expected, Relative(list.paths()));

  Write(L"\\quillavera.elog", 52428799);
  sources_.log_encryption = false;
  EXPECT_EQ(L"\\quillavera.elog",
            Relative(MakeCrashZipFileList(sources_).paths())[0]);
}

TEST(CrashDataCollectionTest, EveryEntryButAFolderIsAFile) {
  // Plain, read-only, hidden, archive, normal, and none of these.
  for (unsigned attributes : {0x00u, 0x01u, 0x02u, 0x20u, 0x80u, 0x2021u})
    EXPECT_TRUE(IsCollectedFile(attributes)) << attributes;
  for (unsigned attributes : {0x10u, 0x30u, 0x410u})
    EXPECT_FALSE(IsCollectedFile(attributes)) << attributes;
}

TEST(CrashDataCollectionTest, FileNameFromPath) {
  EXPECT_EQ(L"b/c.log", GetFileNameFromPath(L"C:\\a\\b/c.log"));
  EXPECT_EQ(L"c.log", GetFileNameFromPath(L"a/b/c.log"));
  EXPECT_EQ(L"c.log", GetFileNameFromPath(L"c.log"));
  EXPECT_EQ(L"", GetFileNameFromPath(L"C:\\a\\"));
}

}  // namespace
