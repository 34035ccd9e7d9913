// Task tracking: per-thread statistics of where tasks were created (births,
// keyed by code location) and how they ran (deaths: how often, how long
// they queued and ran, the maxima and a random sample), with a snapshot of
// all threads. Off until Initialize; every tally does nothing while off or
// on a thread without a record.

#ifndef BASE_TRACKED_OBJECTS_H_
#define BASE_TRACKED_OBJECTS_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/location.h"
#include "base/lock.h"

namespace base {

class ThreadData;

// A point in time in milliseconds of the tick clock, kept in 32 bits; 0 is
// null. The counter wraps, so differences are taken modulo 2^32.
class TrackedTime {
 public:
  TrackedTime() : ms_(0) {}
  static TrackedTime FromMilliseconds(int32_t ms) { return TrackedTime(ms); }
  static TrackedTime Now();

  bool is_null() const { return ms_ == 0; }
  int32_t ToMilliseconds() const { return ms_; }

  // Milliseconds from |earlier| to this time, through a wrap of the
  // counter; a gap too long for 31 bits reads as the largest one.
  int32_t MillisecondsSince(TrackedTime earlier) const;

 private:
  explicit TrackedTime(int32_t ms) : ms_(ms) {}
  int32_t ms_;
};

// Where tasks were born, and how many, on one thread.
class Births {
 public:
  Births(const Location& location, const ThreadData& current);

  const Location& location() const { return location_; }
  const ThreadData* birth_thread() const { return birth_thread_; }
  int birth_count() const { return birth_count_; }

  void RecordBirth() { ++birth_count_; }
  void Clear() { birth_count_ = 0; }

 private:
  const Location location_;
  const ThreadData* const birth_thread_;
  int birth_count_;
};

// How the tasks of one birth ran on one thread, in milliseconds. Counts and
// sums stop at INT32_MAX instead of wrapping.
class DeathData {
 public:
  DeathData();

  void RecordDeath(int32_t queue_duration, int32_t run_duration,
                   uint32_t random_number);

  int32_t count() const { return count_; }
  int32_t run_duration_sum() const { return run_duration_sum_; }
  int32_t queue_duration_sum() const { return queue_duration_sum_; }
  int32_t run_duration_max() const { return run_duration_max_; }
  int32_t queue_duration_max() const { return queue_duration_max_; }
  int32_t run_duration_sample() const { return run_duration_sample_; }
  int32_t queue_duration_sample() const { return queue_duration_sample_; }

  void ResetMax();
  void Clear();

 private:
  int32_t count_;
  int32_t run_duration_sum_;
  int32_t queue_duration_sum_;
  int32_t run_duration_max_;
  int32_t queue_duration_max_;
  int32_t run_duration_sample_;
  int32_t queue_duration_sample_;
};

struct DeathDataSnapshot {
  DeathDataSnapshot();
  explicit DeathDataSnapshot(const DeathData& data);

  int32_t count;
  int32_t run_duration_sum;
  int32_t run_duration_max;
  int32_t run_duration_sample;
  int32_t queue_duration_sum;
  int32_t queue_duration_max;
  int32_t queue_duration_sample;
};

struct TaskSnapshot {
  TaskSnapshot();
  TaskSnapshot(const Births& birth, const DeathData& death_data,
               const std::string& death_thread_name);

  LocationSnapshot birth_location;
  std::string birth_thread_name;
  DeathDataSnapshot death_data;
  std::string death_thread_name;
};

class ThreadData {
 public:
  enum Status {
    UNINITIALIZED,
    DORMANT_DURING_TESTS,
    DEACTIVATED,
    PROFILING_ACTIVE,
    // Never stored: asking for it gives PROFILING_ACTIVE.
    PROFILING_CHILDREN_ACTIVE,
  };

  typedef uint32_t NowFunction();

  // Starts tracking (once); false when no thread-local slot is left.
  static bool Initialize();
  static bool InitializeAndSetTrackingStatus(Status status);
  static Status status();
  static bool TrackingStatus();
  static bool TrackingParentChildStatus();

  // Gives the calling thread a record with this name, unless it has one.
  static void InitializeThreadContext(const std::string& suggested_name);
  // The calling thread's record; a thread without one gets a worker record
  // (a retired one when there is one). Null while tracking has never
  // started.
  static ThreadData* Get();

  static Births* TallyABirthIfActive(const Location& location);
  // A task posted to a named thread; |delayed_run_time| when not null
  // replaces the posting time as the start of its queueing.
  static void TallyRunOnNamedThreadIfTracking(const Births* birth,
                                              TrackedTime time_posted,
                                              TrackedTime delayed_run_time,
                                              TrackedTime start_of_run,
                                              TrackedTime end_of_run);
  static void TallyRunOnWorkerThreadIfTracking(const Births* birth,
                                               TrackedTime time_posted,
                                               TrackedTime start_of_run,
                                               TrackedTime end_of_run);
  static void TallyRunInAScopedRegionIfTracking(const Births* birth,
                                                TrackedTime start_of_run,
                                                TrackedTime end_of_run);

  // Every thread's tasks; with |reset_max| the maxima start again.
  static void Snapshot(bool reset_max, std::vector<TaskSnapshot>* snapshot);
  static void ResetAllThreadData();
  void Reset();

  // The alternate clock counts queueing as nothing.
  static void SetAlternateTimeSource(NowFunction* now_function);
  static TrackedTime Now();

  // Stops tracking and forgets every record. The records are freed only
  // when |leak| is false, which the caller may ask for only when no other
  // thread can touch them any more (their slots still point at them):
  // freeing while other threads run would leave them dangling pointers.
  static void ShutdownSingleThreadedCleanup(bool leak = true);

  const std::string& thread_name() const { return thread_name_; }
  int worker_thread_number() const { return worker_thread_number_; }

 private:
  explicit ThreadData(const std::string& suggested_name);
  explicit ThreadData(int thread_number);
  ~ThreadData();

  void PushToHeadOfList();
  Births* TallyABirth(const Location& location);
  void TallyADeath(const Births& birth, int32_t queue_duration,
                   int32_t run_duration);
  void SnapshotDeaths(bool reset_max, std::vector<TaskSnapshot>* snapshot,
                      std::map<const Births*, int64_t>* birth_counts);
  static void OnThreadTermination(void* thread_data);
  void OnThreadTerminationCleanup();

  // Orders births by line, then by the identity of the name texts.
  struct LocationLess {
    bool operator()(const Location& a, const Location& b) const;
  };
  typedef std::map<Location, Births*, LocationLess> BirthMap;
  typedef std::map<const Births*, DeathData> DeathMap;

  ThreadData* next_;
  ThreadData* next_retired_worker_;
  const std::string thread_name_;
  const int worker_thread_number_;
  BirthMap birth_map_;
  DeathMap death_map_;
  std::set<std::pair<const Births*, const Births*>> parent_child_set_;
  mutable LockImpl map_lock_;
  uint32_t random_number_;
  int incarnation_count_for_pool_;
};

}  // namespace base

#endif  // BASE_TRACKED_OBJECTS_H_
