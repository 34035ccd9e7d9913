#include "base/file_util.h"

#include <windows.h>

#include <io.h>
#include <stdio.h>

#include <string>

#include "base/file_enumerator.h"
#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace base {
namespace {

// A fresh folder under the system's temporary folder, removed afterwards.
class FileUtilTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    ASSERT_GT(folder_.path().length(), 3u);
  }
  // Deleting the whole tree is under test too, not left to the helper.
  void TearDown() override { EXPECT_TRUE(Delete(dir(), true)); }

  FilePath dir() const { return FilePath(folder_.path()); }
  FilePath Path(const wchar_t* name) const { return dir().Append(name); }

  void Write(const FilePath& path, const std::string& data) {
    ASSERT_EQ(static_cast<int>(data.size()),
              WriteFile(path, data.data(), static_cast<int>(data.size())));
  }

  std::string Read(const FilePath& path) {
    std::string contents;
    EXPECT_TRUE(ReadFileToString(path, &contents));
    return contents;
  }

  ScopedTempFolder folder_{L"file_util_test"};
};

TEST_F(FileUtilTest, ExistenceAndInformation) {
  const FilePath file = Path(L"file.txt");
  EXPECT_FALSE(PathExists(file));
  Write(file, "12345");
  EXPECT_TRUE(PathExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(DirectoryExists(dir()));
  EXPECT_TRUE(PathIsWritable(dir()));
  EXPECT_FALSE(PathIsWritable(Path(L"missing")));

  PlatformFileInfo info;
  ASSERT_TRUE(GetFileInfo(file, &info));
  EXPECT_EQ(5, info.size);
  EXPECT_FALSE(info.is_directory);
  EXPECT_FALSE(info.last_modified.is_null());
  ASSERT_TRUE(GetFileInfo(dir(), &info));
  EXPECT_TRUE(info.is_directory);
  EXPECT_FALSE(GetFileInfo(Path(L"missing"), &info));

  int64_t size = -1;
  EXPECT_TRUE(GetFileSize(file, &size));
  EXPECT_EQ(5, size);
  EXPECT_FALSE(GetFileSize(Path(L"missing"), &size));
}

TEST_F(FileUtilTest, CurrentAndTemporaryFolders) {
  FilePath original;
  ASSERT_TRUE(GetCurrentDirectory(&original));
  ASSERT_TRUE(SetCurrentDirectory(dir()));
  FilePath current;
  ASSERT_TRUE(GetCurrentDirectory(&current));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(dir().value(), current.value()));
  EXPECT_FALSE(current.EndsWithSeparator());
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(
                   dir().Append(L"a").value(),
                   MakeAbsoluteFilePath(FilePath(L"a")).value()));
  EXPECT_FALSE(SetCurrentDirectory(Path(L"missing")));
  ASSERT_TRUE(SetCurrentDirectory(original));

  FilePath temp;
  ASSERT_TRUE(GetTempDir(&temp));
  EXPECT_FALSE(temp.EndsWithSeparator());
  EXPECT_TRUE(DirectoryExists(temp));
}

TEST_F(FileUtilTest, MaximumPathComponentLength) {
  const int length = GetMaximumPathComponentLength(dir());
  const int room =
      MAX_PATH - 1 - (static_cast<int>(dir().value().length()) + 1);
  EXPECT_GT(length, 0);
  EXPECT_LE(length, room);
  EXPECT_EQ(room < 255 ? room : 255, length);
}

