#include "base/threading/thread_local_storage.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <vector>

#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"
#include "testing/test_support/function_thread.h"

namespace base {
namespace {

using test_support::FunctionThread;

// Runs first, before this process has taken its TLS index.
TEST(ThreadLocalStorageTest, NoIndexLeftMeansNoSlot) {
  std::vector<DWORD> taken;
  for (DWORD index; (index = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
    taken.push_back(index);
  ASSERT_FALSE(taken.empty());
  ThreadLocalStorage::Slot slot;
  EXPECT_FALSE(slot.Initialize(nullptr));
  EXPECT_FALSE(slot.initialized());
  slot.Set(&slot);
  EXPECT_EQ(nullptr, slot.Get());
  for (DWORD index : taken) TlsFree(index);
  EXPECT_TRUE(slot.Initialize(nullptr));
}

std::vector<int> g_destroyed;
ThreadLocalStorage::Slot g_first;
ThreadLocalStorage::Slot g_second;
int g_second_value = 2;

void DestroySecond(void* value) {
  g_destroyed.push_back(*static_cast<int*>(value));
}

// Sets the other slot while the thread is already ending.
void DestroyFirst(void* value) {
  g_destroyed.push_back(*static_cast<int*>(value));
  g_second.Set(&g_second_value);
}

TEST(ThreadLocalStorageTest, ValuesPerThreadAndDestructorsAtExit) {
  ASSERT_TRUE(g_first.Initialize(&DestroyFirst));
  ASSERT_TRUE(g_second.Initialize(&DestroySecond));
  int main_value = 7;
  g_first.Set(&main_value);

  int first_value = 1;
  void* seen_before = &main_value;
  FunctionThread thread([&] {
    seen_before = g_first.Get();
    g_first.Set(&first_value);
  });
  ASSERT_TRUE(thread.RunAndJoin());
  EXPECT_EQ(nullptr, seen_before);
  EXPECT_EQ(&main_value, g_first.Get());
  // The first destructor set the second slot; it ran in a later pass.
  EXPECT_EQ((std::vector<int>{1, 2}), g_destroyed);

  // A freed slot's destructor no longer runs.
  g_destroyed.clear();
  g_second.Free();
  FunctionThread quiet([&] { g_first.Set(&first_value); });
  ASSERT_TRUE(quiet.RunAndJoin());
  EXPECT_EQ((std::vector<int>{1}), g_destroyed);
  g_first.Set(nullptr);
}

std::atomic<int> g_last_destroyed{0};

void RecordLast(void* value) { g_last_destroyed = *static_cast<int*>(value); }

// Runs last: it uses up every slot.
TEST(ThreadLocalStorageTest, SlotCountAtTheLimit) {
  std::vector<ThreadLocalStorage::Slot*> slots;
  for (;;) {
    ThreadLocalStorage::Slot* slot = new ThreadLocalStorage::Slot;
    if (!slot->Initialize(&RecordLast)) {
      delete slot;
      break;
    }
    slots.push_back(slot);
  }
  // Slots 1 to 63 exist; three were taken above (one of them freed).
  EXPECT_EQ(60u, slots.size());
  // Refusals keep being refusals.
  for (int i = 0; i < 10; ++i) {
    ThreadLocalStorage::Slot extra;
    EXPECT_FALSE(extra.Initialize(&RecordLast));
  }

  // The highest slot still works and its destructor still runs after the
  // counter has gone past the table.
  int value = 63;
  FunctionThread thread([&] { slots.back()->Set(&value); });
  ASSERT_TRUE(thread.RunAndJoin());
  EXPECT_EQ(63, g_last_destroyed);
  for (auto* slot : slots) delete slot;
}

}  // namespace
}  // namespace base
