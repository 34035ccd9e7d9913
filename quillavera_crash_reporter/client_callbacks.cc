#include "quillavera_crash_reporter/client_callbacks.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/sys_string_conversions.h"
#include "base/utf_string_conversions.h"
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

// The role as the ANSI code page holds it, with its default character for
// what it cannot hold (no best-fit look-alikes: "Ŝ" is not "S"). The notice
// is JSON, which is UTF-8, so the ANSI text travels as UTF-8: ANSI bytes
// would arrive as replacement characters.
std::string RoleInAnsiCodePage(const std::wstring& role) {
  if (role.empty()) return std::string();
  const int length = static_cast<int>(role.size());
  const int ansi_length =
      ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, role.data(), length,
                            nullptr, 0, nullptr, nullptr);
  if (ansi_length <= 0) return std::string();
  std::string ansi(static_cast<size_t>(ansi_length), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, role.data(), length,
                        &ansi[0], ansi_length, nullptr, nullptr);
  return base::WideToUTF8(base::SysMultiByteToWide(ansi, CP_ACP));
}

}  // namespace

std::string MakeIpcNoticeData(uint32_t pid, const std::wstring& type) {
  return std::to_string(pid) + "_" + RoleInAnsiCodePage(type);
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
