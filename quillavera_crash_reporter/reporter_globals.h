// The reporter's process-wide state and its one way out.
//
// The crash server's callbacks run on thread-pool threads, possibly at the
// same time, and share the client registry, the once-only crash flag, the
// report sender and the crash server. Everything here is either behind the
// state's lock or atomic.
//
//   {
//     LockedReporterState state;
//     state->client_processes.push_back(entry);
//   }
//
// The crash handling flow runs for the first crash only: the flag is claimed
// in one step under the lock, so two crashes arriving together cannot both
// run the flow. While a flow runs, the end of the reporter from another
// thread (say, the main client's exit noticed on another thread-pool thread,
// or the message loop's end) waits for it to reach its own end, which the
// flow's time-outs bound, so the flow is not cut off half-way through its
// files and uploads.

#ifndef QUILLAVERA_CRASH_REPORTER_REPORTER_GLOBALS_H_
#define QUILLAVERA_CRASH_REPORTER_REPORTER_GLOBALS_H_

#include <windows.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "framework/performance/process_info_utility.h"

class ReportSender;
namespace crash_capture {
class InProcessCrashHandler;
}

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

// Holds the state's lock for its lifetime. The lock is recursive for its
// thread.
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

// The crash server. Started and stopped on the GUI thread only.
//
// Creates the data folders and starts the crash server as the only instance
// of the crash pipe. False when a server exists already or it cannot start
// (for instance because another copy of the program owns the pipe).
bool StartCrashServer();
// Deletes the crash server, if any.
void StopCrashServer();
// What the window procedure tidies when a window of the class goes away:
// the crash server, and the in-process handler and the critical section
// below when they are set. Each global is cleared as well.
void CleanupGlobals();

// An in-process crash handler and a heap critical section, which this
// program never makes: a build that hosts a crash handler of its own sets
// them, and CleanupGlobals deletes them.
//
// Takes |handler|, made with new; a handler set before is deleted.
void SetInProcessCrashHandler(crash_capture::InProcessCrashHandler* handler);
// The handler, or null.
crash_capture::InProcessCrashHandler* GetInProcessCrashHandler();
// Takes |section|, made with new and initialised; one set before is
// deleted.
void SetReporterCriticalSection(CRITICAL_SECTION* section);
// The section, or null.
CRITICAL_SECTION* GetReporterCriticalSection();

// The report sender. The crash handling flow runs only while it exists.
//
// Creates the sender with no checkpoint file (so no daily limit). False when
// one exists already; true also when the allocation failed and the sender
// stays null.
bool CreateReportSender();
// Deletes the sender, if any.
void DestroyReportSender();
// The sender, or null.
ReportSender* GetReportSender();

// The crash handling flow's claim.
//
// True when a crash has been handled, or is being handled, already.
bool IsCrashHandled();
// Sets the once-only flag when it is clear and the reporter is not ending,
// and records the calling thread as the flow's. False otherwise: the caller
// must not run the flow.
bool ClaimCrashFlow();
// The flow that the calling thread claimed is done.
void EndCrashFlow();

// Ends the claimed flow on every path out of a scope.
class ScopedCrashFlow {
 public:
  ScopedCrashFlow() = default;
  ~ScopedCrashFlow() { EndCrashFlow(); }
  ScopedCrashFlow(const ScopedCrashFlow&) = delete;
  ScopedCrashFlow& operator=(const ScopedCrashFlow&) = delete;
};

// Start-up. The crash server's hooks may run as soon as the pipe is won,
// before the log is set up and while the housekeeping works on the BI log.
// The entry closes both gates before it starts the server; they are open
// otherwise (in tests, say).
//
// Closes both gates.
void BeginStartup();
// The log is set up: the hooks may write records. A record written before
// would go to another file and fix the log's lock on that file's name.
void MarkLoggingReady();
// Start-up is done: the reporter may end.
void MarkStartupDone();
// Waits, within bounds, until the log is set up. True when it is.
bool WaitForLoggingReady();

// The end of the reporter.
//
// Waits, at most |timeout_ms| for each, until start-up is done (the
// housekeeping cut off half-way would leave a BI backup half appended, to be
// appended again at the next start), then for as long as it takes until a
// crash handling flow on another thread is done (the flow's own thread never
// waits; the flow's time-outs bound it), then, at most |timeout_ms| for
// each, until the crash server has no dump in progress other than the
// calling thread's, its hook returned and its client released, and until no
// post worker runs (one whose post was abandoned at its deadline may still
// be sending). Marks the reporter as ending before the flow wait. Returns
// false when another thread is ending the reporter already; a flow thread
// that gets false counts as done, so that thread can go ahead at once.
bool PrepareReporterExit(DWORD timeout_ms);

// How long PrepareReporterExit waits for each of its bounded waits when the
// reporter ends.
DWORD GetReporterExitWaitMs();

// Ends the process with exit code 0, after deleting the report sender.
// Called from the crash-server callbacks. A crash being handled on another
// thread is waited for to its end, so it is not cut off half-way; the flow
// itself ends the process without waiting for itself.
[[noreturn]] void ExitReporter();

// Forgets every claim and the end mark. Tests only.
void ResetCrashFlowGuardForTesting();

// True once the reporter is marked as ending. Tests only: they wait for it
// to order the threads that end the reporter.
bool IsReporterExitingForTesting();

#endif  // QUILLAVERA_CRASH_REPORTER_REPORTER_GLOBALS_H_
