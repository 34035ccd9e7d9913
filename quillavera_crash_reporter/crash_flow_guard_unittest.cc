#include "quillavera_crash_reporter/reporter_globals.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "upload/http_upload.h"

namespace {

// A bound on every handshake: a regression shows as a failure, not a hang.
constexpr DWORD kHandshakeMs = 30000;

class CrashFlowGuardTest : public testing::Test {
 protected:
  void SetUp() override { ResetCrashFlowGuardForTesting(); }
  void TearDown() override { ResetCrashFlowGuardForTesting(); }
};

// Polls |done| until it is true or the handshake bound has passed.
bool WaitUntil(const std::function<bool()>& done) {
  const ULONGLONG deadline = GetTickCount64() + kHandshakeMs;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(1);
  }
  return true;
}

// A crash handling flow on a thread of its own: it claims the crash, says
// whether it got it, and holds the flow until released; then |at_end| runs
// (on the flow's thread) before the flow ends.
class FlowThread {
 public:
  explicit FlowThread(std::function<void()> at_end = [] {})
      : claimed_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        thread_([this, at_end] {
          claimed_ = ClaimCrashFlow();
          SetEvent(claimed_event_);
          if (!claimed_) return;
          WaitForSingleObject(release_, kHandshakeMs);
          at_end();
          finished_ = true;
          EndCrashFlow();
        }) {}
  ~FlowThread() {
    Release();
    thread_.join();
    CloseHandle(claimed_event_);
    CloseHandle(release_);
  }

  // True once the thread holds the flow.
  bool Claimed() {
    return WaitForSingleObject(claimed_event_, kHandshakeMs) ==
               WAIT_OBJECT_0 &&
           claimed_;
  }
  void Release() { SetEvent(release_); }
  bool finished() const { return finished_; }

 private:
  HANDLE claimed_event_;
  HANDLE release_;
  std::atomic<bool> claimed_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;
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
// crash being handled: the flow is released only once the exit is under
// way, and the exit returns only after the flow.
TEST_F(CrashFlowGuardTest, ExitFromAnotherThreadWaitsForTheFlow) {
  FlowThread flow;
  ASSERT_TRUE(flow.Claimed());
  std::thread releaser([&] {
    if (WaitUntil(IsReporterExitingForTesting)) flow.Release();
  });
  EXPECT_TRUE(PrepareReporterExit(INFINITE));
  EXPECT_TRUE(flow.finished());
  releaser.join();
}

TEST_F(CrashFlowGuardTest, TheFlowItselfExitsWithoutWaiting) {
  ASSERT_TRUE(ClaimCrashFlow());
  // Would never return if it waited for its own flow.
  EXPECT_TRUE(PrepareReporterExit(INFINITE));
}

// Polls until |ms| have passed since the reporter began to end.
void OutlastExitStart(DWORD ms) {
  if (!WaitUntil(IsReporterExitingForTesting)) return;
  const ULONGLONG until = GetTickCount64() + ms;
  WaitUntil([until] { return GetTickCount64() > until; });
}

// The bound is for the dumps and posts; a flow, bounded by its own
// time-outs, is waited for to its end however long it takes.
TEST_F(CrashFlowGuardTest, ExitWaitsForAFlowThatOutlastsTheBound) {
  constexpr DWORD kBoundMs = 100;
  FlowThread flow;
  ASSERT_TRUE(flow.Claimed());
  std::thread releaser([&] {
    OutlastExitStart(5 * kBoundMs);
    flow.Release();
  });
  EXPECT_TRUE(PrepareReporterExit(kBoundMs));
  EXPECT_TRUE(flow.finished());
  releaser.join();
}

// A post abandoned at its deadline may still be sending: the process waits
// for its worker rather than cut it off.
TEST_F(CrashFlowGuardTest, ExitWaitsForAPostUnderWay) {
  HANDLE counted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> post_ended{false};
  std::thread post([&] {
    http_upload::ScopedPostWorker worker;
    SetEvent(counted);
    OutlastExitStart(300);
    post_ended = true;
  });
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(counted, kHandshakeMs));
  EXPECT_TRUE(PrepareReporterExit(kHandshakeMs));
  EXPECT_TRUE(post_ended.load());
  post.join();
  CloseHandle(counted);
}

// Two threads ending the reporter: the second only waits for the first. A
// flow thread that comes second counts as done, so the first, waiting for
// that flow, goes on at once.
TEST_F(CrashFlowGuardTest, SecondExitGivesWayAndReleasesTheFirst) {
  std::atomic<int> flow_exit{-1};
  FlowThread flow([&] {
    flow_exit = PrepareReporterExit(INFINITE) ? 1 : 0;
  });
  ASSERT_TRUE(flow.Claimed());
  std::thread releaser([&] {
    // The flow ends the reporter only once this thread is doing so.
    if (WaitUntil(IsReporterExitingForTesting)) flow.Release();
  });
  EXPECT_TRUE(PrepareReporterExit(INFINITE));
  releaser.join();
  WaitUntil([&] { return flow_exit.load() != -1; });
  EXPECT_EQ(0, flow_exit.load());
}

TEST_F(CrashFlowGuardTest, NoFlowStartsOnceTheReporterIsEnding) {
  EXPECT_TRUE(PrepareReporterExit(0));
  EXPECT_FALSE(ClaimCrashFlow());
  EXPECT_FALSE(IsCrashHandled());
}

}  // namespace
