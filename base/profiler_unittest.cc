#include "base/profiler.h"

#include <windows.h>

#include "gtest/gtest.h"

// The two sections an instrumenter adds make this test program count as
// instrumented.
__attribute__((section(".thunks"), used)) const char kThunks[16] = "thunks";
__attribute__((section(".syzygy"), used)) const char kSyzygy[16] = "syzygy";

namespace base {
namespace {

TEST(ProfilerTest, InstrumentedOnlyWithBothSections) {
  EXPECT_TRUE(IsBinaryInstrumented());
  EXPECT_TRUE(IsBinaryInstrumented());  // the kept answer
  EXPECT_TRUE(IsImageInstrumented(GetModuleHandleW(nullptr)));
  EXPECT_FALSE(IsImageInstrumented(GetModuleHandleW(L"kernel32.dll")));
  EXPECT_FALSE(IsImageInstrumented(GetModuleHandleW(L"msvcrt.dll")));
}

TEST(ProfilerTest, ExportsAreFoundThroughTheImportedModules) {
  const void* image = GetModuleHandleW(nullptr);
  // Every program of this build imports the C runtime.
  const void* expected = reinterpret_cast<const void*>(
      GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "_wfsopen"));
  ASSERT_NE(nullptr, expected);
  EXPECT_EQ(expected, FindFunctionInImports(image, "_wfsopen"));
  EXPECT_EQ(nullptr, FindFunctionInImports(image, "NoSuchExportAnywhere"));
}

TEST(ProfilerTest, HooksAreNullWithoutTheAgent) {
  EXPECT_EQ(nullptr, GetProfilerAddDynamicSymbolFunc());
  EXPECT_EQ(nullptr, GetProfilerDynamicFunctionEntryHookFunc());
  EXPECT_EQ(nullptr, GetProfilerMoveDynamicSymbolFunc());
  EXPECT_EQ(nullptr, GetProfilerReturnAddrResolutionFunc());
}

}  // namespace
}  // namespace base
