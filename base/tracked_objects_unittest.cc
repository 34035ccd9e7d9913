#include "base/tracked_objects.h"

#include <climits>
#include <functional>
#include <vector>

#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"
#include "testing/test_support/function_thread.h"

namespace base {
namespace {

using test_support::FunctionThread;

TrackedTime Ms(int32_t ms) { return TrackedTime::FromMilliseconds(ms); }

TEST(TrackedObjectsTest, DeathDataAndSaturation) {
  DeathData data;
  data.RecordDeath(7, 5, 12345);
  EXPECT_EQ(1, data.count());
  EXPECT_EQ(5, data.run_duration_sum());
  EXPECT_EQ(7, data.queue_duration_sum());
  EXPECT_EQ(5, data.run_duration_max());
  EXPECT_EQ(7, data.queue_duration_max());
  EXPECT_EQ(5, data.run_duration_sample());
  EXPECT_EQ(7, data.queue_duration_sample());

  data.RecordDeath(INT32_MAX, INT32_MAX, 1);
  data.RecordDeath(INT32_MAX, INT32_MAX, 1);
  EXPECT_EQ(INT32_MAX, data.run_duration_sum());
  EXPECT_EQ(INT32_MAX, data.queue_duration_sum());
  EXPECT_EQ(INT32_MAX, data.run_duration_max());
}

TEST(TrackedObjectsTest, DurationsAcrossTheCounterWrap) {
  // 24.8 days in, the signed millisecond count turns negative.
  EXPECT_EQ(16, Ms(INT32_MIN + 10).MillisecondsSince(Ms(INT32_MAX - 5)));
  // At 49.7 days the 32-bit count wraps to 0 (and 0 reads as null, so
  // the clock's 1 stands in for the next tick).
  EXPECT_EQ(3, Ms(1).MillisecondsSince(Ms(-2)));
  EXPECT_EQ(5, Ms(112).MillisecondsSince(Ms(107)));
  // A start after the end is not a negative duration.
  EXPECT_EQ(INT32_MAX, Ms(100).MillisecondsSince(Ms(107)));
}

TEST(TrackedObjectsTest, SnapshotOfBirthsAndDeaths) {
  ASSERT_TRUE(ThreadData::InitializeAndSetTrackingStatus(
      ThreadData::PROFILING_CHILDREN_ACTIVE));
  EXPECT_EQ(ThreadData::PROFILING_ACTIVE, ThreadData::status());
  EXPECT_FALSE(ThreadData::TrackingParentChildStatus());
  ThreadData::InitializeThreadContext("SnapshotThread");
  ASSERT_NE(nullptr, ThreadData::Get());
  EXPECT_EQ("SnapshotThread", ThreadData::Get()->thread_name());

  const Location ran("Ran", "tracked_test.cc", 10, nullptr);
  const Location waiting("Waiting", "tracked_test.cc", 20, nullptr);
  Births* ran_birth = ThreadData::TallyABirthIfActive(ran);
  ASSERT_NE(nullptr, ran_birth);
  EXPECT_EQ(ran_birth, ThreadData::TallyABirthIfActive(ran));
  EXPECT_EQ(2, ran_birth->birth_count());
  ThreadData::TallyABirthIfActive(waiting);
  ThreadData::TallyABirthIfActive(waiting);

  ThreadData::TallyRunOnWorkerThreadIfTracking(ran_birth, Ms(100), Ms(107),
                                               Ms(112));
  // A delayed task queues from its run time; a null start counts nothing.
  ThreadData::TallyRunOnNamedThreadIfTracking(ran_birth, Ms(100), Ms(104),
                                              Ms(107), TrackedTime());

  std::vector<TaskSnapshot> snapshot;
  ThreadData::Snapshot(false, &snapshot);
  const TaskSnapshot* death = nullptr;
  const TaskSnapshot* alive = nullptr;
  for (const TaskSnapshot& task : snapshot) {
    if (task.birth_location.function_name == "Ran") death = &task;
    if (task.birth_location.function_name == "Waiting") alive = &task;
  }
  ASSERT_NE(nullptr, death);
  EXPECT_EQ("SnapshotThread", death->death_thread_name);
  EXPECT_EQ("SnapshotThread", death->birth_thread_name);
  EXPECT_EQ(2, death->death_data.count);
  EXPECT_EQ(5, death->death_data.run_duration_sum);
  EXPECT_EQ(10, death->death_data.queue_duration_sum);
  EXPECT_EQ(7, death->death_data.queue_duration_max);
  ASSERT_NE(nullptr, alive);
  EXPECT_EQ("Still_Alive", alive->death_thread_name);
  EXPECT_EQ(2, alive->death_data.count);
  EXPECT_EQ(0, alive->death_data.run_duration_sum);

  ThreadData::ResetAllThreadData();
  EXPECT_EQ(0, ran_birth->birth_count());
}

TEST(TrackedObjectsTest, EndedWorkerRecordIsReused) {
  ASSERT_TRUE(ThreadData::Initialize());
  ThreadData* first = nullptr;
  std::string first_name;
  FunctionThread one([&] {
    first = ThreadData::Get();
    first_name = first->thread_name();
  });
  ASSERT_TRUE(one.RunAndJoin());
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(0u, first_name.find("WorkerThread-"));
  EXPECT_GT(first->worker_thread_number(), 0);

  ThreadData* second = nullptr;
  FunctionThread two([&] { second = ThreadData::Get(); });
  ASSERT_TRUE(two.RunAndJoin());
  EXPECT_EQ(first, second);
  EXPECT_EQ(first_name, second->thread_name());
}

// Runs last: it stops tracking.
TEST(TrackedObjectsTest, ShutdownAndRestartKeepOneSlot) {
  // More cycles than there are thread-local slots.
  for (int i = 0; i < 80; ++i) {
    ASSERT_TRUE(ThreadData::Initialize()) << "cycle " << i;
    EXPECT_TRUE(ThreadData::TrackingStatus());
    ThreadData::ShutdownSingleThreadedCleanup();
    EXPECT_EQ(ThreadData::DORMANT_DURING_TESTS, ThreadData::status());
    EXPECT_EQ(nullptr, ThreadData::TallyABirthIfActive(
                           Location("f", "x.cc", 1, nullptr)));
  }
  // Freeing on request, with only this thread left.
  ASSERT_TRUE(ThreadData::Initialize());
  ThreadData::InitializeThreadContext("Freed");
  ThreadData::TallyABirthIfActive(Location("f", "x.cc", 1, nullptr));
  ThreadData::ShutdownSingleThreadedCleanup(false);
  std::vector<TaskSnapshot> snapshot;
  ThreadData::Snapshot(false, &snapshot);
  EXPECT_TRUE(snapshot.empty());
}

}  // namespace
}  // namespace base
