// A crash pipe client written from the protocol's description alone: it lays
// out the 80-byte message itself and shares no code with the crash server or
// its client, so it can check them from outside, and misbehave as a hostile
// or slow client would. Prints one JSON line per thing it saw.
//
//   pipe_probe.exe register PIPE [--claim-pid=N] [--ack-after-ms=N]
//                  [--no-ack] [--hold]
//       One registration: claims its own pid unless told otherwise, then
//       acknowledges at once, after a delay, or never. With --hold it stays,
//       its end of the pipe open, until a line (or the end) arrives on
//       standard input.
//   pipe_probe.exe lie PIPE --claim-pid=N --times=K
//       K registrations in a row, each claiming process N.
//   pipe_probe.exe handles PID...
//       How many handles each process holds, from the system handle table.
//   pipe_probe.exe idle [anything...]
//       Stays until a line (or the end) arrives on standard input; a
//       bystander whose command line says what the caller wants.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The message: u32 tag, u32 id, u32 dump type, 4 bytes of padding, then
// u64 fields: three client addresses (requesting thread id, exception
// pointers, assertion record), the custom-information address and count,
// and the three handles of a response.
constexpr DWORD kMessageSize = 80;
constexpr size_t kTagOffset = 0;
constexpr size_t kIdOffset = 4;
constexpr size_t kThreadIdAddressOffset = 16;
constexpr size_t kExceptionPointersAddressOffset = 24;
constexpr size_t kAssertionAddressOffset = 32;
constexpr size_t kFirstHandleOffset = 56;
constexpr uint32_t kRegistrationRequest = 1;
constexpr uint32_t kRegistrationResponse = 2;
constexpr uint32_t kRegistrationAck = 3;
// Read, write data and write attributes; identification-level impersonation.
constexpr DWORD kPipeAccess = 0x103;
constexpr DWORD kPipeFlags = 0x110000;
constexpr DWORD kBusyWaitMs = 10000;

// What the server reads out of this process at the addresses sent.
uint32_t g_requesting_thread_id = 0;
void* g_exception_pointers = nullptr;
unsigned char g_assertion_record[776] = {};

using Message = std::vector<unsigned char>;

void Put(Message* message, size_t offset, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    (*message)[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t Get(const Message& message, size_t offset, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value |= static_cast<uint64_t>(message[offset + i]) << (8 * i);
  return value;
}

uint64_t AddressOf(const void* object) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(object));
}

Message Registration(uint32_t claimed_pid) {
  Message message(kMessageSize, 0);
  Put(&message, kTagOffset, kRegistrationRequest, 4);
  Put(&message, kIdOffset, claimed_pid, 4);
  Put(&message, kThreadIdAddressOffset, AddressOf(&g_requesting_thread_id), 8);
  Put(&message, kExceptionPointersAddressOffset,
      AddressOf(&g_exception_pointers), 8);
  Put(&message, kAssertionAddressOffset, AddressOf(g_assertion_record), 8);
  return message;
}

class Line {
 public:
  explicit Line(const char* event)
      : text_("{\"event\": \"" + std::string(event) + "\"") {}
  Line& Add(const char* key, uint64_t value) {
    return Raw(key, std::to_string(value));
  }
  Line& Add(const char* key, bool value) {
    return Raw(key, value ? "true" : "false");
  }
  Line& Raw(const char* key, const std::string& value) {
    text_ += ", \"" + std::string(key) + "\": " + value;
    return *this;
  }
  void Print() {
    std::printf("%s}\n", text_.c_str());
    std::fflush(stdout);
  }

 private:
  std::string text_;
};

struct Options {
  std::wstring pipe_name;
  uint32_t claimed_pid = GetCurrentProcessId();
  DWORD ack_after_ms = 0;
  bool acknowledge = true;
  bool hold = false;
  int times = 1;
};

HANDLE OpenPipe(const std::wstring& name) {
  const ULONGLONG deadline = GetTickCount64() + kBusyWaitMs;
  for (;;) {
    HANDLE pipe = CreateFileW(name.c_str(), kPipeAccess, 0, nullptr,
                              OPEN_EXISTING, kPipeFlags, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      DWORD mode = PIPE_READMODE_MESSAGE;
      SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
      return pipe;
    }
    if (GetLastError() != ERROR_PIPE_BUSY || GetTickCount64() >= deadline)
      return nullptr;
    WaitNamedPipeW(name.c_str(), 500);
  }
}

struct Reply {
  bool ok = false;
  DWORD bytes = 0;
  DWORD error = 0;
  Message message = Message(kMessageSize, 0);
};

Reply Transact(HANDLE pipe, const Message& request) {
  Reply reply;
  Message out = request;
  if (!TransactNamedPipe(pipe, out.data(), kMessageSize, reply.message.data(),
                         kMessageSize, &reply.bytes, nullptr)) {
    reply.error = GetLastError();
    return reply;
  }
  reply.ok = reply.bytes == kMessageSize &&
             Get(reply.message, kTagOffset, 4) == kRegistrationResponse;
  return reply;
}

std::string HandleArray(const Message& message) {
  std::string text = "[";
  for (int i = 0; i < 3; ++i) {
    if (i) text += ", ";
    text += std::to_string(Get(message, kFirstHandleOffset + 8 * i, 8));
  }
  return text + "]";
}

// The handles are this process's now: each must be one it holds.
bool HoldsHandles(const Message& message) {
  for (int i = 0; i < 3; ++i) {
    DWORD flags = 0;
    const auto handle = reinterpret_cast<HANDLE>(
        static_cast<uintptr_t>(Get(message, kFirstHandleOffset + 8 * i, 8)));
    if (!handle || !GetHandleInformation(handle, &flags)) return false;
  }
  return true;
}

