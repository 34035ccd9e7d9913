// A small client process of the crash server for whole-program tests: the
// happy path on CrashPipeClient, and clients that break the protocol on
// purpose. Prints one JSON line per thing it saw.
//
//   crash_test_client.exe PIPE_NAME MODE [--wait-ms=N] [--full]
//                         [--crash-id=N] [--type=ROLE [--ptrackid=N]] ...
//
// Like the client application's processes, a client carries its role on its
// command line: "--type=renderer --ptrackid=7 --flag" (each value ends at the
// next " --"; no --type means "main"). Modes for the reporter's tests:
//   hold        register with "process_type" set to the role, then stay
//               until a line (or the end) arrives on standard input
//   wait-pipe   wait until the server listens on the pipe
//   wait-peer   wait for an IPC window of another process
// Crash modes (register, then crash for real and ask for a dump):
//   crash             write through a bad pointer
//   crash-read        read through a bad pointer
//   crash-illegal     run an undefined instruction
//   crash-breakpoint  run a breakpoint instruction
//   crash-throw       raise a C++ exception the way the client's compiler
//                     does, with nothing to catch it
#include <windows.h>
// After windows.h, which they need.
#include <dbghelp.h>
#include <winternl.h>

#include <cwchar>
#include <string>
#include <vector>

#include "crash_capture/crash_pipe_client.h"
#include "crash_capture/crash_pipe_protocol.h"
#include "testing/crash_common/json_line.h"

