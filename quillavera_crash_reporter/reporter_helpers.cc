#include "quillavera_crash_reporter/reporter_helpers.h"

#include <shellapi.h>

#include <sstream>

#include "base/logging.h"
#include "crash_capture/in_process_crash_handler.h"
#include "quillavera_crash_reporter/dump_analysis.h"
#include "quillavera_crash_reporter/reporter_constants.h"
#include "quillavera_crash_reporter/reporter_globals.h"
#include "quillavera_crash_reporter/reporter_paths.h"

#if defined(QV_TEST_ENDPOINTS)
#include "upload/test_endpoint_port.h"
#endif

namespace {

const wchar_t kReporterWindowClass[] = L"QuillaVeraCrashReporter";
const DWORD kProgramWaitStepMs = 1000;
const DWORD kIniValueChars = 4096;

HINSTANCE g_instance = nullptr;

HelperMessageBox g_message_box = &::MessageBoxW;

#if !defined(QV_TEST_ENDPOINTS)
// A reserved name that never resolves: the real host is set by the
// deployment.
const char kStorageBaseUrl[] = "http://storage.jov.quillavera.invalid";
#endif

// The box of a failed request, then the version mark every request leaves.
void FinishRequest(bool succeeded, const wchar_t* failure_text) {
  if (!succeeded) g_message_box(nullptr, failure_text, L"Dumper", MB_OK);
  SetVersionValue(L"1.1");
}

}  // namespace

bool CreateReporterWindow(HINSTANCE instance, int show_command) {
  g_instance = instance;
  HWND window = CreateWindowW(kReporterWindowClass, L"", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                              nullptr, instance, nullptr);
  if (!window) return false;
  ShowWindow(window, show_command);
  UpdateWindow(window);
  return true;
}

HINSTANCE GetReporterInstance() { return g_instance; }

bool FormatDumpRequestResult(const void*, const void*, const void*,
                             const void*, const void*, bool succeeded) {
  std::wostringstream text;
  text << L"Dump generation request:" << (succeeded ? L"succeeded" : L"failed")
       << L"\r\n";
  return succeeded;
}

void ShowDumpRequestFailedBox() {
  crash_capture::InProcessCrashHandler* handler = GetInProcessCrashHandler();
  FinishRequest(handler && handler->WriteMinidump(), L"Dump request failed");
}

void ShowUploadRequestFailedBox() {
  crash_capture::InProcessCrashHandler* handler = GetInProcessCrashHandler();
  FinishRequest(handler && handler->RequestUpload(0), L"upload request failed");
}

void SetHelperMessageBoxForTesting(HelperMessageBox box) {
  g_message_box = box ? box : &::MessageBoxW;
}

void LogMonitorProcessInfo(const std::string& text) {
  LOG(INFO) << "Monitor process info: " << text;
}

std::wstring GetCrashServerReporterName() {
  return L"quillavera_crash_server_reporter";
}

std::wstring GetReporterExeName() { return L"quillavera_reporter.exe"; }

std::string MakeProductPrefixedName(uint32_t n) {
  return "quillavera_" + std::to_string(n);
}

std::string GetStorageBaseUrl() {
#if defined(QV_TEST_ENDPOINTS)
  const std::wstring port = ReadTestEndpointPort(L"QV_TEST_LBS_PORT");
  // Digits only.
  return "http://127.0.0.1:" + std::string(port.begin(), port.end());
#else
  return kStorageBaseUrl;
#endif
}

int GetOne() { return 1; }

std::wstring GetFileStem(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring ReadIniString(const std::wstring& file, const std::wstring& section,
                           const std::wstring& key) {
  wchar_t value[kIniValueChars] = {};
  const DWORD length = GetPrivateProfileStringW(
      section.c_str(), key.c_str(), L"", value, kIniValueChars, file.c_str());
  return std::wstring(value, length);
}

bool RunProgramAndWait(const std::wstring& program,
                       const std::wstring& parameters,
                       const std::wstring& event_name) {
  const std::wstring folder = GetModuleFolder();
  if (folder.empty() || !FileExists(folder + L"\\" + program)) return false;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
  if (event) ResetEvent(event);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExW(&info)) {
    if (event) CloseHandle(event);
    return false;
  }
  // Nothing may set the event: the program's end ends the wait as well.
  for (;;) {
    if (event && WaitForSingleObject(event, kProgramWaitStepMs) == WAIT_OBJECT_0)
      break;
    if (!info.hProcess ||
        WaitForSingleObject(info.hProcess, event ? 0 : kProgramWaitStepMs) ==
            WAIT_OBJECT_0)
      break;
  }
  if (info.hProcess) CloseHandle(info.hProcess);
  if (event) CloseHandle(event);
  return true;
}
