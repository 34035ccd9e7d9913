#include "quillavera_crash_reporter/quillavera_crash_server.h"

#include <windows.h>

#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_globals.h"

namespace {

TEST(CrashServerTest, OnlyOneServerAtATime) {
  ASSERT_TRUE(StartCrashServer());
  EXPECT_FALSE(StartCrashServer());
  StopCrashServer();
  // The pipe is free again.
  ASSERT_TRUE(StartCrashServer());
  StopCrashServer();
  StopCrashServer();
}

TEST(CrashServerTest, StartClearsTheClientList) {
  {
    LockedReporterState state;
    state->client_processes.push_back(ProcessEntry{7, L"renderer"});
  }
  ASSERT_TRUE(StartCrashServer());
  EXPECT_TRUE(LockedReporterState()->client_processes.empty());
  StopCrashServer();
}

TEST(CrashServerTest, MessageLoopEndsWithTheQuitCode) {
  PostQuitMessage(7);
  EXPECT_EQ(7, RunMessageLoop());
}

// Destroying a window of the class cleans up and ends the loop; the shutdown
// path behind the loop must not delete the server a second time.
TEST(CrashServerTest, DestroyedWindowStopsTheServerOnce) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  ASSERT_NE(0, RegisterReporterWindowClass(instance));
  ASSERT_TRUE(StartCrashServer());
  HWND window = CreateWindowExW(0, L"QuillaVeraCrashReporter", L"", 0, 0, 0,
                                0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  ASSERT_NE(nullptr, window);
  DestroyWindow(window);
  EXPECT_EQ(0, RunMessageLoop());
  StopCrashServer();
  ASSERT_TRUE(StartCrashServer());
  StopCrashServer();
}

}  // namespace