TEST_F(FileUtilTest, CreateDirectory) {
  const FilePath nested = Path(L"a\\b\\c");
  PlatformFileError error = PLATFORM_FILE_OK;
  EXPECT_TRUE(CreateDirectoryAndGetError(nested, &error));
  EXPECT_TRUE(DirectoryExists(nested));
  EXPECT_TRUE(CreateDirectory(nested));  // already there

  const FilePath file = Path(L"file");
  Write(file, "x");
  EXPECT_FALSE(CreateDirectoryAndGetError(file, &error));
  EXPECT_EQ(PLATFORM_FILE_ERROR_NOT_A_DIRECTORY, error);
  error = PLATFORM_FILE_OK;
  EXPECT_FALSE(CreateDirectoryAndGetError(file.Append(L"below"), &error));
  EXPECT_EQ(PLATFORM_FILE_ERROR_NOT_A_DIRECTORY, error);
}

TEST_F(FileUtilTest, DeleteFilesAndFolders) {
  const FilePath folder = Path(L"folder");
  ASSERT_TRUE(CreateDirectory(folder.Append(L"inner")));
  Write(folder.Append(L"inner\\file.txt"), "x");
  EXPECT_FALSE(Delete(folder, false));
  EXPECT_TRUE(PathExists(folder.Append(L"inner\\file.txt")));
  EXPECT_FALSE(Delete(folder.Append(L"*"), true));
  EXPECT_FALSE(Delete(folder.Append(L"inner\\fil?.txt"), false));
  EXPECT_TRUE(PathExists(folder.Append(L"inner\\file.txt")));
  EXPECT_TRUE(Delete(folder.Append(L"missing.txt"), false));
  EXPECT_TRUE(Delete(folder, true));
  EXPECT_FALSE(PathExists(folder));

  // Only scheduled: the file stays until the next start of the system.
  const FilePath later = Path(L"later.txt");
  Write(later, "x");
  EXPECT_TRUE(DeleteAfterReboot(later));
  EXPECT_TRUE(PathExists(later));

  // 260 units or more: refused before any system call.
  std::wstring long_name(MAX_PATH, L'x');
  EXPECT_FALSE(Delete(FilePath(long_name), true));
  EXPECT_FALSE(DeleteAfterReboot(FilePath(long_name)));
}

TEST_F(FileUtilTest, CopyAndMoveFiles) {
  const FilePath from = Path(L"from.txt");
  const FilePath to = Path(L"to.txt");
  Write(from, "first");
  Write(to, "old");
  EXPECT_TRUE(CopyFile(from, to));  // overwrites
  EXPECT_EQ("first", Read(to));
  EXPECT_FALSE(CopyFile(from, Path(L"a\\..\\b.txt")));
  EXPECT_FALSE(PathExists(Path(L"b.txt")));

  const FilePath moved = Path(L"moved.txt");
  EXPECT_TRUE(Move(from, moved));
  EXPECT_FALSE(PathExists(from));
  EXPECT_EQ("first", Read(moved));
  EXPECT_TRUE(Move(moved, to));  // replaces
  EXPECT_EQ("first", Read(to));
  EXPECT_FALSE(Move(Path(L"x\\..\\to.txt"), from));
  EXPECT_TRUE(PathExists(to));
}

TEST_F(FileUtilTest, ReplaceFile) {
  const FilePath from = Path(L"from.txt");
  const FilePath to = Path(L"to.txt");
  Write(from, "new");
  EXPECT_TRUE(ReplaceFile(from, to, nullptr));  // target missing
  EXPECT_EQ("new", Read(to));
  Write(from, "newer");
  EXPECT_TRUE(ReplaceFile(from, to, nullptr));
  EXPECT_EQ("newer", Read(to));
  EXPECT_FALSE(PathExists(from));
  PlatformFileError error = PLATFORM_FILE_OK;
  EXPECT_FALSE(ReplaceFile(Path(L"missing"), to, &error));
  EXPECT_EQ(PLATFORM_FILE_ERROR_NOT_FOUND, error);
  EXPECT_EQ("newer", Read(to));
}

