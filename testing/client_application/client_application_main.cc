// Stands in for a process of the desktop client application, as the crash
// reporter relies on it:
//   - the main process creates the ready event, starts the reporter and
//     waits until the reporter signals it;
//   - it writes its own records to the product log in the data folder and
//     holds that file open while it runs;
//   - it owns the IPC window (main process only) and prints every notice;
//   - it registers over the crash pipe with its role and start time as
//     custom information, its role (and a renderer's track id) on its
//     command line;
//   - on the command "crash" on standard input it crashes for real (an
//     access violation on its main thread) and asks for a dump from its
//     exception handler; "exit" ends it cleanly.
// Prints one JSON line per thing it saw.
//
//   client_application.exe --watch-process=<pid>   (prints how it ended)
//   client_application.exe [--start-reporter=<exe>] [--full]
//                          [--dump-wait-ms=<n>] [--type=<role> --ptrackid=<n>
//                          --<anything>]
//
// No --type means the main process. As with the real application, a value
// on the command line ends at the next " --".
#include <windows.h>
// After windows.h, which they need.
#include <dbghelp.h>
#include <shlobj.h>
#include <wchar.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/logging.h"
#include "crash_capture/crash_pipe_client.h"
#include "crash_capture/crash_pipe_protocol.h"
#include "framework/framework/ipc.h"
#include "player/common/path_service2.h"
#include "testing/crash_common/json_line.h"

namespace {

using crash_capture::ClientCustomInfo;
using crash_capture::CrashPipeClient;
using crash_capture::CustomInfoEntry;
using crash_testing::JsonLine;

const wchar_t kPipeName[] = L"\\\\.\\pipe\\QuillaveraCrashServices\\Server";
const wchar_t kReadyEventName[] = L"quillaveraCrashServerEventHandler";
const DWORD kReadyWaitMs = 60000;
const UINT kCommandMessage = WM_APP + 20;
enum Command { COMMAND_CRASH = 1, COMMAND_EXIT = 2 };

struct Options {
  std::wstring reporter;
  std::wstring role = L"main";
  bool full = false;
  DWORD watch_pid = 0;
  // Long enough for the whole crash handling of a main-process crash.
  DWORD dump_wait_ms = 120000;
};

Options g_options;
CrashPipeClient* g_client = nullptr;

bool TakeOption(const wchar_t* argument, const wchar_t* prefix,
                std::wstring* value) {
  const size_t length = wcslen(prefix);
  if (wcsncmp(argument, prefix, length) != 0) return false;
  *value = argument + length;
  return true;
}

void ParseOptions(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    std::wstring value;
    if (TakeOption(argv[i], L"--start-reporter=", &value)) {
      g_options.reporter = value;
    } else if (TakeOption(argv[i], L"--type=", &value)) {
      g_options.role = value;
    } else if (TakeOption(argv[i], L"--dump-wait-ms=", &value)) {
      g_options.dump_wait_ms = wcstoul(value.c_str(), nullptr, 10);
    } else if (TakeOption(argv[i], L"--watch-process=", &value)) {
      g_options.watch_pid = wcstoul(value.c_str(), nullptr, 10);
    } else if (wcscmp(argv[i], L"--full") == 0) {
      g_options.full = true;
    }
  }
}

std::wstring LocalTimeText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t text[32];
  swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
           now.wDay, now.wHour, now.wMinute, now.wSecond);
  return text;
}

CustomInfoEntry Entry(const std::wstring& name, const std::wstring& value) {
  CustomInfoEntry entry = {};
  wcsncpy(entry.name, name.c_str(), CustomInfoEntry::kNameMaxLength - 1);
  wcsncpy(entry.value, value.c_str(), CustomInfoEntry::kValueMaxLength - 1);
  return entry;
}

// Not part of the application: tells a driver how a process (the reporter)
// ended, since a Windows exit code does not always reach the host.
int WatchProcess(DWORD pid) {
  HANDLE process =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  // The driver may end the process only once it is held here.
  JsonLine("watching")
      .Add("pid", uint64_t{pid})
      .Add("ok", process != nullptr)
      .Print();
  DWORD code = STILL_ACTIVE;
  const bool ended = process &&
                     WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(process, &code);
  JsonLine("process_exit")
      .Add("pid", uint64_t{pid})
      .Add("ended", ended)
      .Add("code", uint64_t{code})
      .Print();
  if (process) CloseHandle(process);
  return ended ? 0 : 1;
}

