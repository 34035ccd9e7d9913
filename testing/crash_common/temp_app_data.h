// A test fixture that gives the reporter's paths a fresh local
// application-data folder of their own, removed after the test.

#ifndef TESTING_CRASH_COMMON_TEMP_APP_DATA_H_
#define TESTING_CRASH_COMMON_TEMP_APP_DATA_H_

#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "testing/test_support/scoped_temp_folder.h"

class TempAppDataTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.valid());
    folder() = dir_.value();
    SetAppDataFolderQueryForTesting(&Query);
  }
  void TearDown() override { SetAppDataFolderQueryForTesting(nullptr); }

  // Writes |bytes| to |path| whole.
  static void Write(const std::wstring& path, const std::string& bytes) {
    ASSERT_EQ(static_cast<int>(bytes.size()),
              base::WriteFile(base::FilePath(path), bytes.data(),
                              static_cast<int>(bytes.size())));
  }

  ScopedTempFolder temp_{L"qv"};
  const base::FilePath dir_{temp_.path()};

 private:
  static std::wstring& folder() {
    static std::wstring value;
    return value;
  }
  static bool Query(std::wstring* result) {
    *result = folder();
    return true;
  }
};

#endif  // TESTING_CRASH_COMMON_TEMP_APP_DATA_H_
