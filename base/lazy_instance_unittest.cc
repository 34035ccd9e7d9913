#include "base/lazy_instance.h"

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::atomic<int> g_constructed{0};
std::atomic<int> g_destroyed{0};

// When set, construction says it has begun and then waits to be let go.
HANDLE g_constructing = nullptr;
HANDLE g_finish_construction = nullptr;

class Counted {
 public:
  Counted() : value_(42) {
    ++g_constructed;
    if (g_finish_construction) {
      SetEvent(g_constructing);
      WaitForSingleObject(g_finish_construction, 30000);
    }
  }
  ~Counted() { ++g_destroyed; }
  int value() const { return value_; }

 private:
  int value_;
};

class LazyInstanceTest : public testing::Test {
 protected:
  void SetUp() override {
    g_constructed = 0;
    g_destroyed = 0;
  }
};

LazyInstance<Counted> g_raced = LAZY_INSTANCE_INITIALIZER;

// Threads that arrive while the instance is being made wait for it, and
// all get the one instance.
TEST_F(LazyInstanceTest, RacingThreadsShareOneInstance) {
  ExitCallbackStack exit_stack;
  g_constructing = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_finish_construction = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const int kThreads = 8;
  std::vector<std::atomic<Counted*>> seen(kThreads);
  std::vector<std::thread> threads;
  threads.emplace_back([&] { seen[0] = g_raced.Pointer(); });
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_constructing, 30000));

  std::atomic<int> arriving{0};
  for (int i = 1; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++arriving;
      seen[i] = g_raced.Pointer();
    });
  }
  for (int waited = 0; arriving < kThreads - 1 && waited < 30000; waited += 5)
    Sleep(5);
  // Nobody has an instance while it is still being made.
  for (auto& p : seen) EXPECT_EQ(nullptr, p.load());
  SetEvent(g_finish_construction);
  for (auto& t : threads) t.join();
  EXPECT_EQ(1, g_constructed);
  for (auto& p : seen) {
    EXPECT_EQ(seen[0].load(), p.load());
    ASSERT_NE(nullptr, p.load());
    EXPECT_EQ(42, p.load()->value());
  }
  CloseHandle(g_constructing);
  CloseHandle(g_finish_construction);
  g_constructing = g_finish_construction = nullptr;
}

LazyInstance<Counted> g_destroyed_at_exit = LAZY_INSTANCE_INITIALIZER;

TEST_F(LazyInstanceTest, DestroyedAtExitAndMadeAfreshWhenUsedLater) {
  {
    ExitCallbackStack exit_stack;
    EXPECT_FALSE(g_destroyed_at_exit.IsCreated());
    EXPECT_EQ(42, g_destroyed_at_exit.Get().value());
    EXPECT_TRUE(g_destroyed_at_exit.IsCreated());
    EXPECT_EQ(0, g_destroyed);
  }
  EXPECT_EQ(1, g_destroyed);
  // The state word went back to "none": a late user gets a new, live
  // instance instead of the destroyed one.
  EXPECT_FALSE(g_destroyed_at_exit.IsCreated());
  {
    ExitCallbackStack exit_stack;
    EXPECT_EQ(42, g_destroyed_at_exit->value());
    EXPECT_EQ(2, g_constructed);
  }
  EXPECT_EQ(2, g_destroyed);
}

LazyInstance<Counted>::Leaky g_leaky = LAZY_INSTANCE_INITIALIZER;

TEST_F(LazyInstanceTest, LeakyInstanceOutlivesTheExitStack) {
  Counted* first = nullptr;
  {
    ExitCallbackStack exit_stack;
    first = g_leaky.Pointer();
  }
  EXPECT_EQ(0, g_destroyed);
  EXPECT_EQ(first, g_leaky.Pointer());
  EXPECT_EQ(1, g_constructed);
}

TEST(LazyInstanceProtocolTest, WaitersSeeThePublishedPointer) {
  std::atomic<uintptr_t> state{0};
  static int instance = 0;
  ASSERT_TRUE(NeedsLazyInstance(&state));
  EXPECT_EQ(1u, state.load());
  std::atomic<bool> asking{false};
  std::thread waiter([&] {
    asking = true;
    EXPECT_FALSE(NeedsLazyInstance(&state));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&instance), state.load());
  });
  // Published once the waiter is on its way to the state word.
  while (!asking) PlatformThread::YieldCurrentThread();
  CompleteLazyInstance(&state, reinterpret_cast<uintptr_t>(&instance), nullptr,
                       nullptr);
  waiter.join();
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&instance), WaitForInstance(&state));
}

TEST(PlatformThreadTest, CurrentIdDiffersBetweenThreads) {
  const PlatformThreadId main_id = PlatformThread::CurrentId();
  EXPECT_NE(0u, main_id);
  EXPECT_EQ(main_id, PlatformThread::CurrentId());
  PlatformThreadId other_id = 0;
  std::thread([&] { other_id = PlatformThread::CurrentId(); }).join();
  EXPECT_NE(0u, other_id);
  EXPECT_NE(main_id, other_id);
}

}  // namespace
}  // namespace base
