#include "quillavera_crash_reporter/quillavera_crash_server.h"

#include <stdlib.h>
#include <wchar.h>

#include <string>

#include "crash_capture/crash_pipe_server.h"
#include "quillavera_crash_reporter/client_callbacks.h"
#include "quillavera_crash_reporter/crash_flow_guard.h"
#include "quillavera_crash_reporter/crash_handling_flow.h"
#include "quillavera_crash_reporter/report_sender_global.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "quillavera_crash_reporter/reporter_state.h"

namespace {

const wchar_t kReporterWindowClass[] = L"QuillaVeraCrashReporter";

// Made and deleted on the GUI thread only. A plain pointer on purpose: exit()
// from a callback must not destroy the server on its own wait thread.
crash_capture::CrashPipeServer* g_crash_server = nullptr;

// How long the end of the reporter waits for a crash being handled on
// another thread: the whole flow with its uploads and their retries, with
// room to spare, but not for ever.
const DWORD kCrashFlowExitWaitMs = 120000;

void CreateFolder(const std::wstring& folder) {
  // Failures (the folder exists) are of no concern.
  if (!folder.empty()) _wmkdir(folder.c_str());
}

}  // namespace

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

void ExitReporter() {
  // Another thread is ending the process: this one only waits for that.
  if (!PrepareReporterExit(kCrashFlowExitWaitMs)) {
    for (;;) Sleep(INFINITE);
  }
  DestroyReportSender();
  exit(0);
}

ATOM RegisterReporterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = &ReporterWndProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kReporterWindowClass;
  return RegisterClassExW(&window_class);
}

LRESULT CALLBACK ReporterWndProc(HWND hwnd, UINT message, WPARAM wparam,
                                 LPARAM lparam) {
  if (message == WM_DESTROY) {
    CleanupGlobals();
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void CleanupGlobals() {
  // Clears the global too, so the shutdown path behind the message loop
  // cannot delete the server a second time.
  StopCrashServer();
}

int RunMessageLoop() {
  MSG msg = {};
  // GetMessageW returns -1 on an error; looping on "non-zero" would spin.
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorW(msg.hwnd, nullptr, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}
