#include "base/location.h"

#include <windows.h>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(LocationTest, TextsAndSnapshot) {
  const Location location("Run<int>", "dir/task.cc", 42, nullptr);
  EXPECT_EQ("Run<int>@dir/task.cc:42", location.ToString());

  std::string output = "x ";
  location.Write(true, true, &output);
  EXPECT_EQ("x dir/task.cc[42] Run&lt;int&gt; ", output);
  output.clear();
  location.Write(false, false, &output);
  EXPECT_EQ("line[42] ", output);

  const LocationSnapshot snapshot(location);
  EXPECT_EQ("dir/task.cc", snapshot.file_name);
  EXPECT_EQ("Run<int>", snapshot.function_name);
  EXPECT_EQ(42, snapshot.line_number);
  EXPECT_EQ(-1, LocationSnapshot().line_number);
  EXPECT_EQ("Unknown@Unknown:-1", Location().ToString());
}

TEST(LocationTest, FromHereNamesThisSpot) {
  const int line = __LINE__ + 1;
  const Location here = FROM_HERE;
  EXPECT_STREQ(__FILE__, here.file_name());
  EXPECT_EQ(line, here.line_number());
  EXPECT_STREQ("TestBody", here.function_name());
  // A code address inside this program's image.
  HMODULE module = nullptr;
  EXPECT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
          GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      static_cast<const wchar_t*>(here.program_counter()), &module));
  EXPECT_EQ(GetModuleHandleW(nullptr), module);
}

}  // namespace
}  // namespace base
