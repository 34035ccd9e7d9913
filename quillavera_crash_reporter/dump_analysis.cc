#include "quillavera_crash_reporter/dump_analysis.h"

#include <windows.h>
#include <shellapi.h>

#include "base/win/scoped_handle.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#if defined(QV_TEST_ENDPOINTS)
#include "upload/test_endpoint_port.h"
#endif

namespace {

const wchar_t kAnalyserName[] = L"dump_analyser.exe";
const wchar_t kAnalyserDoneEvent[] = L"DumpAnalyserEventHandler";
const DWORD kAnalyserWaitMs = 5000;

// How long the analysis waits for the walker. A test build may set it in
// QV_TEST_ANALYSER_WAIT_MS (up to 10 minutes): on a loaded test machine
// the walker's mere start can take longer than 5 s, and a test that checks
// the packed text needs it whole; the walker's signal ends the wait.
DWORD AnalyserWaitMs() {
#if defined(QV_TEST_ENDPOINTS)
  return static_cast<DWORD>(ReadTestTimeoutMs(
      L"QV_TEST_ANALYSER_WAIT_MS", kAnalyserWaitMs, 10 * 60 * 1000));
#else
  return kAnalyserWaitMs;
#endif
}

std::wstring AnalyserParameters(const std::wstring& dump_path,
                                const std::wstring& result_path) {
  return L"/c dump_analyser.exe -c \"" + dump_path + L"\" > \"" + result_path +
         L"\"";
}

// The walker may signal that it is done; cmd's end means the redirected text
// is complete and closed. Either ends the first wait; after the signal the
// rest of the time goes to cmd finishing.
void WaitForAnalyser(HANDLE done_event, HANDLE process) {
  const DWORD wait_ms = AnalyserWaitMs();
  DWORD start = ::GetTickCount();
  if (!process) {
    if (done_event) ::WaitForSingleObject(done_event, wait_ms);
    return;
  }
  if (!done_event) {
    ::WaitForSingleObject(process, wait_ms);
    return;
  }
  HANDLE handles[] = {done_event, process};
  DWORD woke = ::WaitForMultipleObjects(2, handles, FALSE, wait_ms);
  if (woke != WAIT_OBJECT_0) return;
  DWORD spent = ::GetTickCount() - start;
  if (spent < wait_ms) {
    ::WaitForSingleObject(process, wait_ms - spent);
  }
}

}  // namespace

std::wstring GetModuleFolder() {
  wchar_t buffer[1024] = {};
  DWORD length = ::GetModuleFileNameW(nullptr, buffer, 1024);
  if (length == 0 || length >= 1024) return std::wstring();
  std::wstring path(buffer, length);
  size_t separator = path.rfind(L'\\');
  if (separator == std::wstring::npos) separator = path.rfind(L'/');
  if (separator == std::wstring::npos) return std::wstring();
  return path.substr(0, separator);
}

int AnalyseDump(const std::wstring& dump_path,
                const std::wstring& result_path) {
  std::wstring parameters = AnalyserParameters(dump_path, result_path);
  std::wstring folder = GetModuleFolder();
  if (folder.empty()) return ANALYSE_DUMP_NO_MODULE_FOLDER;
  if (!FileExists(folder + L"\\" + kAnalyserName)) {
    ::OutputDebugStringW(L"analyses error: analyses process file not exist.\n");
    return ANALYSE_DUMP_NO_ANALYSER;
  }
  if (!FileExists(dump_path)) return ANALYSE_DUMP_NO_DUMP;

  base::win::ScopedHandle done_event(
      ::CreateEventW(nullptr, TRUE, FALSE, kAnalyserDoneEvent));
  if (done_event.IsValid()) ::ResetEvent(done_event.Get());

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = L"cmd";
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_HIDE;
  if (!::ShellExecuteExW(&info)) return static_cast<int>(::GetLastError());
  base::win::ScopedHandle process(info.hProcess);

  WaitForAnalyser(done_event.Get(), process.Get());
  return ANALYSE_DUMP_STARTED;
}
