// The records of the crash pipe: the one 80-byte message that travels both
// ways, and the records the server reads straight out of client memory.
#ifndef CRASH_CAPTURE_CRASH_PIPE_PROTOCOL_H_
#define CRASH_CAPTURE_CRASH_PIPE_PROTOCOL_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace crash_capture {

enum PipeMessageTag : uint32_t {
  kPipeMessageNone = 0,
  kRegistrationRequest = 1,
  kRegistrationResponse = 2,
  kRegistrationAck = 3,
  kUploadRequest = 4,
};

// Names and values are NUL-terminated within their field; a reader takes at
// most the field's width, since a client may fill it completely.
struct CustomInfoEntry {
  static constexpr size_t kNameMaxLength = 64;
  static constexpr size_t kValueMaxLength = 64;
  wchar_t name[kNameMaxLength];
  wchar_t value[kValueMaxLength];
};

// Entries live in the client for the pipe message; on the server the same
// pair describes the server's own copy.
struct ClientCustomInfo {
  const CustomInfoEntry* entries;
  uint64_t count;
};

enum AssertionType : uint32_t {
  kAssertionNone = 0,
  kAssertionInvalidParameter = 1,
  kAssertionPureVirtualCall = 2,
};

// Also the body of the assertion stream of a dump.
struct AssertionInfo {
  static constexpr size_t kTextMaxLength = 128;
  wchar_t expression[kTextMaxLength];
  wchar_t function[kTextMaxLength];
  wchar_t file[kTextMaxLength];
  uint32_t line;
  uint32_t type;
};

// Laid out as in a 64-bit process: addresses and handle values are those of
// the client.
struct PipeMessage {
  PipeMessageTag tag;
  uint32_t id;
  uint32_t dump_type;
  uint32_t padding;
  uint64_t thread_id_address;
  uint64_t exception_pointers_address;
  uint64_t assertion_info_address;
  ClientCustomInfo custom_info;
  uint64_t dump_request_handle;
  uint64_t dump_generated_handle;
  uint64_t server_alive_handle;
};

static_assert(sizeof(wchar_t) == 2, "UTF-16 units expected");
static_assert(sizeof(CustomInfoEntry) == 256, "wire layout");
static_assert(sizeof(ClientCustomInfo) == 16, "wire layout");
static_assert(sizeof(AssertionInfo) == 776, "wire layout");
static_assert(offsetof(AssertionInfo, line) == 768, "wire layout");
static_assert(sizeof(PipeMessage) == 80, "wire layout");
static_assert(offsetof(PipeMessage, thread_id_address) == 16, "wire layout");
static_assert(offsetof(PipeMessage, custom_info) == 40, "wire layout");
static_assert(offsetof(PipeMessage, dump_request_handle) == 56, "wire layout");
static_assert(offsetof(PipeMessage, server_alive_handle) == 72, "wire layout");

constexpr DWORD kPipeMessageSize = sizeof(PipeMessage);
constexpr uint64_t kMaxCustomInfoEntries = 4096;

// Access given to the client for each handle of the registration response.
constexpr DWORD kDumpRequestEventAccess = EVENT_MODIFY_STATE;
constexpr DWORD kDumpGeneratedEventAccess = SYNCHRONIZE | EVENT_MODIFY_STATE;
constexpr DWORD kServerAliveMutexAccess = SYNCHRONIZE;

// How the client opens the pipe.
constexpr DWORD kPipeClientAccess =
    FILE_READ_DATA | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
constexpr DWORD kPipeClientFlags =
    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

// User streams of our dumps.
constexpr uint32_t kDumpInfoStreamType = 0x47670001;
constexpr uint32_t kAssertionInfoStreamType = 0x47670002;

// A client message is worth acting on: an upload request, or a registration
// that carries the client's id and every address the server must read.
inline bool IsValidClientMessage(const PipeMessage& message) {
  if (message.tag == kUploadRequest) return true;
  return message.tag == kRegistrationRequest && message.id != 0 &&
         message.thread_id_address != 0 &&
         message.exception_pointers_address != 0 &&
         message.assertion_info_address != 0;
}

inline bool IsValidRegistrationResponse(const PipeMessage& message) {
  return message.tag == kRegistrationResponse && message.id != 0 &&
         message.dump_request_handle != 0 &&
         message.dump_generated_handle != 0 && message.server_alive_handle != 0;
}

}  // namespace crash_capture

#endif  // CRASH_CAPTURE_CRASH_PIPE_PROTOCOL_H_
