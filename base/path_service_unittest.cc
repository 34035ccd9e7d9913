#include "base/path_service.h"

#include <windows.h>

#include <string>

#include "base/base_paths.h"
#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace base {
namespace {

TEST(PathServiceTest, CurrentDirectoryFollowsChangesExeFolderDoesNot) {
  FilePath exe_dir;
  ASSERT_TRUE(PathService::Get(DIR_EXE, &exe_dir));
  FilePath exe;
  ASSERT_TRUE(PathService::Get(FILE_EXE, &exe));
  EXPECT_EQ(exe.DirName().value(), exe_dir.value());
  EXPECT_EQ(L"path_service_unittest.exe", exe.BaseName().value());

  FilePath original;
  ASSERT_TRUE(GetCurrentDirectory(&original));
  ScopedTempFolder scratch(L"ps");
  ASSERT_TRUE(scratch.valid());
  const FilePath scratch_dir(scratch.path());
  ASSERT_TRUE(SetCurrentDirectory(scratch_dir));
  FilePath current;
  EXPECT_TRUE(PathService::Get(DIR_CURRENT, &current));
  EXPECT_TRUE(
      FilePath::CompareIgnoreCase(scratch_dir.value(), current.value()) == 0);
  FilePath exe_dir_again;
  EXPECT_TRUE(PathService::Get(DIR_EXE, &exe_dir_again));
  EXPECT_EQ(exe_dir.value(), exe_dir_again.value());
  ASSERT_TRUE(SetCurrentDirectory(original));
}

TEST(PathServiceTest, OverrideWinsOverCachedAnswerUntilRemoved) {
  FilePath module_dir;
  ASSERT_TRUE(PathService::Get(DIR_MODULE, &module_dir));  // now cached
  ScopedTempFolder scratch(L"ps");
  ASSERT_TRUE(scratch.valid());
  const FilePath scratch_dir(scratch.path());
  FilePath target = scratch_dir.Append(L"made");
  ASSERT_TRUE(PathService::Override(DIR_MODULE, target));
  EXPECT_TRUE(DirectoryExists(target));
  FilePath answer;
  EXPECT_TRUE(PathService::Get(DIR_MODULE, &answer));
  EXPECT_EQ(target.value(), answer.value());

  EXPECT_TRUE(PathService::RemoveOverride(DIR_MODULE));
  EXPECT_FALSE(PathService::RemoveOverride(DIR_MODULE));
  EXPECT_TRUE(PathService::Get(DIR_MODULE, &answer));
  EXPECT_EQ(module_dir.value(), answer.value());
}

TEST(PathServiceTest, OverrideCreatesTheFolderOnlyWhenAsked) {
  ScopedTempFolder scratch(L"ps");
  ASSERT_TRUE(scratch.valid());
  const FilePath scratch_dir(scratch.path());
  FilePath missing = scratch_dir.Append(L"not_made");
  EXPECT_TRUE(PathService::OverrideAndCreateIfNeeded(DIR_USER_DESKTOP,
                                                     missing, false));
  EXPECT_FALSE(PathExists(missing));
  FilePath answer;
  EXPECT_TRUE(PathService::Get(DIR_USER_DESKTOP, &answer));
  EXPECT_EQ(missing.value(), answer.value());
  EXPECT_TRUE(PathService::RemoveOverride(DIR_USER_DESKTOP));

  // A file in the way of the folder makes the override fail.
  FilePath file = scratch_dir.Append(L"file");
  ASSERT_EQ(1, WriteFile(file, "x", 1));
  EXPECT_FALSE(PathService::Override(DIR_USER_DESKTOP, file));
}

// The file keys name files: an override with the executable itself, or
// with a file not yet there, makes no folder and is answered as given.
TEST(PathServiceTest, FileKeysAreOverriddenWithFiles) {
  FilePath exe;
  ASSERT_TRUE(PathService::Get(FILE_EXE, &exe));
  ASSERT_TRUE(PathService::Override(FILE_EXE, exe));
  FilePath answer;
  EXPECT_TRUE(PathService::Get(FILE_EXE, &answer));
  EXPECT_EQ(exe.value(), answer.value());
  EXPECT_TRUE(PathService::RemoveOverride(FILE_EXE));

  ScopedTempFolder scratch(L"ps");
  ASSERT_TRUE(scratch.valid());
  const FilePath later = FilePath(scratch.path()).Append(L"later.dll");
  ASSERT_TRUE(PathService::Override(FILE_MODULE, later));
  EXPECT_FALSE(PathExists(later));
  EXPECT_TRUE(PathService::Get(FILE_MODULE, &answer));
  EXPECT_EQ(later.value(), answer.value());
  EXPECT_TRUE(PathService::Get(DIR_MODULE, &answer));
  EXPECT_EQ(scratch.path(), answer.value());
  EXPECT_TRUE(PathService::RemoveOverride(FILE_MODULE));
}

TEST(PathServiceTest, TestDataOnlyWhenTheFolderExists) {
  FilePath answer;
  // The build's source root has no base\test\data.
  EXPECT_FALSE(PathService::Get(DIR_TEST_DATA, &answer));

  ScopedTempFolder scratch(L"ps");
  ASSERT_TRUE(scratch.valid());
  const FilePath scratch_dir(scratch.path());
  FilePath data = scratch_dir.Append(L"base").Append(L"test").Append(L"data");
  ASSERT_TRUE(CreateDirectory(data.DirName()));
  // A file of that name is no folder.
  ASSERT_EQ(1, WriteFile(data, "x", 1));
  ASSERT_TRUE(PathService::Override(DIR_SOURCE_ROOT, scratch_dir));
  EXPECT_FALSE(PathService::Get(DIR_TEST_DATA, &answer));

  ASSERT_TRUE(Delete(data, false));
  ASSERT_TRUE(CreateDirectory(data));
  EXPECT_TRUE(PathService::Get(DIR_TEST_DATA, &answer));
  EXPECT_EQ(data.value(), answer.value());
  EXPECT_TRUE(PathService::RemoveOverride(DIR_SOURCE_ROOT));
}

TEST(PathServiceTest, UnknownKeysAreFalse) {
  FilePath answer;
  for (int key : {0, 10, 50, 100, 118, 1000}) {
    EXPECT_FALSE(PathService::Get(key, &answer)) << key;
  }
}

TEST(PathServiceTest, WindowsKeysAnswerAbsolutePaths) {
  const int kKeys[] = {DIR_TEMP,          DIR_USER_DESKTOP,
                       DIR_WINDOWS,       DIR_SYSTEM,
                       DIR_PROGRAM_FILES, DIR_PROGRAM_FILESX86,
                       DIR_IE_INTERNET_CACHE, DIR_COMMON_START_MENU,
                       DIR_START_MENU,    DIR_APP_DATA,
                       DIR_PROFILE,       DIR_LOCAL_APP_DATA_LOW,
                       DIR_LOCAL_APP_DATA, DIR_COMMON_APP_DATA,
                       DIR_COMMON_DESKTOP, DIR_USER_QUICK_LAUNCH,
                       DIR_DEFAULT_USER_QUICK_LAUNCH, DIR_TASKBAR_PINS};
  for (int key : kKeys) {
    FilePath answer;
    EXPECT_TRUE(PathService::Get(key, &answer)) << key;
    EXPECT_TRUE(answer.IsAbsolute()) << key;
  }
  FilePath windows;
  ASSERT_TRUE(PathService::Get(DIR_WINDOWS, &windows));
  EXPECT_TRUE(DirectoryExists(windows));

  FilePath app_data, low, pins;
  ASSERT_TRUE(PathService::Get(DIR_APP_DATA, &app_data));
  ASSERT_TRUE(PathService::Get(DIR_LOCAL_APP_DATA_LOW, &low));
  EXPECT_EQ(app_data.DirName().Append(L"LocalLow").value(), low.value());
  ASSERT_TRUE(PathService::Get(DIR_TASKBAR_PINS, &pins));
  EXPECT_EQ(app_data.Append(L"Microsoft\\Internet Explorer\\Quick Launch"
                            L"\\User Pinned\\TaskBar").value(),
            pins.value());

  // Wine reports Windows 7: no application-shortcuts folder yet.
  FilePath shortcuts;
  EXPECT_FALSE(PathService::Get(DIR_APP_SHORTCUTS, &shortcuts));
}

int g_counting_calls = 0;
bool CountingProvider(int key, FilePath* result) {
  if (key != 7001) return false;
  ++g_counting_calls;
  *result = FilePath(L"relative_answer");
  return true;
}

TEST(PathServiceTest, RegisteredProviderIsAskedFirstAndCached) {
  PathService::RegisterProvider(&CountingProvider);
  FilePath current;
  ASSERT_TRUE(GetCurrentDirectory(&current));

  FilePath answer;
  ASSERT_TRUE(PathService::Get(7001, &answer));
  // A relative answer comes back absolute.
  EXPECT_EQ(current.Append(L"relative_answer").value(), answer.value());
  ASSERT_TRUE(PathService::Get(7001, &answer));
  EXPECT_EQ(1, g_counting_calls);

  PathService::DisableCache();
  ASSERT_TRUE(PathService::Get(7001, &answer));
  ASSERT_TRUE(PathService::Get(7001, &answer));
  EXPECT_EQ(3, g_counting_calls);
}

}  // namespace
}  // namespace base