// The application owns the data folder; it exists before the reporter runs.
void CreateDataFolder() {
  wchar_t app_data[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0,
                              app_data))) {
    return;
  }
  const std::wstring maker = std::wstring(app_data) + L"\\Kestrix";
  _wmkdir(maker.c_str());
  _wmkdir((maker + L"\\QuillaVera").c_str());
}

// Creates the ready event, starts the reporter and waits until it is up.
bool StartReporter() {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kReadyEventName);
  // The reporter writes its ERROR records to this process's error stream.
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  std::wstring command_line = L"\"" + g_options.reporter + L"\"";
  const bool started =
      CreateProcessW(g_options.reporter.c_str(), &command_line[0], nullptr,
                     nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  const DWORD start_error = started ? 0 : GetLastError();
  const bool up = started && ready &&
                  WaitForSingleObject(ready, kReadyWaitMs) == WAIT_OBJECT_0;
  JsonLine("reporter")
      .Add("started", started)
      .Add("ready", up)
      .Add("pid", uint64_t{started ? process.dwProcessId : 0})
      .Add("error", uint64_t{start_error})
      .Print();
  if (started) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (ready) CloseHandle(ready);
  return up;
}

class NoticePrinter : public valmora::IPC::Listener {
 public:
  void OnIPCMessage(const valmora::IPC&, uint32_t id,
                    const std::string& data) override {
    JsonLine("notice").Add("id", uint64_t{id}).Add("data", data).Print();
  }
};

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
    return EXCEPTION_CONTINUE_SEARCH;
  LOG(INFO) << "Client application crashed, asking for a dump";
  const bool ok = g_client->RequestDump(pointers);
  // WAIT_OBJECT_0: released by the reporter; anything else: not released.
  JsonLine("crash_dump")
      .Add("ok", ok)
      .Add("wait_result", uint64_t{g_client->last_wait_result()})
      .Print();
  ExitProcess(ok ? 0 : 1);
}

void Crash() {
  AddVectoredExceptionHandler(1, OnException);
  // A real access violation; the pointer is opaque to the compiler.
  volatile int* volatile target = reinterpret_cast<int*>(0x10);
  *target = 1;
}

DWORD WINAPI ReadCommands(void* main_thread) {
  const DWORD thread = static_cast<DWORD>(reinterpret_cast<uintptr_t>(main_thread));
  char line[256];
  while (fgets(line, sizeof(line), stdin)) {
    const std::string command(line, strcspn(line, "\r\n"));
    if (command == "crash") {
      PostThreadMessageW(thread, kCommandMessage, COMMAND_CRASH, 0);
    } else if (command == "exit") {
      break;
    }
  }
  PostThreadMessageW(thread, kCommandMessage, COMMAND_EXIT, 0);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ParseOptions(argc, argv);
  if (g_options.watch_pid) return WatchProcess(g_options.watch_pid);
  const bool is_main = g_options.role == L"main";

  // The product log in the data folder, held open from here on.
  CreateDataFolder();
  InitLogFile(L"quillavera");
  LOG(INFO) << "Client application " << g_options.role << " start";

  if (!g_options.reporter.empty() && !StartReporter()) return 2;

  NoticePrinter printer;
  if (is_main) valmora::IPC::RegisterListener(&printer);

  std::vector<CustomInfoEntry> entries = {
      Entry(L"process_type", g_options.role),
      Entry(L"custom_info", LocalTimeText())};
  const ClientCustomInfo info = {entries.data(), entries.size()};
  const DWORD dump_type =
      g_options.full ? MiniDumpWithFullMemory | MiniDumpWithHandleData
                     : MiniDumpNormal;
  CrashPipeClient client(kPipeName, dump_type, &info);
  client.set_dump_wait_ms(g_options.dump_wait_ms);
  g_client = &client;
  const bool registered = client.Register();
  JsonLine("registered")
      .Add("ok", registered)
      .Add("pid", uint64_t{GetCurrentProcessId()})
      .Add("server_pid", uint64_t{client.server_process_id()})
      .Add("role", g_options.role)
      .Print();
  if (!registered) return 3;

  // The queue exists before the reader can post to it.
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  HANDLE reader = CreateThread(
      nullptr, 0, ReadCommands,
      reinterpret_cast<void*>(static_cast<uintptr_t>(GetCurrentThreadId())), 0,
      nullptr);
  if (reader) CloseHandle(reader);
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == kCommandMessage) {
      if (message.wParam == COMMAND_CRASH) Crash();
      if (message.wParam == COMMAND_EXIT) break;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  LOG(INFO) << "Client application " << g_options.role << " exit";
  JsonLine("exited").Add("pid", uint64_t{GetCurrentProcessId()}).Print();
  if (is_main) valmora::IPC::UnregisterListener(&printer);
  return 0;
}
