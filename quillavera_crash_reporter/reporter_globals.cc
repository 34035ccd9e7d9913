#include "quillavera_crash_reporter/reporter_globals.h"

#include <stdlib.h>
#include <wchar.h>

#include <atomic>
#include <new>

#include "base/lazy_instance.h"
#include "base/lock.h"
#include "base/logging.h"
#include "crash_capture/crash_pipe_server.h"
#include "crash_capture/in_process_crash_handler.h"
#include "quillavera_crash_reporter/client_callbacks.h"
#include "quillavera_crash_reporter/crash_handling_flow.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "upload/feedback_endpoint.h"
#include "upload/http_upload.h"
#include "upload/report_sender.h"

namespace {

// How long the end of the reporter waits for each of start-up, the dumps in
// progress and post workers: a large BI backup, a full-memory dump or a post
// worker's last WinINet wait, with room to spare, but not for ever. A crash
// being handled is waited for to its end.
const DWORD kExitWaitMs = 120000;
// Setting up the log takes moments; a hook never waits longer than this.
const DWORD kLoggingReadyWaitMs = 10000;

struct GuardedReporterState {
  base::LockImpl lock;
  ReporterState state;
  // Who runs the crash handling flow, and whether the reporter is ending.
  // Signalled while no flow runs.
  HANDLE flow_done = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  DWORD flow_thread = 0;
  bool exiting = false;
  // Threads that gave way to the one ending the reporter: they wait for the
  // end and will not finish the dumps they may be serving.
  std::vector<DWORD> parked_threads;
  // Start-up's gates, signalled when open.
  HANDLE logging_ready = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  HANDLE startup_done = CreateEventW(nullptr, TRUE, TRUE, nullptr);
};

// Leaky: callbacks may still run while exit() tears the process down.
base::LazyInstance<GuardedReporterState>::Leaky g_reporter_state =
    LAZY_INSTANCE_INITIALIZER;

// Made and deleted on the GUI thread only. A plain pointer on purpose: exit()
// from a callback must not destroy the server on its own wait thread.
crash_capture::CrashPipeServer* g_crash_server = nullptr;

// Made on the GUI thread at start-up, after the crash server has started,
// and read by its thread-pool callbacks: a crash before it exists is only
// dumped.
std::atomic<ReportSender*> g_report_sender{nullptr};

// Never set by this program itself.
std::atomic<crash_capture::InProcessCrashHandler*> g_in_process_handler{
    nullptr};
std::atomic<CRITICAL_SECTION*> g_critical_section{nullptr};

// Needs the state's lock.
void MarkFlowDoneLocked(GuardedReporterState* guarded) {
  guarded->flow_thread = 0;
  SetEvent(guarded->flow_done);
}

void CreateFolder(const std::wstring& folder) {
  // Failures (the folder exists) are of no concern.
  if (!folder.empty()) _wmkdir(folder.c_str());
}

}  // namespace

LockedReporterState::LockedReporterState()
    : state_(&g_reporter_state.Get().state) {
  g_reporter_state.Get().lock.Lock();
}

LockedReporterState::~LockedReporterState() {
  g_reporter_state.Get().lock.Unlock();
}

bool StartCrashServer() {
  if (g_crash_server) return false;
  LockedReporterState()->client_processes.clear();

  CreateFolder(GetMakerDataFolder());
  CreateFolder(GetLocalDataFolder());
  const std::wstring dumps_folder = GetDumpsFolder();
  CreateFolder(dumps_folder);

  g_crash_server = new crash_capture::CrashPipeServer(
      GetCrashPipeName(), nullptr, &HandleClientConnected, nullptr,
      &HandleClientCrash, nullptr, &HandleClientExited, nullptr, nullptr,
      nullptr, true, &dumps_folder);
  if (g_crash_server->Start()) return true;
  StopCrashServer();
  return false;
}

void StopCrashServer() {
  delete g_crash_server;
  g_crash_server = nullptr;
}

void CleanupGlobals() {
  // Clears the globals too, so the shutdown path behind the message loop
  // cannot delete anything a second time.
  SetReporterCriticalSection(nullptr);
  SetInProcessCrashHandler(nullptr);
  StopCrashServer();
}

void SetInProcessCrashHandler(crash_capture::InProcessCrashHandler* handler) {
  delete g_in_process_handler.exchange(handler);
}

crash_capture::InProcessCrashHandler* GetInProcessCrashHandler() {
  return g_in_process_handler.load();
}

void SetReporterCriticalSection(CRITICAL_SECTION* section) {
  CRITICAL_SECTION* previous = g_critical_section.exchange(section);
  if (previous) {
    DeleteCriticalSection(previous);
    delete previous;
  }
}