TEST_F(FileUtilTest, FolderMoveKeepsTheSourceUnlessTheCopySucceeded) {
  const FilePath source = Path(L"source");
  ASSERT_TRUE(CreateDirectory(source.Append(L"sub")));
  Write(source.Append(L"sub\\data.txt"), "precious");

  // A file stands where the folder should go: the copy fails, and the
  // source must survive.
  const FilePath blocker = Path(L"blocker");
  Write(blocker, "in the way");
  EXPECT_FALSE(CopyAndDeleteDirectory(source, blocker));
  EXPECT_EQ("precious", Read(source.Append(L"sub\\data.txt")));
  EXPECT_EQ("in the way", Read(blocker));

  // The move cannot replace a folder, and the copy would land on a file
  // of the source's name inside it.
  const FilePath occupied = Path(L"occupied");
  ASSERT_TRUE(CreateDirectory(occupied));
  Write(occupied.Append(L"source"), "a file");
  EXPECT_FALSE(MoveUnsafe(source, occupied));
  EXPECT_EQ("precious", Read(source.Append(L"sub\\data.txt")));
  EXPECT_EQ("a file", Read(occupied.Append(L"source")));

  // Into an existing folder: the copy goes inside it.
  const FilePath holder = Path(L"holder");
  ASSERT_TRUE(CreateDirectory(holder));
  Write(holder.Append(L"other.txt"), "other");
  EXPECT_TRUE(CopyAndDeleteDirectory(source, holder));
  EXPECT_FALSE(PathExists(source));
  EXPECT_EQ("precious", Read(holder.Append(L"source\\sub\\data.txt")));
  ASSERT_TRUE(MoveUnsafe(holder.Append(L"source"), source));

  const FilePath copied = Path(L"copied");
  EXPECT_TRUE(CopyAndDeleteDirectory(source, copied));
  EXPECT_FALSE(PathExists(source));
  EXPECT_EQ("precious", Read(copied.Append(L"sub\\data.txt")));

  const FilePath moved = Path(L"moved");
  EXPECT_TRUE(MoveUnsafe(copied, moved));
  EXPECT_FALSE(PathExists(copied));
  EXPECT_EQ("precious", Read(moved.Append(L"sub\\data.txt")));
}

TEST_F(FileUtilTest, CopyDirectory) {
  const FilePath source = Path(L"source");
  ASSERT_TRUE(CreateDirectory(source.Append(L"sub")));
  Write(source.Append(L"top.txt"), "top");
  Write(source.Append(L"sub\\below.txt"), "below");

  const FilePath flat = Path(L"flat");
  EXPECT_TRUE(CopyDirectory(source, flat, false));
  EXPECT_EQ("top", Read(flat.Append(L"top.txt")));
  EXPECT_FALSE(PathExists(flat.Append(L"sub\\below.txt")));

  const FilePath deep = Path(L"deep");
  EXPECT_TRUE(CopyDirectory(source, deep, true));
  EXPECT_EQ("below", Read(deep.Append(L"sub\\below.txt")));
  EXPECT_TRUE(PathExists(source.Append(L"sub\\below.txt")));
}

TEST_F(FileUtilTest, ReadFileToString) {
  const FilePath empty = Path(L"empty");
  Write(empty, "");
  std::string contents = "kept";
  EXPECT_TRUE(ReadFileToString(empty, &contents));
  EXPECT_EQ("kept", contents);

  const FilePath file = Path(L"file");
  Write(file, "abc");
  EXPECT_TRUE(ReadFileToString(file, &contents));
  EXPECT_EQ("keptabc", contents);  // appended, not replaced
  EXPECT_TRUE(ReadFileToString(file, nullptr));
  EXPECT_FALSE(ReadFileToString(Path(L"missing"), &contents));
  EXPECT_FALSE(ReadFileToString(Path(L"x\\..\\file"), &contents));
  EXPECT_EQ("keptabc", contents);
}

