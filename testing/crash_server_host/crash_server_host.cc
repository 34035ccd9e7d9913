// Hosts a crash pipe server for whole-program tests and prints one JSON line
// per hook call. Reads commands from standard input:
//   release <pid>   lets the held dump hook of client <pid> return
//   release-pipe    lets the held pipe machine go on (--hold-pipe-on-request)
//   stop            (or end of file) destroys the server, printing "stopping"
//                   before and "stopped" after; end of file also releases
//                   every held hook
//
//   crash_server_host.exe PIPE_NAME DUMP_FOLDER [--hold-dump-hooks]
//                         [--no-dumps] [--early-client]
//                         [--hold-pipe-on-request]
//
// With --hold-dump-hooks every dump hook, once it has printed "dump_begin",
// waits for its "release" line: the driver decides when a dump ends.
// With --hold-pipe-on-request a client that sets the event
// "QuillaveraTestPipeHold-<server pid>" has the server's pipe machine held
// once: "QuillaveraTestPipeHeld-<server pid>" is set and "pipe_held" printed
// while it is held, until the "release-pipe" line.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/logging.h"
#include "crash_capture/crash_pipe_server.h"
#include "testing/crash_common/json_line.h"

namespace {

using crash_capture::ClientCustomInfo;
using crash_capture::ClientRecord;
using crash_capture::CustomInfoEntry;
using crash_testing::JsonLine;

bool g_hold_dump_hooks = false;

// One manual-reset event per client pid, made by whichever side comes first:
// the hook waiting for it or the driver's "release" line.
class HookReleases {
 public:
  HANDLE For(DWORD pid) {
    std::lock_guard<std::mutex> hold(lock_);
    HANDLE& event = events_[pid];
    if (!event) event = CreateEventW(nullptr, TRUE, released_all_, nullptr);
    return event;
  }
  void Release(DWORD pid) { SetEvent(For(pid)); }
  void ReleaseAll() {
    std::lock_guard<std::mutex> hold(lock_);
    released_all_ = TRUE;
    for (auto& entry : events_) SetEvent(entry.second);
  }

 private:
  std::mutex lock_;
  std::map<DWORD, HANDLE> events_;
  BOOL released_all_ = FALSE;
};

HookReleases g_hook_releases;

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
  if (g_hold_dump_hooks) {
    WaitForSingleObject(g_hook_releases.For(client->pid()), INFINITE);
  }
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

// Holds the thread pool's wait thread, which runs the pipe machine, on a
// client's request until the driver lets it go.
struct PipeHold {
  HANDLE request;
  HANDLE held;
  HANDLE release;
};

PipeHold g_pipe_hold = {};

void CALLBACK HoldPipeMachine(void*, BOOLEAN) {
  SetEvent(g_pipe_hold.held);
  JsonLine("pipe_held").Print();
  WaitForSingleObject(g_pipe_hold.release, INFINITE);
}

bool HoldPipeOnRequest() {
  const std::wstring suffix = std::to_wstring(GetCurrentProcessId());
  g_pipe_hold.request = CreateEventW(
      nullptr, FALSE, FALSE, (L"QuillaveraTestPipeHold-" + suffix).c_str());
  g_pipe_hold.held = CreateEventW(nullptr, TRUE, FALSE,
                                  (L"QuillaveraTestPipeHeld-" + suffix).c_str());
  g_pipe_hold.release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE wait = nullptr;
  return g_pipe_hold.request && g_pipe_hold.held && g_pipe_hold.release &&
         RegisterWaitForSingleObject(&wait, g_pipe_hold.request,
                                     HoldPipeMachine, nullptr, INFINITE,
                                     WT_EXECUTEINWAITTHREAD |
                                         WT_EXECUTEONLYONCE);
}

bool HasFlag(int argc, wchar_t** argv, const wchar_t* flag) {
  for (int i = 3; i < argc; ++i) {
    if (wcscmp(argv[i], flag) == 0) return true;
  }
  return false;
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
  g_hold_dump_hooks = HasFlag(argc, argv, L"--hold-dump-hooks");
  const bool generate_dumps = !HasFlag(argc, argv, L"--no-dumps");

  auto server = std::make_unique<crash_capture::CrashPipeServer>(
      pipe_name, nullptr, OnClientConnected, nullptr, OnClientDumpRequest,
      nullptr, OnClientExited, nullptr, OnUploadRequest, nullptr,
      generate_dumps, &dump_folder);
  const bool started = HasFlag(argc, argv, L"--early-client")
                           ? StartAfterEarlyClient(server.get(), pipe_name)
                           : server->Start();
  if (started && HasFlag(argc, argv, L"--hold-pipe-on-request") &&
      !HoldPipeOnRequest()) {
    JsonLine("start_failed").Print();
    return 1;
  }
  if (!started) {
    JsonLine("start_failed").Print();
    return 1;
  }
  JsonLine("started").Add("pid", uint64_t{GetCurrentProcessId()}).Print();

  // Commands are read on a thread of their own, so that a hook can still be
  // released while the main thread destroys the server.
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread commands([stop] {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line.compare(0, 8, "release ") == 0) {
        g_hook_releases.Release(
            static_cast<DWORD>(strtoul(line.c_str() + 8, nullptr, 10)));
        continue;
      }
      if (line == "release-pipe") {
        SetEvent(g_pipe_hold.release);
        continue;
      }
      SetEvent(stop);
    }
    g_hook_releases.ReleaseAll();
    if (g_pipe_hold.release) SetEvent(g_pipe_hold.release);
    SetEvent(stop);
  });
  commands.detach();
  WaitForSingleObject(stop, INFINITE);
  JsonLine("stopping").Print();
  server.reset();
  JsonLine("stopped").Print();
  // Without waiting for the command thread, blocked in its read.
  ExitProcess(0);
}