namespace {

using crash_capture::AssertionInfo;
using crash_capture::ClientCustomInfo;
using crash_capture::CrashPipeClient;
using crash_capture::CustomInfoEntry;
using crash_capture::PipeMessage;
using crash_capture::PipeMessageTag;
using crash_testing::JsonLine;

struct Options {
  std::wstring pipe_name;
  std::wstring mode;
  DWORD wait_ms = CrashPipeClient::kDefaultDumpWaitMs;
  bool full = false;
  uint32_t crash_id = 0;
  std::wstring role = L"main";
};

// What a registration hands the server to read from this process.
DWORD g_thread_id = 0;
EXCEPTION_POINTERS* g_exception_pointers = nullptr;
AssertionInfo g_assertion_info = {};

Options g_options;
CrashPipeClient* g_client = nullptr;
AssertionInfo g_crash_assertion = {};

uint64_t ProcessAgeMs() {
  FILETIME creation, exit_time, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &creation, &exit_time, &kernel, &user);
  GetSystemTimeAsFileTime(&now);
  auto value = [](const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return (value(now) - value(creation)) / 10000;
}

uint64_t GrantedAccess(HANDLE handle) {
  PUBLIC_OBJECT_BASIC_INFORMATION info = {};
  ULONG length = 0;
  if (NtQueryObject(handle, ObjectBasicInformation, &info, sizeof(info),
                    &length) != 0) {
    return 0;
  }
  return info.GrantedAccess;
}

std::string Hex(const void* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string NumberArray(const std::vector<uint64_t>& values) {
  std::string text = "[";
  for (size_t i = 0; i < values.size(); ++i)
    text += (i ? ", " : "") + std::to_string(values[i]);
  return text + "]";
}

void SetField(wchar_t* field, size_t width, const std::wstring& text) {
  wmemset(field, 0, width);
  wmemcpy(field, text.data(), text.size() < width ? text.size() : width);
}

// A deterministic record, so the driver can compare the dump's copy.
AssertionInfo MakeAssertion() {
  AssertionInfo info = {};
  SetField(info.expression, AssertionInfo::kTextMaxLength, L"index < size()");
  SetField(info.function, AssertionInfo::kTextMaxLength,
           L"crash_testing::RunHappyPath");
  SetField(info.file, AssertionInfo::kTextMaxLength, L"crash_test_client.cc");
  info.line = 4242;
  info.type = crash_capture::kAssertionInvalidParameter;
  return info;
}

HANDLE OpenPipe() {
  for (int attempt = 0; attempt < 5; ++attempt) {
    HANDLE pipe = CreateFileW(
        g_options.pipe_name.c_str(), crash_capture::kPipeClientAccess, 0,
        nullptr, OPEN_EXISTING, crash_capture::kPipeClientFlags, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      DWORD mode = PIPE_READMODE_MESSAGE;
      SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
      return pipe;
    }
    if (GetLastError() != ERROR_PIPE_BUSY) break;
    WaitNamedPipeW(g_options.pipe_name.c_str(), 5000);
  }
  JsonLine("open_failed").Add("error", uint64_t{GetLastError()}).Print();
  ExitProcess(3);
}

PipeMessage ValidRegistration() {
  PipeMessage request = {};
  request.tag = crash_capture::kRegistrationRequest;
  request.id = GetCurrentProcessId();
  request.thread_id_address = reinterpret_cast<uint64_t>(&g_thread_id);
  request.exception_pointers_address =
      reinterpret_cast<uint64_t>(&g_exception_pointers);
  request.assertion_info_address =
      reinterpret_cast<uint64_t>(&g_assertion_info);
  return request;
}

// Sends |size| bytes of |message| and reports whether any reply came.
void SendAndExpectNoReply(const void* message, DWORD size) {
  HANDLE pipe = OpenPipe();
  DWORD written = 0;
  const bool write_ok = WriteFile(pipe, message, size, &written, nullptr);
  PipeMessage reply = {};
  DWORD read = 0;
  const bool read_ok =
      ReadFile(pipe, &reply, sizeof(reply), &read, nullptr) != FALSE;
  JsonLine("sent")
      .Add("write_ok", write_ok)
      .Add("bytes", uint64_t{size})
      .Add("reply_bytes", uint64_t{read_ok ? read : 0})
      .Add("read_error", uint64_t{read_ok ? 0 : GetLastError()})
      .Print();
  CloseHandle(pipe);
}

// Sends |request| and reads the reply in one transaction.
bool Transact(HANDLE pipe, const PipeMessage& request, PipeMessage* reply) {
  DWORD read = 0;
  return TransactNamedPipe(pipe, const_cast<PipeMessage*>(&request),
                           sizeof(request), reply, sizeof(*reply), &read,
                           nullptr) &&
         read == sizeof(*reply);
}

// Registers by hand; the ack only when asked for.
bool RawRegister(const PipeMessage& request, bool acknowledge,
                 PipeMessage* reply,
                 PipeMessageTag ack_tag = crash_capture::kRegistrationAck,
                 DWORD ack_size = sizeof(PipeMessage)) {
  HANDLE pipe = OpenPipe();
  const bool ok = Transact(pipe, request, reply);
  JsonLine("raw_reply")
      .Add("pid", uint64_t{GetCurrentProcessId()})
      .Add("ok", ok)
      .Add("tag", uint64_t{reply->tag})
      .Add("id", uint64_t{reply->id})
      .Print();
  if (ok && acknowledge) {
    PipeMessage ack = {};
    ack.tag = ack_tag;
    DWORD written = 0;
    WriteFile(pipe, &ack, ack_size, &written, nullptr);
  }
  CloseHandle(pipe);
  return ok;
}

const DWORD kCppExceptionCode = 0xe06d7363;

// Only the crash the client causes; the runtime raises others of its own
// (debugger output, for one) that must go their way.
bool IsCausedCrash(DWORD code) {
  return code == EXCEPTION_ACCESS_VIOLATION ||
         code == EXCEPTION_ILLEGAL_INSTRUCTION ||
         code == EXCEPTION_BREAKPOINT || code == kCppExceptionCode;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
  if (!IsCausedCrash(pointers->ExceptionRecord->ExceptionCode))
    return EXCEPTION_CONTINUE_SEARCH;
  const uint64_t age_ms = ProcessAgeMs();
  const uint64_t request_ms = crash_testing::SystemTimeMs();
  const DWORD start = GetTickCount();
  const bool ok = g_client->RequestDump(pointers, &g_crash_assertion);
  JsonLine("crash_dump")
      .Add("ok", ok)
      .Add("wait_result", uint64_t{g_client->last_wait_result()})
      .Add("elapsed_ms", uint64_t{GetTickCount() - start})
      .Add("request_ms", request_ms)
      .Add("woke_ms", crash_testing::SystemTimeMs())
      .Add("age_ms", age_ms)
      .Add("thread_id", uint64_t{GetCurrentThreadId()})
      .Add("exception_code", uint64_t{pointers->ExceptionRecord->ExceptionCode})
      .Add("assertion_hex", Hex(&g_crash_assertion, sizeof(g_crash_assertion)))
      .Print();
  ExitProcess(ok ? 0 : 1);
}

void PrintRegistration(const CrashPipeClient& client, bool ok) {
  const std::vector<HANDLE> handles = {client.dump_request_event(),
                                       client.dump_generated_event(),
                                       client.server_alive_mutex()};
  std::vector<uint64_t> values, access;
  for (HANDLE handle : handles) {
    values.push_back(reinterpret_cast<uint64_t>(handle));
    access.push_back(handle ? GrantedAccess(handle) : 0);
  }
  JsonLine("registered")
      .Add("ok", ok)
      .Add("pid", uint64_t{GetCurrentProcessId()})
      .Add("server_pid", uint64_t{client.server_process_id()})
      .AddRaw("handles", NumberArray(values))
      .AddRaw("access", NumberArray(access))
      .Print();
}

std::vector<CustomInfoEntry> MakeEntries() {
  std::vector<CustomInfoEntry> entries(3);
  auto set = [](CustomInfoEntry* entry, const std::wstring& name,
                const std::wstring& value) {
    SetField(entry->name, CustomInfoEntry::kNameMaxLength, name);
    SetField(entry->value, CustomInfoEntry::kValueMaxLength, value);
  };
  set(&entries[0], L"process_type", L"renderer");
  set(&entries[1], L"custom_info", L"crash test client");
  // Fills all 64 units: a reader must stop at the field's end.
  set(&entries[2], L"full_width", std::wstring(64, L'w'));
  return entries;
}

volatile int g_read_sink = 0;

enum class CrashKind { kWrite, kRead, kIllegal, kBreakpoint, kThrow };

// Kept out of line, so each crash has a frame of its own in this module.
__attribute__((noinline)) void CauseCrash(CrashKind kind) {
  // The pointer is opaque to the compiler.
  volatile int* volatile target = reinterpret_cast<int*>(0x10);
  switch (kind) {
    case CrashKind::kWrite:
      *target = 1;
      break;
    case CrashKind::kRead:
      g_read_sink = *target;
      break;
    case CrashKind::kIllegal:
      __asm__ volatile("ud2");
      break;
    case CrashKind::kBreakpoint:
      __asm__ volatile("int3");
      break;
    case CrashKind::kThrow: {
      // What a thrown object's record holds: the magic number, the object
      // and its throw information (none here), and the module base.
      const ULONG_PTR arguments[4] = {0x19930520, 0, 0,
                                      reinterpret_cast<ULONG_PTR>(
                                          GetModuleHandleW(nullptr))};
      RaiseException(kCppExceptionCode, EXCEPTION_NONCONTINUABLE, 4,
                     arguments);
      break;
    }
  }
}

int Crash(uint64_t entry_count, CrashKind kind = CrashKind::kWrite) {
  std::vector<CustomInfoEntry> entries = MakeEntries();
  entries.resize(entry_count > entries.size() ? entry_count : entries.size());
  const ClientCustomInfo info = {entries.data(), entry_count};
  const DWORD dump_type =
      g_options.full ? MiniDumpWithFullMemory : MiniDumpNormal;
  CrashPipeClient client(g_options.pipe_name, dump_type, &info);
  client.set_dump_wait_ms(g_options.wait_ms);
  const bool ok = client.Register();
  PrintRegistration(client, ok);
  if (!ok) return 1;
  g_client = &client;
  g_crash_assertion = MakeAssertion();
  AddVectoredExceptionHandler(1, OnException);
  CauseCrash(kind);
  return 4;  // Not reached.
}

int Register() {
  CrashPipeClient client(g_options.pipe_name, MiniDumpNormal, nullptr);
  const bool ok = client.Register();
  PrintRegistration(client, ok);
  return ok ? 0 : 1;
}

int Hold() {
  CustomInfoEntry entry = {};
  SetField(entry.name, CustomInfoEntry::kNameMaxLength, L"process_type");
  SetField(entry.value, CustomInfoEntry::kValueMaxLength, g_options.role);
  const ClientCustomInfo info = {&entry, 1};
  CrashPipeClient client(g_options.pipe_name, MiniDumpNormal, &info);
  const bool ok = client.Register();
  PrintRegistration(client, ok);
  if (!ok) return 1;
  char line[64];
  fgets(line, sizeof(line), stdin);
  JsonLine("released").Add("pid", uint64_t{GetCurrentProcessId()}).Print();
  return 0;
}

// Waits until the server listens on the pipe, without connecting to it.
int WaitForPipe() {
  const DWORD start = GetTickCount();
  while (!WaitNamedPipeW(g_options.pipe_name.c_str(), 100)) {
    if (GetTickCount() - start >= g_options.wait_ms) {
      JsonLine("pipe").Add("ready", false).Print();
      return 1;
    }
    Sleep(50);
  }
  JsonLine("pipe").Add("ready", true).Print();
  return 0;
}

int WaitForPeerWindow() {
  const DWORD start = GetTickCount();
  do {
    HWND window = nullptr;
    while ((window = FindWindowExW(HWND_MESSAGE, window,
                                   L"valmora_ipc_window", nullptr))) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      if (pid == GetCurrentProcessId()) continue;
      JsonLine("peer").Add("found", true).Add("pid", uint64_t{pid}).Print();
      return 0;
    }
    Sleep(50);
  } while (GetTickCount() - start < g_options.wait_ms);
  JsonLine("peer").Add("found", false).Print();
  return 1;
}

int WaitForServer() {
  CrashPipeClient client(g_options.pipe_name, MiniDumpNormal, nullptr);
  const bool ok = client.Register();
  PrintRegistration(client, ok);
  if (!ok) return 1;
  const DWORD start = GetTickCount();
  const DWORD result =
      WaitForSingleObject(client.server_alive_mutex(), g_options.wait_ms);
  JsonLine("server_wait")
      .Add("wait_result", uint64_t{result})
      .Add("elapsed_ms", uint64_t{GetTickCount() - start})
      .Print();
  return 0;
}

// The server takes any acknowledgement; this one has a tag nobody uses.
int AckWithOddTag() {
  PipeMessage reply = {};
  return RawRegister(ValidRegistration(), true, &reply, PipeMessageTag(77)) ? 0
                                                                            : 1;
}

// The protocol does not look into the acknowledgement: any message is one.
int AckShort() {
  PipeMessage reply = {};
  return RawRegister(ValidRegistration(), true, &reply,
                     crash_capture::kRegistrationAck, 4)
             ? 0
             : 1;
}

int ExitWithoutAck() {
  PipeMessage reply = {};
  RawRegister(ValidRegistration(), false, &reply);
  ExitProcess(0);
}

// Acknowledges and exits while the server's pipe machine is held (see the
// server host's --hold-pipe-on-request), so the acknowledgement is still
// unread when the process is gone.
int AckThenExitWhileHeld() {
  HANDLE pipe = OpenPipe();
  PipeMessage reply = {};
  const bool ok = Transact(pipe, ValidRegistration(), &reply);
  JsonLine("raw_reply")
      .Add("pid", uint64_t{GetCurrentProcessId()})
      .Add("ok", ok)
      .Print();
  if (!ok) return 1;
  const std::wstring suffix = std::to_wstring(reply.id);
  HANDLE hold = OpenEventW(EVENT_MODIFY_STATE, FALSE,
                           (L"QuillaveraTestPipeHold-" + suffix).c_str());
  HANDLE held = OpenEventW(SYNCHRONIZE, FALSE,
                           (L"QuillaveraTestPipeHeld-" + suffix).c_str());
  if (!hold || !held) return 1;
  SetEvent(hold);
  if (WaitForSingleObject(held, g_options.wait_ms) != WAIT_OBJECT_0) return 1;
  PipeMessage ack = {};
  ack.tag = crash_capture::kRegistrationAck;
  DWORD written = 0;
  WriteFile(pipe, &ack, sizeof(ack), &written, nullptr);
  ExitProcess(written == sizeof(ack) ? 0 : 1);
}

// Gone before the server can answer: the server registers a process that
// is already ending.
int ExitAfterRequest() {
  HANDLE pipe = OpenPipe();
  const PipeMessage request = ValidRegistration();
  DWORD written = 0;
  WriteFile(pipe, &request, sizeof(request), &written, nullptr);
  JsonLine("requested").Add("pid", uint64_t{GetCurrentProcessId()}).Print();
  ExitProcess(0);
}

// Holds the pipe's only instance and does nothing more: before its message
// or, registered, before its acknowledgement.
int Stall(bool register_first) {
  HANDLE pipe = OpenPipe();
  if (register_first) {
    PipeMessage reply = {};
    const bool ok = Transact(pipe, ValidRegistration(), &reply);
    JsonLine("raw_reply")
        .Add("pid", uint64_t{GetCurrentProcessId()})
        .Add("ok", ok)
        .Add("tag", uint64_t{reply.tag})
        .Print();
  } else {
    JsonLine("opened").Add("pid", uint64_t{GetCurrentProcessId()}).Print();
  }
  Sleep(g_options.wait_ms);
  CloseHandle(pipe);
  return 0;
}

EXCEPTION_POINTERS g_bad_pointers = {
    reinterpret_cast<EXCEPTION_RECORD*>(0x10),
    reinterpret_cast<CONTEXT*>(0x20)};

// Registers and asks for a dump with something the server must read
// pointing nowhere readable: the assertion record, the exception pointers
// themselves, or the record and context they point to.
int RequestWithBadAddress(const std::wstring& mode) {
  PipeMessage request = ValidRegistration();
  if (mode == L"bad-assertion") request.assertion_info_address = 0x10;
  if (mode == L"bad-exception-pointers")
    g_exception_pointers = reinterpret_cast<EXCEPTION_POINTERS*>(0x10);
  if (mode == L"bad-exception-record") g_exception_pointers = &g_bad_pointers;
  PipeMessage reply = {};
  if (!RawRegister(request, true, &reply)) return 1;
  auto dump_request = reinterpret_cast<HANDLE>(reply.dump_request_handle);
  auto dump_generated = reinterpret_cast<HANDLE>(reply.dump_generated_handle);
  g_thread_id = GetCurrentThreadId();
  ResetEvent(dump_generated);
  SetEvent(dump_request);
  const DWORD result = WaitForSingleObject(dump_generated, g_options.wait_ms);
  JsonLine("bad_dump").Add("wait_result", uint64_t{result}).Print();
  return 0;
}

int Upload() {
  CrashPipeClient client(g_options.pipe_name, MiniDumpNormal, nullptr);
  JsonLine("upload_sent")
      .Add("ok", client.RequestUpload(g_options.crash_id))
      .Print();
  PipeMessage message = {};
  message.tag = crash_capture::kUploadRequest;
  message.id = g_options.crash_id + 1;
  SendAndExpectNoReply(&message, sizeof(message));
  return 0;
}

int SendBadMessage(const std::wstring& mode) {
  PipeMessage message = ValidRegistration();
  DWORD size = sizeof(message);
  if (mode == L"short-write") {
    size = 40;
  } else if (mode == L"tag2-first") {
    message.tag = crash_capture::kRegistrationResponse;
  } else if (mode == L"tag3-first") {
    message.tag = crash_capture::kRegistrationAck;
  } else if (mode == L"id-zero") {
    message.id = 0;
  } else if (mode == L"zero-thread-id-address") {
    message.thread_id_address = 0;
  } else if (mode == L"long-message") {
    unsigned char long_message[100] = {};
    memcpy(long_message, &message, sizeof(message));
    SendAndExpectNoReply(long_message, sizeof(long_message));
    return 0;
  } else {
    fputs("unknown mode\n", stderr);
    return 2;
  }
  SendAndExpectNoReply(&message, size);
  return 0;
}

void ParseOptions(int argc, wchar_t** argv) {
  g_options.pipe_name = argv[1];
  g_options.mode = argv[2];
  for (int i = 3; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg.rfind(L"--wait-ms=", 0) == 0) {
      g_options.wait_ms = static_cast<DWORD>(_wtoi(arg.c_str() + 10));
    } else if (arg.rfind(L"--crash-id=", 0) == 0) {
      g_options.crash_id =
          static_cast<uint32_t>(wcstoul(arg.c_str() + 11, nullptr, 10));
    } else if (arg.rfind(L"--type=", 0) == 0) {
      g_options.role = arg.substr(7);
    } else if (arg == L"--full") {
      g_options.full = true;
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fputs("usage: crash_test_client PIPE_NAME MODE [options]\n", stderr);
    return 2;
  }
  ParseOptions(argc, argv);
  const std::wstring& mode = g_options.mode;
  if (mode == L"crash") return Crash(3);
  if (mode == L"crash-4097-entries") return Crash(4097);
  if (mode == L"crash-read") return Crash(3, CrashKind::kRead);
  if (mode == L"crash-illegal") return Crash(3, CrashKind::kIllegal);
  if (mode == L"crash-breakpoint") return Crash(3, CrashKind::kBreakpoint);
  if (mode == L"crash-throw") return Crash(3, CrashKind::kThrow);
  if (mode == L"register") return Register();
  if (mode == L"hold") return Hold();
  if (mode == L"wait-pipe") return WaitForPipe();
  // Registers the moment the server listens (and leaves at once).
  if (mode == L"wait-and-register") return WaitForPipe() ? 1 : Register();
  if (mode == L"wait-peer") return WaitForPeerWindow();
  if (mode == L"wait-server") return WaitForServer();
  if (mode == L"no-ack") return ExitWithoutAck();
  if (mode == L"odd-ack") return AckWithOddTag();
  if (mode == L"short-ack") return AckShort();
  if (mode == L"exit-after-request") return ExitAfterRequest();
  if (mode == L"ack-then-exit-while-held") return AckThenExitWhileHeld();
  if (mode.rfind(L"bad-", 0) == 0) return RequestWithBadAddress(mode);
  if (mode == L"upload") return Upload();
  if (mode == L"stall-silent") return Stall(false);
  if (mode == L"stall-before-ack") return Stall(true);
  return SendBadMessage(mode);
}