TEST_F(FileUtilTest, WholeFileReadsAndWrites) {
  const FilePath file = Path(L"file");
  EXPECT_EQ(-1, AppendToFile(file, "x", 1));  // must exist
  EXPECT_FALSE(PathExists(file));
  EXPECT_EQ(3, WriteFile(file, "abc", 3));
  EXPECT_EQ(2, AppendToFile(file, "de", 2));
  char buffer[8] = {};
  EXPECT_EQ(5, ReadFile(file, buffer, 5));
  EXPECT_EQ("abcde", std::string(buffer, 5));
  EXPECT_EQ(-1, ReadFile(file, buffer, 6));  // fewer bytes than asked
  EXPECT_EQ(-1, ReadFile(Path(L"missing"), buffer, 1));

  // Negative sizes are refused without touching the file.
  EXPECT_EQ(-1, WriteFile(file, "abc", -1));
  EXPECT_EQ(-1, AppendToFile(file, "abc", -1));
  EXPECT_EQ(-1, ReadFile(file, buffer, -1));
  EXPECT_EQ("abcde", Read(file));
  EXPECT_EQ(-1, WriteFile(Path(L"new"), "abc", -5));
  EXPECT_FALSE(PathExists(Path(L"new")));

  EXPECT_EQ(0, WriteFile(file, "", 0));  // truncates
  int64_t size = -1;
  EXPECT_TRUE(GetFileSize(file, &size));
  EXPECT_EQ(0, size);
}

TEST_F(FileUtilTest, StreamsAndTruncation) {
  EXPECT_TRUE(CloseFile(nullptr));
  EXPECT_FALSE(TruncateFile(nullptr));
  const FilePath file = Path(L"file");
  FILE* stream = OpenFile(file, "wb+");
  ASSERT_TRUE(stream);
  // Shared: another open of the same file succeeds meanwhile.
  FILE* second = OpenFile(file, "rb");
  EXPECT_TRUE(second);
  EXPECT_TRUE(CloseFile(second));
  fputs("0123456789", stream);
  fseek(stream, 4, SEEK_SET);
  EXPECT_TRUE(TruncateFile(stream));
  EXPECT_TRUE(CloseFile(stream));
  EXPECT_EQ("0123", Read(file));
  EXPECT_EQ(nullptr, OpenFile(Path(L"missing\\x"), "rb"));
}

