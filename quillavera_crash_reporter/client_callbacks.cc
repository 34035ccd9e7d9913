#include "quillavera_crash_reporter/client_callbacks.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/sys_string_conversions.h"
#include "crash_capture/client_record.h"
#include "framework/framework/ipc.h"
#include "framework/performance/process_info_utility.h"
#include "quillavera_crash_reporter/ipc_notice_queue.h"
#include "quillavera_crash_reporter/process_registry.h"
#include "quillavera_crash_reporter/reporter_globals.h"

namespace {

const DWORD kNoticeFlushMs = 5000;

struct ReporterNoticeQueue {
  IpcNoticeQueue queue{&SendIpcNotice};
};

// The hooks' notices, sent in order through SendIpcNotice. Leaky: pool
// threads may still be sending while exit() runs.
base::LazyInstance<ReporterNoticeQueue>::Leaky g_notice_queue =
    LAZY_INSTANCE_INITIALIZER;

void PostIpcNotice(int code, const std::string& data) {
  g_notice_queue.Get().queue.Post(code, data);
}

}  // namespace

std::string MakeIpcNoticeData(uint32_t pid, const std::wstring& type) {
  return std::to_string(pid) + "_" + base::SysWideToMultiByte(type, 0);
}

void SendIpcNotice(int code, const std::string& data) {
  const valmora::IPC::PeerWindow peer = valmora::IPC::FindPeerWindow();
  if (!peer.IsValid()) return;
  valmora::IPC channel = valmora::IPC::FromPeerWindow(peer.window());
  channel.Send(static_cast<uint32_t>(code), data);
}

// Runs while the crash server holds its pipe and client list: the notice is
// only posted, so a slow or hung client application holds up no
// registration.
void HandleClientConnected(void*, const crash_capture::ClientRecord* client) {
  WaitForLoggingReady();
  const uint32_t pid = client->pid();
  std::wstring type = L"main";
  std::wstring track_id = L"0";
  GetProcessTypeAndTrackId(pid, &type, &track_id);
  LOG(INFO) << "Process " << pid << " connect, type: " << type
            << ", trackid: " << track_id;
  bool notify = false;
  {
    LockedReporterState state;
    notify = RegisterClientProcess(&*state, pid, type, track_id);
  }
  if (notify)
    PostIpcNotice(kIpcNoticeClientConnected, MakeIpcNoticeData(pid, type));
}

void HandleClientExited(void*, const crash_capture::ClientRecord* client) {
  WaitForLoggingReady();
  const uint32_t pid = client->pid();
  LOG(INFO) << "Process " << pid << " exited.";
  std::wstring type;
  ClientExitAction action = CLIENT_EXIT_NOTHING;
  {
    LockedReporterState state;
    action = UnregisterClientProcess(&*state, pid, &type);
  }
  switch (action) {
    case CLIENT_EXIT_NOTHING:
      return;
    case CLIENT_EXIT_NOTIFY:
      // Queued behind this client's connect notice.
      PostIpcNotice(kIpcNoticeClientExited, MakeIpcNoticeData(pid, type));
      return;
    case CLIENT_EXIT_END_REPORTER:
      // Notices of other clients still on their way go out first, within
      // bounds: a hung client application must not keep the reporter alive.
      g_notice_queue.Get().queue.Flush(kNoticeFlushMs);
      ExitReporter();
  }
}
