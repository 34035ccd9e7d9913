// What the crash-server callbacks share. They run on thread-pool threads,
// possibly at the same time, so every access holds the state's lock.
//
//   {
//     LockedReporterState state;
//     state->client_processes.push_back(entry);
//   }

#ifndef QUILLAVERA_CRASH_REPORTER_REPORTER_STATE_H_
#define QUILLAVERA_CRASH_REPORTER_REPORTER_STATE_H_

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "framework/performance/process_info_utility.h"

struct ReporterState {
  // One entry per connected client, in connect order.
  std::vector<ProcessEntry> client_processes;
  // Filled at connect, never erased.
  std::map<uint32_t, std::wstring> track_ids;
  // The first client whose type is "main".
  uint32_t main_pid = 0;
  // Lets the crash handling flow run for the first crash only.
  uint8_t crash_handled = 0;
};

// Holds the lock for its lifetime. The lock is recursive for its thread.
class LockedReporterState {
 public:
  LockedReporterState();
  ~LockedReporterState();
  LockedReporterState(const LockedReporterState&) = delete;
  LockedReporterState& operator=(const LockedReporterState&) = delete;

  ReporterState* operator->() { return state_; }
  ReporterState& operator*() { return *state_; }

 private:
  ReporterState* state_;
};

#endif  // QUILLAVERA_CRASH_REPORTER_REPORTER_STATE_H_