TEST_F(FileUtilTest, TruncationBeyondTwoGibibytes) {
  const FilePath file = Path(L"large");
  const int64_t kLength = 3LL << 30;
  const int64_t kCut = (5LL << 30) / 2;
  {
    HANDLE handle = ::CreateFileW(file.value().c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    LARGE_INTEGER end;
    end.QuadPart = kLength;
    EXPECT_TRUE(::SetFilePointerEx(handle, end, nullptr, FILE_BEGIN));
    EXPECT_TRUE(::SetEndOfFile(handle));
    ::CloseHandle(handle);
  }
  FILE* stream = OpenFile(file, "rb+");
  ASSERT_TRUE(stream);
  ASSERT_EQ(0, _fseeki64(stream, kCut, SEEK_SET));
  EXPECT_TRUE(TruncateFile(stream));
  EXPECT_TRUE(CloseFile(stream));
  int64_t size = -1;
  EXPECT_TRUE(GetFileSize(file, &size));
  EXPECT_EQ(kCut, size);
}

TEST_F(FileUtilTest, ContentsEqual) {
  struct Case {
    const char* a;
    const char* b;
    bool binary_equal;
    bool text_equal;
  };
  const std::string block(5000, 'q');
  const Case cases[] = {
      {"", "", true, true},
      {"abc", "abc", true, true},
      {"abc", "abd", false, false},
      {"abc", "abcd", false, false},
      {"a\r\nb\r\n", "a\nb\n", false, true},
      {"a\nb", "a\nb\n", false, false},
      {"a\n\nb", "a\nb", false, false},
  };
  for (const Case& c : cases) {
    Write(Path(L"a"), c.a);
    Write(Path(L"b"), c.b);
    EXPECT_EQ(c.binary_equal, ContentsEqual(Path(L"a"), Path(L"b"))) << c.a;
    EXPECT_EQ(c.text_equal, TextContentsEqual(Path(L"a"), Path(L"b"))) << c.a;
  }
  // Longer than one 2056-byte block, differing only at the very end.
  Write(Path(L"a"), block + "x");
  Write(Path(L"b"), block + "y");
  EXPECT_FALSE(ContentsEqual(Path(L"a"), Path(L"b")));
  Write(Path(L"b"), block + "x");
  EXPECT_TRUE(ContentsEqual(Path(L"a"), Path(L"b")));
  EXPECT_FALSE(ContentsEqual(Path(L"a"), Path(L"missing")));
  EXPECT_FALSE(TextContentsEqual(Path(L"missing"), Path(L"a")));
}

TEST_F(FileUtilTest, TouchFile) {
  const FilePath file = Path(L"file");
  Write(file, "x");
  const Time stamp = Time::FromUTCExploded({2020, 2, 6, 29, 12, 0, 0, 0});
  ASSERT_TRUE(SetLastModifiedTime(file, stamp));
  PlatformFileInfo info;
  ASSERT_TRUE(GetFileInfo(file, &info));
  EXPECT_EQ(stamp, info.last_modified);
  EXPECT_EQ(stamp, info.last_accessed);

  const Time earlier = stamp - TimeDelta::FromDays(10);
  ASSERT_TRUE(TouchFile(dir(), earlier, earlier));  // a folder too
  ASSERT_TRUE(GetFileInfo(dir(), &info));
  EXPECT_EQ(earlier, info.last_modified);
  EXPECT_FALSE(TouchFile(Path(L"missing"), stamp, stamp));
}

TEST_F(FileUtilTest, FolderFigures) {
  EXPECT_TRUE(IsDirectoryEmpty(dir()));
  ASSERT_TRUE(CreateDirectory(Path(L"sub")));
  EXPECT_FALSE(IsDirectoryEmpty(dir()));
  Write(Path(L"one"), std::string(100, 'a'));
  Write(Path(L"sub\\two"), std::string(23, 'b'));
  EXPECT_EQ(123, ComputeDirectorySize(dir()));
}

TEST_F(FileUtilTest, TemporaryNames) {
  FilePath temp_file;
  ASSERT_TRUE(CreateTemporaryFileInDir(dir(), &temp_file));
  EXPECT_TRUE(PathExists(temp_file));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(dir().value(),
                                           temp_file.DirName().value()));

  FilePath opened_path;
  FILE* opened = CreateAndOpenTemporaryFileInDir(dir(), &opened_path);
  ASSERT_TRUE(opened);
  fputs("data", opened);
  EXPECT_TRUE(CloseFile(opened));
  EXPECT_EQ("data", Read(opened_path));
  EXPECT_FALSE(CreateTemporaryFileInDir(Path(L"missing"), &temp_file));

  FilePath global_temp;
  ASSERT_TRUE(CreateTemporaryFile(&global_temp));
  EXPECT_TRUE(Delete(global_temp, false));
  opened = CreateAndOpenTemporaryFile(&global_temp);
  ASSERT_TRUE(opened);
  EXPECT_TRUE(CloseFile(opened));
  EXPECT_TRUE(Delete(global_temp, false));

  // A temporary folder where no file can be made: the failure must not
  // leave the caller holding the temporary folder's own path, which a
  // clean-up would then delete.
  wchar_t saved_tmp[MAX_PATH] = {};
  wchar_t saved_temp[MAX_PATH] = {};
  ::GetEnvironmentVariableW(L"TMP", saved_tmp, MAX_PATH);
  ::GetEnvironmentVariableW(L"TEMP", saved_temp, MAX_PATH);
  const FilePath unusable = Path(L"missing_temp");
  ::SetEnvironmentVariableW(L"TMP", unusable.value().c_str());
  ::SetEnvironmentVariableW(L"TEMP", unusable.value().c_str());
  FilePath untouched(L"untouched");
  const bool made = CreateTemporaryFile(&untouched);
  ::SetEnvironmentVariableW(L"TMP", saved_tmp[0] ? saved_tmp : nullptr);
  ::SetEnvironmentVariableW(L"TEMP", saved_temp[0] ? saved_temp : nullptr);
  EXPECT_FALSE(made);
  EXPECT_EQ(L"untouched", untouched.value());

  FilePath new_dir;
  ASSERT_TRUE(CreateTemporaryDirInDir(dir(), L"pre_", &new_dir));
  EXPECT_TRUE(DirectoryExists(new_dir));
  const std::wstring expected_start =
      L"pre_" + std::to_wstring(::GetCurrentProcessId()) + L"_";
  const std::wstring name = new_dir.BaseName().value();
  ASSERT_EQ(0u, name.find(expected_start));
  const int number = std::stoi(name.substr(expected_start.length()));
  EXPECT_GE(number, 0);
  EXPECT_LE(number, 32767);
  EXPECT_FALSE(CreateTemporaryDirInDir(Path(L"missing"), L"pre_", &new_dir));
}

