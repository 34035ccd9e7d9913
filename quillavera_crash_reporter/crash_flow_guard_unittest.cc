#include "quillavera_crash_reporter/reporter_globals.h"

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace {

class CrashFlowGuardTest : public testing::Test {
 protected:
  void SetUp() override { ResetCrashFlowGuardForTesting(); }
  void TearDown() override { ResetCrashFlowGuardForTesting(); }
};

// Crashes that arrive together: only one of them may run the flow.
TEST_F(CrashFlowGuardTest, OneClaimWinsAmongRacingCrashes) {
  for (int round = 0; round < 20; ++round) {
    ResetCrashFlowGuardForTesting();
    std::atomic<bool> go{false};
    std::atomic<int> winners{0};
    std::vector<std::thread> crashes;
    for (int i = 0; i < 8; ++i) {
      crashes.emplace_back([&] {
        while (!go) std::this_thread::yield();
        if (ClaimCrashFlow()) ++winners;
      });
    }
    go = true;
    for (std::thread& crash : crashes) crash.join();
    EXPECT_EQ(1, winners.load()) << "round " << round;
  }
}

TEST_F(CrashFlowGuardTest, FlagStaysSetAfterTheFlowEnds) {
  EXPECT_FALSE(IsCrashHandled());
  ASSERT_TRUE(ClaimCrashFlow());
  EXPECT_TRUE(IsCrashHandled());
  EndCrashFlow();
  EXPECT_TRUE(IsCrashHandled());
  EXPECT_FALSE(ClaimCrashFlow());
}

// The main client's exit, noticed on another thread, must not cut off a
// crash being handled.
TEST_F(CrashFlowGuardTest, ExitFromAnotherThreadWaitsForTheFlow) {
  std::atomic<bool> claimed{false};
  std::atomic<bool> flow_finished{false};
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread flow([&] {
    ASSERT_TRUE(ClaimCrashFlow());
    claimed = true;
    WaitForSingleObject(release, INFINITE);
    flow_finished = true;
    EndCrashFlow();
  });
  while (!claimed) Sleep(1);
  std::thread releaser([&] {
    Sleep(300);
    SetEvent(release);
  });
  EXPECT_TRUE(PrepareReporterExit(INFINITE));
  EXPECT_TRUE(flow_finished.load());
  flow.join();
  releaser.join();
  CloseHandle(release);
}

TEST_F(CrashFlowGuardTest, TheFlowItselfExitsWithoutWaiting) {
  ASSERT_TRUE(ClaimCrashFlow());
  // Would never return if it waited for its own flow.
  EXPECT_TRUE(PrepareReporterExit(INFINITE));
}

TEST_F(CrashFlowGuardTest, AHungFlowHoldsTheExitOnlyForTheBound) {
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> claimed{false};
  std::thread flow([&] {
    claimed = ClaimCrashFlow();
    WaitForSingleObject(release, INFINITE);
    EndCrashFlow();
  });
  while (!claimed) Sleep(1);
  EXPECT_TRUE(PrepareReporterExit(200));
  SetEvent(release);
  flow.join();
  CloseHandle(release);
}

// Two threads ending the reporter: the second only waits for the first. A
// flow thread that comes second counts as done, so the first, waiting for
// that flow, goes on at once.
TEST_F(CrashFlowGuardTest, SecondExitGivesWayAndReleasesTheFirst) {
  std::atomic<bool> claimed{false};
  std::atomic<int> flow_exit{-1};
  std::thread flow([&] {
    claimed = ClaimCrashFlow();
    Sleep(300);
    flow_exit = PrepareReporterExit(INFINITE) ? 1 : 0;
  });
  while (!claimed) Sleep(1);
  EXPECT_TRUE(PrepareReporterExit(INFINITE));
  flow.join();
  EXPECT_EQ(0, flow_exit.load());
}

TEST_F(CrashFlowGuardTest, NoFlowStartsOnceTheReporterIsEnding) {
  EXPECT_TRUE(PrepareReporterExit(0));
  EXPECT_FALSE(ClaimCrashFlow());
  EXPECT_FALSE(IsCrashHandled());
}

}  // namespace
