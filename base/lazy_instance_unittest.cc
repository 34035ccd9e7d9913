#include "base/lazy_instance.h"

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

class Counted {
 public:
  Counted() : value_(42) {
    ++g_constructed;
    // Slow construction widens the window in which racers must wait.
    for (int i = 0; i < 20; ++i) PlatformThread::YieldCurrentThread();
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

TEST_F(LazyInstanceTest, RacingThreadsShareOneInstance) {
  ExitCallbackStack exit_stack;
  const int kThreads = 8;
  std::vector<Counted*> seen(kThreads, nullptr);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      while (!go) PlatformThread::YieldCurrentThread();
      seen[i] = g_raced.Pointer();
    });
  }
  go = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(1, g_constructed);
  for (Counted* p : seen) {
    EXPECT_EQ(seen[0], p);
    EXPECT_EQ(42, p->value());
  }
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
  std::thread waiter([&] {
    EXPECT_FALSE(NeedsLazyInstance(&state));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&instance), state.load());
  });
  for (int i = 0; i < 50; ++i) PlatformThread::YieldCurrentThread();
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
