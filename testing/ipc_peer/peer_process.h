// The stand-in client application window (ipc_peer_window.exe, built beside
// the unit tests) in a process of its own, and what it recorded. For unit
// tests that send IPC notices to a real peer.
#ifndef TESTING_IPC_PEER_PEER_PROCESS_H_
#define TESTING_IPC_PEER_PEER_PROCESS_H_

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/utf_string_conversions.h"
#include "base/values.h"
#include "framework/framework/ipc.h"

namespace ipc_testing {

inline std::wstring ProgramBesideThisOne(const wchar_t* file_name) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring result(path, length);
  return result.substr(0, result.find_last_of(L'\\') + 1) + file_name;
}

// Started with the object, ended (if still running) when it goes.
class PeerProcess {
 public:
  PeerProcess(const std::wstring& output_path, bool hang) {
    DeleteFileW(output_path.c_str());
    std::wstring command = L"\"" + ProgramBesideThisOne(L"ipc_peer_window.exe") +
                           L"\" \"--out=" + output_path + L"\"";
    if (hang) command += L" --hang --lifetime-ms=30000";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process_)) {
      process_ = {};
    }
  }
  ~PeerProcess() {
    if (!process_.hProcess) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, INFINITE);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool started() const { return process_.hProcess != nullptr; }
  uint32_t pid() const { return process_.dwProcessId; }

  // Waits (bounded) until the peer's window can be found.
  valmora::IPC::PeerWindow WaitForWindow() const {
    for (int attempt = 0; attempt < 500; ++attempt) {
      valmora::IPC::PeerWindow window = valmora::IPC::FindPeerWindow();
      if (window.IsValid()) return window;
      if (WaitForSingleObject(process_.hProcess, 20) != WAIT_TIMEOUT) break;
    }
    return valmora::IPC::PeerWindow(nullptr);
  }

  // Asks the peer to end and waits for it; its exit code.
  DWORD Close(HWND window) const {
    PostMessageW(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(process_.hProcess, 20000);
    DWORD exit_code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &exit_code);
    return exit_code;
  }

 private:
  PROCESS_INFORMATION process_ = {};
};

inline std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::ifstream file(base::WideToUTF8(path).c_str(), std::ios::binary);
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

// The exact bytes the peer found in the mapping (it writes them as \u00XX).
inline std::string RecordedBytes(const base::DictionaryValue& record) {
  string16 text;
  if (!record.GetString("text", &text)) return "<no text>";
  std::string bytes;
  for (wchar_t unit : text) bytes.push_back(static_cast<char>(unit));
  return bytes;
}

}  // namespace ipc_testing

#endif  // TESTING_IPC_PEER_PEER_PROCESS_H_
