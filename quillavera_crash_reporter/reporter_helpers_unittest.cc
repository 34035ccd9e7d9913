#include "quillavera_crash_reporter/reporter_helpers.h"

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

TEST(ReporterHelpersTest, FileStem) {
  EXPECT_EQ(L"report", GetFileStem(L"C:\\a.b\\report.zip"));
  EXPECT_EQ(L"report.tar", GetFileStem(L"C:/x/report.tar.gz"));
  EXPECT_EQ(L"noext", GetFileStem(L"noext"));
  EXPECT_EQ(L"", GetFileStem(L"C:\\x\\"));
}

TEST(ReporterHelpersTest, FixedNames) {
  EXPECT_EQ("quillavera_42", MakeProductPrefixedName(42));
  EXPECT_EQ(L"quillavera_reporter.exe", GetReporterExeName());
  EXPECT_TRUE(FormatDumpRequestResult(nullptr, nullptr, nullptr, nullptr,
                                      nullptr, true));
  EXPECT_FALSE(FormatDumpRequestResult(nullptr, nullptr, nullptr, nullptr,
                                       nullptr, false));
}

TEST(ReporterHelpersTest, IniValues) {
  ScopedTempFolder folder(L"ini");
  ASSERT_TRUE(folder.valid());
  const base::FilePath ini(folder.Path(L"settings.ini"));
  const char text[] = "[upload]\r\nhost=example.test\r\n";
  ASSERT_EQ(static_cast<int>(sizeof(text) - 1),
            base::WriteFile(ini, text, sizeof(text) - 1));
  EXPECT_EQ(L"example.test", ReadIniString(ini.value(), L"upload", L"host"));
  EXPECT_EQ(L"", ReadIniString(ini.value(), L"upload", L"port"));
  EXPECT_EQ(L"", ReadIniString(ini.value() + L".gone", L"upload", L"host"));
}

TEST(ReporterHelpersTest, MissingProgramIsNotStarted) {
  EXPECT_FALSE(RunProgramAndWait(L"no_such_program.exe", L"", L"QvNoEvent"));
}

}  // namespace