CRITICAL_SECTION* GetReporterCriticalSection() {
  return g_critical_section.load();
}

bool CreateReportSender() {
  if (g_report_sender.load()) return false;
  ReportSender::Options options;
  options.timeout_ms = GetFeedbackPostTimeoutMs();
  g_report_sender.store(new (std::nothrow)
                            ReportSender(std::wstring(), options));
  return true;
}

void DestroyReportSender() { delete g_report_sender.exchange(nullptr); }

ReportSender* GetReportSender() { return g_report_sender.load(); }

bool IsCrashHandled() { return LockedReporterState()->crash_handled != 0; }

bool ClaimCrashFlow() {
  LockedReporterState state;
  GuardedReporterState& guarded = g_reporter_state.Get();
  if (state->crash_handled || guarded.exiting) return false;
  state->crash_handled = 1;
  guarded.flow_thread = GetCurrentThreadId();
  ResetEvent(guarded.flow_done);
  return true;
}

void EndCrashFlow() {
  LockedReporterState state;
  GuardedReporterState& guarded = g_reporter_state.Get();
  if (guarded.flow_thread == GetCurrentThreadId()) MarkFlowDoneLocked(&guarded);
}

void BeginStartup() {
  ResetEvent(g_reporter_state.Get().logging_ready);
  ResetEvent(g_reporter_state.Get().startup_done);
}

void MarkLoggingReady() { SetEvent(g_reporter_state.Get().logging_ready); }

void MarkStartupDone() { SetEvent(g_reporter_state.Get().startup_done); }

bool WaitForLoggingReady() {
  return WaitForSingleObject(g_reporter_state.Get().logging_ready,
                             kLoggingReadyWaitMs) == WAIT_OBJECT_0;
}

namespace {

// The crash server's dumps other than those of threads that gave way; a
// thread may give way while this waits, so the wait goes in slices.
bool WaitForDumpsInProgress(DWORD timeout_ms) {
  // Set on the GUI thread before any hook runs, cleared only after the
  // message loop.
  crash_capture::CrashPipeServer* server = g_crash_server;
  if (!server) return true;
  const DWORD kSliceMs = 100;
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    std::vector<DWORD> parked;
    {
      LockedReporterState state;
      parked = g_reporter_state.Get().parked_threads;
    }
    if (server->WaitForDumpsInProgress(kSliceMs, parked)) return true;
    if (GetTickCount64() >= deadline) return false;
  }
}

}  // namespace

bool PrepareReporterExit(DWORD timeout_ms) {
  if (WaitForSingleObject(g_reporter_state.Get().startup_done, timeout_ms) ==
      WAIT_TIMEOUT) {
    LOG(WARNING) << "Start-up still running after " << timeout_ms
                 << " ms; exiting anyway";
  }
  HANDLE wait_for = nullptr;
  {
    LockedReporterState state;
    GuardedReporterState& guarded = g_reporter_state.Get();
    const bool is_flow_thread = guarded.flow_thread == GetCurrentThreadId();
    if (guarded.exiting) {
      // The other thread may be waiting for this very flow.
      if (is_flow_thread) MarkFlowDoneLocked(&guarded);
      guarded.parked_threads.push_back(GetCurrentThreadId());
      return false;
    }
    guarded.exiting = true;
    if (guarded.flow_thread != 0 && !is_flow_thread)
      wait_for = guarded.flow_done;
  }
  // The flow's own time-outs bound it; cut off, it would leave its archive
  // and BI records half done.
  if (wait_for) {
    LOG(INFO) << "Waiting for the crash being handled";
    WaitForSingleObject(wait_for, INFINITE);
  }
  if (!WaitForDumpsInProgress(timeout_ms))
    LOG(WARNING) << "Dumps still in progress after " << timeout_ms
                 << " ms; exiting anyway";
  if (!http_upload::WaitForPostWorkers(timeout_ms))
    LOG(WARNING) << "A post still under way after " << timeout_ms
                 << " ms; exiting anyway";
  return true;
}

DWORD GetReporterExitWaitMs() { return kExitWaitMs; }

void ExitReporter() {
  // Another thread is ending the process: this one only waits for that.
  if (!PrepareReporterExit(GetReporterExitWaitMs())) {
    for (;;) Sleep(INFINITE);
  }
  DestroyReportSender();
  exit(0);
}

bool IsReporterExitingForTesting() {
  LockedReporterState state;
  return g_reporter_state.Get().exiting;
}

void ResetCrashFlowGuardForTesting() {
  LockedReporterState state;
  GuardedReporterState& guarded = g_reporter_state.Get();
  state->crash_handled = 0;
  guarded.exiting = false;
  guarded.parked_threads.clear();
  MarkFlowDoneLocked(&guarded);
}
