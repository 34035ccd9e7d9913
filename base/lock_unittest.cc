#include "base/lock.h"

#include <thread>

#include "base/callback.h"
#include "base/ref_counted.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(LockTest, RecursiveForOwnerExclusiveForOthers) {
  LockImpl lock;
  lock.Lock();
  EXPECT_TRUE(lock.Try());  // Recursive for the owning thread.
  bool other_got_it = true;
  std::thread([&] { other_got_it = lock.Try(); }).join();
  EXPECT_FALSE(other_got_it);
  lock.Unlock();
  lock.Unlock();
  std::thread([&] {
    other_got_it = lock.Try();
    if (other_got_it) lock.Unlock();
  }).join();
  EXPECT_TRUE(other_got_it);
}

TEST(LockTest, AutoLockGuardsACounter) {
  LockImpl lock;
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      AutoLock guard(lock);
      ++counter;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(40000, counter);
}

int g_deleted = 0;

class Tracked : public RefCountedThreadSafe<Tracked> {
 private:
  friend class RefCountedThreadSafe<Tracked>;
  ~Tracked() { ++g_deleted; }
};

TEST(RefCountedTest, LastReleaseDeletes) {
  g_deleted = 0;
  {
    scoped_refptr<Tracked> a(new Tracked);
    EXPECT_TRUE(a->HasOneRef());
    scoped_refptr<Tracked> b = a;
    EXPECT_FALSE(a->HasOneRef());
    a = nullptr;
    EXPECT_TRUE(b->HasOneRef());
    EXPECT_EQ(0, g_deleted);
  }
  EXPECT_EQ(1, g_deleted);
}

int g_runs = 0;
void CountRun(void* step) { g_runs += *static_cast<int*>(step); }

TEST(CallbackTest, ClosureRunsEqualsAndResets) {
  g_runs = 0;
  int step = 5;
  Closure closure = BindFunction(&CountRun, &step);
  Closure copy = closure;
  Closure other = BindFunction(&CountRun, &step);
  EXPECT_FALSE(closure.is_null());
  EXPECT_TRUE(closure.Equals(copy));
  EXPECT_FALSE(closure.Equals(other));  // Same function, another state.
  copy.Run();
  closure.Run();
  EXPECT_EQ(10, g_runs);
  closure.Reset();
  EXPECT_TRUE(closure.is_null());
  closure.Run();  // A null closure does nothing.
  EXPECT_EQ(10, g_runs);
  EXPECT_TRUE(closure.Equals(Closure()));
}

}  // namespace
}  // namespace base