void WaitForStdinLine() {
  char line[64];
  std::fgets(line, sizeof(line), stdin);
}

int Register(const Options& options) {
  HANDLE pipe = OpenPipe(options.pipe_name);
  if (!pipe) {
    Line("open_failed").Add("error", uint64_t{GetLastError()}).Print();
    return 3;
  }
  const Reply reply = Transact(pipe, Registration(options.claimed_pid));
  Line("reply")
      .Add("pid", uint64_t{GetCurrentProcessId()})
      .Add("ok", reply.ok)
      .Add("bytes", uint64_t{reply.bytes})
      .Add("error", uint64_t{reply.error})
      .Add("tag", Get(reply.message, kTagOffset, 4))
      .Add("server_pid", Get(reply.message, kIdOffset, 4))
      .Raw("handles", HandleArray(reply.message))
      .Add("held", reply.ok && HoldsHandles(reply.message))
      .Print();
  if (reply.ok && options.acknowledge) {
    const ULONGLONG start = GetTickCount64();
    // The delay is the behaviour under test: a client slow to acknowledge.
    if (options.ack_after_ms) Sleep(options.ack_after_ms);
    Message ack(kMessageSize, 0);
    Put(&ack, kTagOffset, kRegistrationAck, 4);
    DWORD written = 0;
    const bool ok =
        WriteFile(pipe, ack.data(), kMessageSize, &written, nullptr) != FALSE;
    Line("ack")
        .Add("ok", ok)
        .Add("error", uint64_t{ok ? 0 : GetLastError()})
        .Add("after_ms", GetTickCount64() - start)
        .Print();
  }
  // Held, the pipe stays open too: without an ack, a client that stalls.
  if (options.hold) WaitForStdinLine();
  CloseHandle(pipe);
  Line("done").Add("pid", uint64_t{GetCurrentProcessId()}).Print();
  return 0;
}

int Lie(const Options& options) {
  int replies = 0;
  ULONG server_pid = 0;
  for (int i = 0; i < options.times; ++i) {
    HANDLE pipe = OpenPipe(options.pipe_name);
    if (!pipe) {
      Line("open_failed").Add("error", uint64_t{GetLastError()}).Print();
      return 3;
    }
    GetNamedPipeServerProcessId(pipe, &server_pid);
    if (Transact(pipe, Registration(options.claimed_pid)).ok) ++replies;
    CloseHandle(pipe);
  }
  Line("lies")
      .Add("sent", uint64_t(options.times))
      .Add("replies", uint64_t(replies))
      .Add("server_pid", uint64_t{server_pid})
      .Print();
  return 0;
}

// The system handle table (information class 16): a 32-bit count, then,
// from offset 8, one 24-byte entry per handle whose first 16 bits are the
// owner's process id.
using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr size_t kFirstHandleEntryOffset = 8;
constexpr size_t kHandleEntrySize = 24;

int CountHandles(int argc, wchar_t** argv) {
  auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                             "NtQuerySystemInformation")));
  if (!query) return 4;
  std::vector<unsigned char> table(1 << 16);
  for (;;) {
    ULONG needed = 0;
    const LONG status = query(kSystemHandleInformation, table.data(),
                              static_cast<ULONG>(table.size()), &needed);
    if (status == 0) break;
    if (status != kInfoLengthMismatch) return 5;
    table.resize(table.size() * 2);
  }
  ULONG entries = 0;
  memcpy(&entries, table.data(), sizeof(entries));
  std::string counts = "{";
  for (int i = 2; i < argc; ++i) {
    const auto pid = static_cast<uint16_t>(wcstoul(argv[i], nullptr, 10));
    uint64_t count = 0;
    for (ULONG e = 0; e < entries; ++e) {
      uint16_t owner = 0;
      memcpy(&owner,
             table.data() + kFirstHandleEntryOffset + e * kHandleEntrySize,
             sizeof(owner));
      if (owner == pid) ++count;
    }
    if (i > 2) counts += ", ";
    counts += "\"" + std::to_string(wcstoul(argv[i], nullptr, 10)) +
              "\": " + std::to_string(count);
  }
  Line("handles").Raw("counts", counts + "}").Print();
  return 0;
}

int Idle() {
  Line("idle").Add("pid", uint64_t{GetCurrentProcessId()}).Print();
  WaitForStdinLine();
  return 0;
}

Options ParseOptions(int argc, wchar_t** argv) {
  Options options;
  options.pipe_name = argv[2];
  for (int i = 3; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const auto number = [&arg](size_t prefix) {
      return static_cast<DWORD>(wcstoul(arg.c_str() + prefix, nullptr, 10));
    };
    if (arg.rfind(L"--claim-pid=", 0) == 0) {
      options.claimed_pid = number(12);
    } else if (arg.rfind(L"--ack-after-ms=", 0) == 0) {
      options.ack_after_ms = number(15);
    } else if (arg.rfind(L"--times=", 0) == 0) {
      options.times = static_cast<int>(number(8));
    } else if (arg == L"--no-ack") {
      options.acknowledge = false;
    } else if (arg == L"--hold") {
      options.hold = true;
    }
  }
  return options;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"idle") return Idle();
  if (mode == L"handles") return CountHandles(argc, argv);
  if (argc < 3) {
    std::fputs("usage: pipe_probe register|lie PIPE [options] | handles PID..."
               " | idle\n",
               stderr);
    return 2;
  }
  const Options options = ParseOptions(argc, argv);
  if (mode == L"register") return Register(options);
  if (mode == L"lie") return Lie(options);
  std::fputs("unknown mode\n", stderr);
  return 2;
}
