#include "quillavera_crash_reporter/reporter_globals.h"

#include <windows.h>

#include <thread>

#include "crash_capture/in_process_crash_handler.h"
#include "gtest/gtest.h"

namespace {

using crash_capture::InProcessCrashHandler;

// The handler and the section this program never makes: a host that sets
// them has them deleted with the other globals, once.
TEST(ReporterGlobalsTest, CleanupDeletesTheHandlerAndTheSection) {
  EXPECT_EQ(nullptr, GetInProcessCrashHandler());
  EXPECT_EQ(nullptr, GetReporterCriticalSection());
  InProcessCrashHandler::Options options;
  options.handler_types = InProcessCrashHandler::kHandlerException;
  InProcessCrashHandler* handler = new InProcessCrashHandler(options);
  SetInProcessCrashHandler(handler);
  EXPECT_EQ(handler, GetInProcessCrashHandler());
  EXPECT_EQ(handler,
            InProcessCrashHandler::Current(InProcessCrashHandler::kHandlerException));
  CRITICAL_SECTION* section = new CRITICAL_SECTION;
  InitializeCriticalSection(section);
  SetReporterCriticalSection(section);
  EXPECT_EQ(section, GetReporterCriticalSection());

  CleanupGlobals();
  // Only the handler's destructor takes it off the process's handler stack.
  EXPECT_EQ(nullptr, InProcessCrashHandler::Current(
                         InProcessCrashHandler::kHandlerException));
  EXPECT_EQ(nullptr, GetInProcessCrashHandler());
  EXPECT_EQ(nullptr, GetReporterCriticalSection());
  CleanupGlobals();
}

TEST(ReportSenderGlobalTest, OneSenderUntilDestroyed) {
  EXPECT_EQ(nullptr, GetReportSender());
  ASSERT_TRUE(CreateReportSender());
  ReportSender* first = GetReportSender();
  EXPECT_NE(nullptr, first);
  EXPECT_FALSE(CreateReportSender());
  EXPECT_EQ(first, GetReportSender());
  DestroyReportSender();
  EXPECT_EQ(nullptr, GetReportSender());
  DestroyReportSender();
  EXPECT_TRUE(CreateReportSender());
  DestroyReportSender();
}

// A client gone during start-up must not end the process while the
// housekeeping still works on the BI log.
TEST(ReporterGlobalsTest, ExitWaitsUntilStartUpIsDone) {
  ResetCrashFlowGuardForTesting();
  BeginStartup();
  HANDLE exit_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread ending([exit_ready] {
    if (PrepareReporterExit(INFINITE)) SetEvent(exit_ready);
  });
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
            WaitForSingleObject(exit_ready, 300));
  MarkLoggingReady();
  EXPECT_TRUE(WaitForLoggingReady());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT),
            WaitForSingleObject(exit_ready, 300));
  MarkStartupDone();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(exit_ready, 30000));
  ending.join();
  CloseHandle(exit_ready);
  ResetCrashFlowGuardForTesting();
}

}  // namespace
