#include "quillavera_crash_reporter/crash_flow_guard.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "quillavera_crash_reporter/reporter_state.h"

namespace {

// Read and written only under the reporter state's lock.
struct FlowTracker {
  // Signalled while no flow runs.
  HANDLE flow_done = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  DWORD flow_thread = 0;
  bool exiting = false;
};

// Leaky: a flow may still run while exit() tears the process down.
base::LazyInstance<FlowTracker>::Leaky g_tracker = LAZY_INSTANCE_INITIALIZER;

// Needs the reporter state's lock.
void MarkFlowDoneLocked(FlowTracker* tracker) {
  tracker->flow_thread = 0;
  SetEvent(tracker->flow_done);
}

}  // namespace

bool IsCrashHandled() { return LockedReporterState()->crash_handled != 0; }

bool ClaimCrashFlow() {
  LockedReporterState state;
  FlowTracker& tracker = g_tracker.Get();
  if (state->crash_handled || tracker.exiting) return false;
  state->crash_handled = 1;
  tracker.flow_thread = GetCurrentThreadId();
  ResetEvent(tracker.flow_done);
  return true;
}

void EndCrashFlow() {
  LockedReporterState state;
  FlowTracker& tracker = g_tracker.Get();
  if (tracker.flow_thread == GetCurrentThreadId()) MarkFlowDoneLocked(&tracker);
}

bool PrepareReporterExit(DWORD timeout_ms) {
  HANDLE wait_for = nullptr;
  {
    LockedReporterState state;
    FlowTracker& tracker = g_tracker.Get();
    const bool is_flow_thread = tracker.flow_thread == GetCurrentThreadId();
    if (tracker.exiting) {
      // The other thread may be waiting for this very flow.
      if (is_flow_thread) MarkFlowDoneLocked(&tracker);
      return false;
    }
    tracker.exiting = true;
    if (tracker.flow_thread != 0 && !is_flow_thread)
      wait_for = tracker.flow_done;
  }
  if (wait_for && WaitForSingleObject(wait_for, timeout_ms) == WAIT_TIMEOUT)
    LOG(WARNING) << "Crash handling still running after " << timeout_ms
                 << " ms; exiting anyway";
  return true;
}

bool IsReporterExitingForTesting() {
  LockedReporterState state;
  return g_tracker.Get().exiting;
}

void ResetCrashFlowGuardForTesting() {
  LockedReporterState state;
  FlowTracker& tracker = g_tracker.Get();
  state->crash_handled = 0;
  tracker.exiting = false;
  MarkFlowDoneLocked(&tracker);
}
