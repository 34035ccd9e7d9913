#include "base/tracked_objects.h"

#include <atomic>
#include <climits>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/stringprintf.h"
#include "base/threading/thread_local_storage.h"
#include "base/time.h"

namespace base {

namespace {

int32_t SaturatingAdd(int32_t sum, int32_t value) {
  const int64_t total = int64_t(sum) + value;
  if (total > INT32_MAX) return INT32_MAX;
  if (total < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(total);
}

// The process-wide state, behind one lock made on first use.
LazyInstance<LockImpl>::Leaky g_list_lock = LAZY_INSTANCE_INITIALIZER;
std::atomic<ThreadData::Status> g_status{ThreadData::UNINITIALIZED};
ThreadData* g_all_thread_data_list_head = nullptr;
ThreadData* g_first_retired_worker = nullptr;
int g_worker_thread_data_creation_count = 0;
int g_cleanup_count = 0;
int g_incarnation_counter = 0;
ThreadData::NowFunction* g_now_function = nullptr;
// Taken once for the life of the process: a shutdown keeps it.
ThreadLocalStorage::Slot g_tls_index;

}  // namespace

// --- TrackedTime -----------------------------------------------------------

// static
TrackedTime TrackedTime::Now() { return ThreadData::Now(); }

int32_t TrackedTime::MillisecondsSince(TrackedTime earlier) const {
  const uint32_t difference =
      static_cast<uint32_t>(ms_) - static_cast<uint32_t>(earlier.ms_);
  return difference > INT32_MAX ? INT32_MAX : static_cast<int32_t>(difference);
}

// --- Births and deaths -----------------------------------------------------

Births::Births(const Location& location, const ThreadData& current)
    : location_(location), birth_thread_(&current), birth_count_(1) {}

DeathData::DeathData() { Clear(); }

void DeathData::RecordDeath(int32_t queue_duration, int32_t run_duration,
                            uint32_t random_number) {
  if (count_ < INT32_MAX) ++count_;
  run_duration_sum_ = SaturatingAdd(run_duration_sum_, run_duration);
  queue_duration_sum_ = SaturatingAdd(queue_duration_sum_, queue_duration);
  if (run_duration_max_ < run_duration) run_duration_max_ = run_duration;
  if (queue_duration_max_ < queue_duration)
    queue_duration_max_ = queue_duration;
  CHECK_GT(count_, 0);
  // Each death is kept as the sample with probability 1/count.
  if (random_number % static_cast<uint32_t>(count_) == 0) {
    queue_duration_sample_ = queue_duration;
    run_duration_sample_ = run_duration;
  }
}

void DeathData::ResetMax() {
  run_duration_max_ = 0;
  queue_duration_max_ = 0;
}

void DeathData::Clear() {
  count_ = 0;
  run_duration_sum_ = 0;
  queue_duration_sum_ = 0;
  run_duration_max_ = 0;
  queue_duration_max_ = 0;
  run_duration_sample_ = 0;
  queue_duration_sample_ = 0;
}

DeathDataSnapshot::DeathDataSnapshot()
    : count(0),
      run_duration_sum(0),
      run_duration_max(0),
      run_duration_sample(0),
      queue_duration_sum(0),
      queue_duration_max(0),
      queue_duration_sample(0) {}

DeathDataSnapshot::DeathDataSnapshot(const DeathData& data)
    : count(data.count()),
      run_duration_sum(data.run_duration_sum()),
      run_duration_max(data.run_duration_max()),
      run_duration_sample(data.run_duration_sample()),
      queue_duration_sum(data.queue_duration_sum()),
      queue_duration_max(data.queue_duration_max()),
      queue_duration_sample(data.queue_duration_sample()) {}

TaskSnapshot::TaskSnapshot() {}

TaskSnapshot::TaskSnapshot(const Births& birth, const DeathData& death_data,
                           const std::string& death_thread_name)
    : birth_location(birth.location()),
      birth_thread_name(birth.birth_thread()->thread_name()),
      death_data(death_data),
      death_thread_name(death_thread_name) {}

// --- ThreadData: set-up ----------------------------------------------------

bool ThreadData::LocationLess::operator()(const Location& a,
                                          const Location& b) const {
  if (a.line_number() != b.line_number())
    return a.line_number() < b.line_number();
  if (a.file_name() != b.file_name())
    return std::less<const char*>()(a.file_name(), b.file_name());
  return std::less<const char*>()(a.function_name(), b.function_name());
}

ThreadData::ThreadData(const std::string& suggested_name)
    : next_(nullptr),
      next_retired_worker_(nullptr),
      thread_name_(suggested_name),
      worker_thread_number_(0),
      random_number_(0),
      incarnation_count_for_pool_(-1) {
  PushToHeadOfList();
}

ThreadData::ThreadData(int thread_number)
    : next_(nullptr),
      next_retired_worker_(nullptr),
      thread_name_(StringPrintf("WorkerThread-%d", thread_number)),
      worker_thread_number_(thread_number),
      random_number_(0),
      incarnation_count_for_pool_(-1) {
  CHECK_GT(thread_number, 0);
  PushToHeadOfList();
}

ThreadData::~ThreadData() {
  for (auto& entry : birth_map_) delete entry.second;
}

void ThreadData::PushToHeadOfList() {
  random_number_ = static_cast<uint32_t>(
      reinterpret_cast<uintptr_t>(this) / sizeof(*this));
  random_number_ ^= static_cast<uint32_t>(Now().ToMilliseconds());
  AutoLock lock(g_list_lock.Get());
  incarnation_count_for_pool_ = g_incarnation_counter;
  next_ = g_all_thread_data_list_head;
  g_all_thread_data_list_head = this;
}

// static
bool ThreadData::Initialize() {
  if (g_status >= DEACTIVATED) return true;
  AutoLock lock(g_list_lock.Get());
  if (g_status >= DEACTIVATED) return true;
  if (!g_tls_index.initialized() &&
      !g_tls_index.Initialize(&ThreadData::OnThreadTermination)) {
    return false;
  }
  ++g_incarnation_counter;
  g_status = PROFILING_ACTIVE;
  return true;
}

// static
bool ThreadData::InitializeAndSetTrackingStatus(Status status) {
  if (!Initialize()) return false;
  if (status > PROFILING_ACTIVE) status = PROFILING_ACTIVE;
  AutoLock lock(g_list_lock.Get());
  g_status = status;
  return true;
}

// static
ThreadData::Status ThreadData::status() { return g_status; }

// static
bool ThreadData::TrackingStatus() { return g_status > DEACTIVATED; }

// static
bool ThreadData::TrackingParentChildStatus() {
  return g_status >= PROFILING_CHILDREN_ACTIVE;
}

// static
void ThreadData::InitializeThreadContext(const std::string& suggested_name) {
  if (!Initialize()) return;
  if (g_tls_index.Get()) return;
  g_tls_index.Set(new ThreadData(suggested_name));
}

// static
ThreadData* ThreadData::Get() {
  if (!g_tls_index.initialized()) return nullptr;
  if (ThreadData* registered = static_cast<ThreadData*>(g_tls_index.Get()))
    return registered;

  ThreadData* worker = nullptr;
  int thread_number = 0;
  {
    AutoLock lock(g_list_lock.Get());
    if (g_first_retired_worker) {
      worker = g_first_retired_worker;
      g_first_retired_worker = worker->next_retired_worker_;
      worker->next_retired_worker_ = nullptr;
    } else {
      thread_number = ++g_worker_thread_data_creation_count;
    }
  }
  if (!worker) worker = new ThreadData(thread_number);
  g_tls_index.Set(worker);
  return worker;
}

// static
void ThreadData::OnThreadTermination(void* thread_data) {
  if (thread_data)
    static_cast<ThreadData*>(thread_data)->OnThreadTerminationCleanup();
}

void ThreadData::OnThreadTerminationCleanup() {
  AutoLock lock(g_list_lock.Get());
  // A record from before the last shutdown is no longer listed anywhere.
  if (incarnation_count_for_pool_ != g_incarnation_counter) return;
  ++g_cleanup_count;
  if (worker_thread_number_ == 0) return;
  next_retired_worker_ = g_first_retired_worker;
  g_first_retired_worker = this;
}

// --- ThreadData: tallies ---------------------------------------------------

// static
Births* ThreadData::TallyABirthIfActive(const Location& location) {
  if (!TrackingStatus()) return nullptr;
  ThreadData* current = Get();
  return current ? current->TallyABirth(location) : nullptr;
}

Births* ThreadData::TallyABirth(const Location& location) {
  // Counts change under the map lock too, so that a snapshot on another
  // thread reads whole values.
  AutoLock lock(map_lock_);
  auto it = birth_map_.find(location);
  if (it != birth_map_.end()) {
    it->second->RecordBirth();
    return it->second;
  }
  Births* birth = new Births(location, *this);
  birth_map_[location] = birth;
  return birth;
}

void ThreadData::TallyADeath(const Births& birth, int32_t queue_duration,
                             int32_t run_duration) {
  // Unsigned, so the mix wraps instead of overflowing.
  random_number_ += static_cast<uint32_t>(queue_duration) +
                    static_cast<uint32_t>(run_duration) + 2147483647u;
  random_number_ ^= static_cast<uint32_t>(
      reinterpret_cast<uintptr_t>(&birth) / sizeof(Births));
  if (g_now_function) queue_duration = 0;
  AutoLock lock(map_lock_);
  death_map_[&birth].RecordDeath(queue_duration, run_duration, random_number_);
}

// static
void ThreadData::TallyRunOnNamedThreadIfTracking(const Births* birth,
                                                 TrackedTime time_posted,
                                                 TrackedTime delayed_run_time,
                                                 TrackedTime start_of_run,
                                                 TrackedTime end_of_run) {
  if (!birth) return;
  ThreadData* current = TrackingStatus() ? Get() : nullptr;
  if (!current) return;
  const TrackedTime effective_post_time =
      delayed_run_time.is_null() ? time_posted : delayed_run_time;
  int32_t queue_duration = 0;
  int32_t run_duration = 0;
  if (!start_of_run.is_null()) {
    queue_duration = start_of_run.MillisecondsSince(effective_post_time);
    if (!end_of_run.is_null())
      run_duration = end_of_run.MillisecondsSince(start_of_run);
  }
  current->TallyADeath(*birth, queue_duration, run_duration);
}

// static
void ThreadData::TallyRunOnWorkerThreadIfTracking(const Births* birth,
                                                  TrackedTime time_posted,
                                                  TrackedTime start_of_run,
                                                  TrackedTime end_of_run) {
  TallyRunOnNamedThreadIfTracking(birth, time_posted, TrackedTime(),
                                  start_of_run, end_of_run);
}

// static
void ThreadData::TallyRunInAScopedRegionIfTracking(const Births* birth,
                                                   TrackedTime start_of_run,
                                                   TrackedTime end_of_run) {
  if (!birth) return;
  ThreadData* current = TrackingStatus() ? Get() : nullptr;
  if (!current) return;
  int32_t run_duration = 0;
  if (!start_of_run.is_null() && !end_of_run.is_null())
    run_duration = end_of_run.MillisecondsSince(start_of_run);
  current->TallyADeath(*birth, 0, run_duration);
}

// --- ThreadData: snapshots and shutdown ------------------------------------

void ThreadData::SnapshotDeaths(bool reset_max,
                                std::vector<TaskSnapshot>* snapshot,
                                std::map<const Births*, int64_t>* births) {
  AutoLock lock(map_lock_);
  for (auto& death : death_map_) {
    snapshot->push_back(TaskSnapshot(*death.first, death.second, thread_name_));
    (*births)[death.first] -= death.second.count();
    if (reset_max) death.second.ResetMax();
  }
  for (const auto& birth : birth_map_)
    (*births)[birth.second] += birth.second->birth_count();
}

// static
void ThreadData::Snapshot(bool reset_max, std::vector<TaskSnapshot>* snapshot) {
  ThreadData* head;
  {
    AutoLock lock(g_list_lock.Get());
    head = g_all_thread_data_list_head;
  }
  std::map<const Births*, int64_t> still_alive;
  for (ThreadData* thread = head; thread; thread = thread->next_)
    thread->SnapshotDeaths(reset_max, snapshot, &still_alive);
  for (const auto& birth : still_alive) {
    if (birth.second <= 0) continue;
    DeathData alive;
    TaskSnapshot entry(*birth.first, alive, "Still_Alive");
    entry.death_data.count = static_cast<int32_t>(
        birth.second > INT32_MAX ? INT32_MAX : birth.second);
    snapshot->push_back(entry);
  }
}

void ThreadData::Reset() {
  AutoLock lock(map_lock_);
  for (auto& death : death_map_) death.second.Clear();
  for (auto& birth : birth_map_) birth.second->Clear();
}

// static
void ThreadData::ResetAllThreadData() {
  ThreadData* head;
  {
    AutoLock lock(g_list_lock.Get());
    head = g_all_thread_data_list_head;
  }
  for (ThreadData* thread = head; thread; thread = thread->next_)
    thread->Reset();
}

// static
void ThreadData::SetAlternateTimeSource(NowFunction* now_function) {
  g_now_function = now_function;
}

// static
TrackedTime ThreadData::Now() {
  if (g_now_function)
    return TrackedTime::FromMilliseconds(static_cast<int32_t>(g_now_function()));
  if (!TrackingStatus()) return TrackedTime();
  // The low 32 bits of the tick clock in milliseconds; it wraps.
  return TrackedTime::FromMilliseconds(static_cast<int32_t>(
      static_cast<uint32_t>(TimeTicks::Now().ToInternalValue() / 1000)));
}

// static
void ThreadData::ShutdownSingleThreadedCleanup(bool leak) {
  if (!InitializeAndSetTrackingStatus(DEACTIVATED)) return;
  ThreadData* thread_list;
  {
    AutoLock lock(g_list_lock.Get());
    ++g_incarnation_counter;
    thread_list = g_all_thread_data_list_head;
    g_all_thread_data_list_head = nullptr;
    for (ThreadData* worker = g_first_retired_worker; worker;
         worker = worker->next_retired_worker_) {
      CHECK_GT(worker->worker_thread_number_, 0);
    }
    g_first_retired_worker = nullptr;
    g_worker_thread_data_creation_count = 0;
    g_cleanup_count = 0;
  }
  g_tls_index.Set(nullptr);
  g_status = DORMANT_DURING_TESTS;
  if (leak) return;
  while (thread_list) {
    ThreadData* next = thread_list->next_;
    delete thread_list;
    thread_list = next;
  }
}

}  // namespace base
