// Hosts a crash pipe server for whole-program tests and prints one JSON line
// per hook call. Stops cleanly on a line (or end of file) on standard input.
//
//   crash_server_host.exe PIPE_NAME DUMP_FOLDER [--dump-hook-sleep-ms=N]
//                         [--no-dumps] [--early-client]
#include <windows.h>

#include <cwchar>
#include <iostream>
#include <memory>
#include <string>

#include "base/logging.h"
#include "crash_capture/crash_pipe_server.h"
#include "testing/crash_common/json_line.h"

namespace {

using crash_capture::ClientCustomInfo;
using crash_capture::ClientRecord;
using crash_capture::CustomInfoEntry;
using crash_testing::JsonLine;

DWORD g_dump_hook_sleep_ms = 0;

// A field may fill its width without a NUL.
std::wstring FieldText(const wchar_t* field, size_t width) {
  return std::wstring(field, wcsnlen(field, width));
}

std::string CustomInfoObject(const ClientCustomInfo& info) {
  std::string object = "{";
  for (uint64_t i = 0; i < info.count; ++i) {
    const CustomInfoEntry& entry = info.entries[i];
    if (i) object += ", ";
    object += JsonLine::Quote(crash_testing::WideToUtf8(
        FieldText(entry.name, CustomInfoEntry::kNameMaxLength)));
    object += ": ";
    object += JsonLine::Quote(crash_testing::WideToUtf8(
        FieldText(entry.value, CustomInfoEntry::kValueMaxLength)));
  }
  return object + "}";
}

void OnClientConnected(void*, const ClientRecord* client) {
  JsonLine("connect")
      .Add("pid", uint64_t{client->pid()})
      .Add("crash_id", uint64_t{client->crash_id()})
      .Print();
}

void OnClientDumpRequest(void*, const ClientRecord* client,
                         const std::wstring* dump_path) {
  JsonLine("dump_begin").Add("pid", uint64_t{client->pid()}).Print();
  JsonLine line("dump");
  line.Add("pid", uint64_t{client->pid()});
  if (dump_path) {
    line.Add("path", *dump_path);
  } else {
    line.AddNull("path");
  }
  line.AddRaw("custom_info", CustomInfoObject(client->GetCustomInfo()));
  Sleep(g_dump_hook_sleep_ms);
  // Taken last: the client must not wake before this moment.
  line.Add("hook_end_ms", crash_testing::SystemTimeMs()).Print();
}

void OnClientExited(void*, const ClientRecord* client) {
  JsonLine("exit").Add("pid", uint64_t{client->pid()}).Print();
}

void OnUploadRequest(void*, uint32_t crash_id) {
  JsonLine("upload").Add("crash_id", uint64_t{crash_id}).Print();
}

// Holds the thread pool's wait thread while it runs, so the server cannot
// listen yet.
struct WaitThreadStall {
  HANDLE entered;
  HANDLE release;
};

void CALLBACK StallWaitThread(void* context, BOOLEAN) {
  auto* stall = static_cast<WaitThreadStall*>(context);
  SetEvent(stall->entered);
  WaitForSingleObject(stall->release, 10000);
}

// Starts |server| while a client opens the pipe and closes it again before
// the server has begun to listen.
bool StartAfterEarlyClient(crash_capture::CrashPipeServer* server,
                           const std::wstring& pipe_name) {
  WaitThreadStall stall = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                           CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HANDLE trigger = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  HANDLE wait = nullptr;
  RegisterWaitForSingleObject(&wait, trigger, StallWaitThread, &stall, INFINITE,
                              WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE);
  WaitForSingleObject(stall.entered, 10000);
  const bool started = server->Start();
  HANDLE pipe = CreateFileW(pipe_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  const bool opened = pipe != INVALID_HANDLE_VALUE;
  if (opened) CloseHandle(pipe);
  SetEvent(stall.release);
  UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);
  CloseHandle(trigger);
  CloseHandle(stall.entered);
  CloseHandle(stall.release);
  JsonLine("early_client").Add("opened", opened).Print();
  return started;
}

bool HasFlag(int argc, wchar_t** argv, const wchar_t* flag) {
  for (int i = 3; i < argc; ++i) {
    if (wcscmp(argv[i], flag) == 0) return true;
  }
  return false;
}

DWORD FlagValue(int argc, wchar_t** argv, const wchar_t* prefix) {
  const size_t length = wcslen(prefix);
  for (int i = 3; i < argc; ++i) {
    if (wcsncmp(argv[i], prefix, length) == 0)
      return static_cast<DWORD>(_wtoi(argv[i] + length));
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fputs("usage: crash_server_host PIPE_NAME DUMP_FOLDER [options]\n", stderr);
    return 2;
  }
  // Every record to the standard error stream, where the driver reads it.
  base::LoggingSettings settings;
  settings.logging_dest = base::LOG_TO_SYSTEM_DEBUG_LOG;
  base::InitLogging(settings);

  const std::wstring pipe_name = argv[1];
  const std::wstring dump_folder = argv[2];
  g_dump_hook_sleep_ms = FlagValue(argc, argv, L"--dump-hook-sleep-ms=");
  const bool generate_dumps = !HasFlag(argc, argv, L"--no-dumps");

  auto server = std::make_unique<crash_capture::CrashPipeServer>(
      pipe_name, nullptr, OnClientConnected, nullptr, OnClientDumpRequest,
      nullptr, OnClientExited, nullptr, OnUploadRequest, nullptr,
      generate_dumps, &dump_folder);
  const bool started = HasFlag(argc, argv, L"--early-client")
                           ? StartAfterEarlyClient(server.get(), pipe_name)
                           : server->Start();
  if (!started) {
    JsonLine("start_failed").Print();
    return 1;
  }
  JsonLine("started").Add("pid", uint64_t{GetCurrentProcessId()}).Print();

  std::string line;
  std::getline(std::cin, line);
  server.reset();
  JsonLine("stopped").Print();
  return 0;
}
