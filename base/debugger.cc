#include "base/debugger.h"

#include <stdlib.h>
#include <windows.h>

#include <atomic>
#include <string>

namespace base {

namespace {

std::atomic<bool> g_suppress_debug_ui{false};

const wchar_t kAeDebugKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";
const size_t kMaxDebuggerCommand = 1026;

// Replaces each "%ld" of the AeDebug template by |pid|.
std::wstring BuildDebuggerCommand(const std::wstring& templ, uint32_t pid) {
  const std::wstring pid_text = std::to_wstring(pid);
  std::wstring command;
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ.compare(i, 3, L"%ld") == 0) {
      command += pid_text;
      i += 2;
    } else {
      command += templ[i];
    }
  }
  return command;
}

bool ReadAeDebugger(std::wstring* debugger) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAeDebugKey, 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  wchar_t buffer[1026] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  DWORD type = 0;
  const LONG result =
      RegQueryValueExW(key, L"Debugger", nullptr, &type,
                       reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ || buffer[0] == L'\0')
    return false;
  *debugger = buffer;
  return true;
}

}  // namespace

bool BeingDebugged() { return IsDebuggerPresent() != FALSE; }

void BreakDebugger() {
  if (IsDebugUISuppressed()) _exit(1);
  __debugbreak();
  // Only reached when an attached debugger lets the trap go on.
  TerminateProcess(GetCurrentProcess(), EXCEPTION_BREAKPOINT);
  for (;;) Sleep(INFINITE);
}

void Alias(const void*) {}

bool WaitForDebugger(int wait_seconds, bool silent) {
  const int rounds = wait_seconds * 10;
  for (int i = 0; i < rounds; ++i) {
    if (BeingDebugged()) {
      if (!silent) BreakDebugger();
      return true;
    }
    Sleep(100);
  }
  return false;
}

bool SpawnDebuggerOnProcess(uint32_t process_id) {
  std::wstring debugger;
  if (!ReadAeDebugger(&debugger)) return false;
  std::wstring command = BuildDebuggerCommand(debugger, process_id);
  if (command.size() >= kMaxDebuggerCommand) return false;

  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup_info, &process_info)) {
    return false;
  }
  CloseHandle(process_info.hThread);
  WaitForInputIdle(process_info.hProcess, 10000);
  CloseHandle(process_info.hProcess);
  return true;
}

void SetSuppressDebugUI(bool suppress) { g_suppress_debug_ui = suppress; }

bool IsDebugUISuppressed() { return g_suppress_debug_ui; }

}  // namespace base