TEST_F(FileUtilTest, GetUniquePathNumber) {
  const FilePath path = Path(L"a.txt");
  EXPECT_EQ(0, GetUniquePathNumber(path, L""));
  Write(Path(L"a.txt.tmp"), "");
  EXPECT_EQ(1, GetUniquePathNumber(path, L".tmp"));
  Write(path, "");
  EXPECT_EQ(1, GetUniquePathNumber(path, L""));
  Write(Path(L"a (1).txt"), "");
  EXPECT_EQ(2, GetUniquePathNumber(path, L""));
  for (int n = 2; n <= 500; ++n)
    Write(Path((L"a (" + std::to_wstring(n) + L").txt").c_str()), "");
  EXPECT_EQ(-1, GetUniquePathNumber(path, L""));
}

TEST_F(FileUtilTest, NativePaths) {
  const FilePath empty = Path(L"empty");
  Write(empty, "");
  FilePath native;
  EXPECT_FALSE(NormalizeToNativeFilePath(empty, &native));  // cannot map
  EXPECT_FALSE(NormalizeToNativeFilePath(Path(L"missing"), &native));
  const FilePath file = Path(L"file.txt");
  Write(file, "x");
  ASSERT_TRUE(NormalizeToNativeFilePath(file, &native));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"file.txt",
                                           native.BaseName().value()));
}

TEST(DevicePathTest, TranslatesThroughTheDriveTable) {
  const DriveDeviceTable drives = {
      {L"C:", L"\\Device\\HarddiskVolume1"},
      {L"D:", L"\\Device\\HarddiskVolume10"},
      {L"E:", L"\\Device\\CdRom0"},
  };
  const struct {
    const wchar_t* device;
    const wchar_t* expected;  // null: no drive matches
  } cases[] = {
      {L"\\Device\\HarddiskVolume1\\dumps\\a.dmp", L"C:\\dumps\\a.dmp"},
      {L"\\Device\\HarddiskVolume10\\x", L"D:\\x"},
      {L"\\Device\\CdRom0", L"E:"},
      {L"\\Device\\HarddiskVolume2\\x", nullptr},
      {L"\\Device\\HarddiskVolume1x\\y", nullptr},
      {L"\\Device\\harddiskvolume1\\x", nullptr},
  };
  for (const auto& c : cases) {
    FilePath result(L"untouched");
    const bool found = DevicePathToDriveLetterPathWithTable(
        FilePath(c.device), drives, &result);
    EXPECT_EQ(c.expected != nullptr, found) << c.device;
    EXPECT_EQ(c.expected ? c.expected : L"untouched", result.value())
        << c.device;
  }
}

}  // namespace
}  // namespace base
