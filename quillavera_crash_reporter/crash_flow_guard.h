// Who is handling a crash, and the end of the reporter around it.
//
// The crash handling flow runs for the first crash only. The once-only flag
// is claimed in one step under the reporter state's lock, so two crashes
// arriving together cannot both run the flow. While a flow runs, the end of
// the reporter from another thread (say, the main client's exit noticed on
// another thread-pool thread) waits a bounded time for the flow to finish,
// so the flow is not cut off half-way through its files.

#ifndef QUILLAVERA_CRASH_REPORTER_CRASH_FLOW_GUARD_H_
#define QUILLAVERA_CRASH_REPORTER_CRASH_FLOW_GUARD_H_

#include <windows.h>

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

// Marks the reporter as ending. When a flow runs on another thread, waits
// for it at most |timeout_ms| (the flow's own thread never waits). Returns
// false when another thread is ending the reporter already; a flow thread
// that gets false counts as done, so that thread can go ahead at once.
bool PrepareReporterExit(DWORD timeout_ms);

// Forgets every claim and the end mark. Tests only.
void ResetCrashFlowGuardForTesting();

// True once the reporter is marked as ending. Tests only: they wait for it
// to order the threads that end the reporter.
bool IsReporterExitingForTesting();

#endif  // QUILLAVERA_CRASH_REPORTER_CRASH_FLOW_GUARD_H_
