#include "crash_capture/crash_pipe_client.h"

namespace crash_capture {

namespace {

constexpr int kConnectAttempts = 2;
constexpr DWORD kPipeBusyWaitMs = 2000;

// Switches a connected pipe to message reads; closes it on failure.
HANDLE SetMessageReadMode(HANDLE pipe) {
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) return pipe;
  CloseHandle(pipe);
  return nullptr;
}

// The pipe in the mode it was opened with, or nullptr.
HANDLE OpenServerPipe(const std::wstring& pipe_name) {
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    HANDLE pipe = CreateFileW(pipe_name.c_str(), kPipeClientAccess, 0, nullptr,
                              OPEN_EXISTING, kPipeClientFlags, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return pipe;
    if (GetLastError() != ERROR_PIPE_BUSY) return nullptr;
    if (!WaitNamedPipeW(pipe_name.c_str(), kPipeBusyWaitMs)) return nullptr;
  }
  return nullptr;
}

}  // namespace

// static
HANDLE CrashPipeClient::ConnectAndHandOver(const std::wstring& pipe_name,
                                           HANDLE target_process) {
  HANDLE pipe = OpenServerPipe(pipe_name);
  if (!pipe) return INVALID_HANDLE_VALUE;
  HANDLE handed_over = nullptr;
  // The source goes in every case, so this process keeps no end of it.
  if (!DuplicateHandle(GetCurrentProcess(), pipe, target_process, &handed_over,
                       0, FALSE,
                       DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS)) {
    return INVALID_HANDLE_VALUE;
  }
  return handed_over;
}

CrashPipeClient::CrashPipeClient(const std::wstring& pipe_name, DWORD dump_type,
                                 const ClientCustomInfo* custom_info)
    : pipe_name_(pipe_name), pipe_handle_(nullptr), dump_type_(dump_type) {
  if (custom_info) custom_info_ = *custom_info;
}

CrashPipeClient::CrashPipeClient(HANDLE pipe_handle, DWORD dump_type,
                                 const ClientCustomInfo* custom_info)
    : pipe_handle_(pipe_handle), dump_type_(dump_type) {
  if (custom_info) custom_info_ = *custom_info;
}

HANDLE CrashPipeClient::ConnectToServer() {
  if (pipe_handle_) {
    HANDLE pipe = pipe_handle_;
    pipe_handle_ = nullptr;
    return SetMessageReadMode(pipe);
  }
  HANDLE pipe = OpenServerPipe(pipe_name_);
  return pipe ? SetMessageReadMode(pipe) : nullptr;
}

bool CrashPipeClient::Register() {
  if (registered()) return true;
  base::win::ScopedHandle pipe(ConnectToServer());
  if (!pipe.IsValid()) return false;

  PipeMessage request = {};
  request.tag = kRegistrationRequest;
  request.id = GetCurrentProcessId();
  request.dump_type = dump_type_;
  request.thread_id_address = reinterpret_cast<uint64_t>(&thread_id_);
  request.exception_pointers_address =
      reinterpret_cast<uint64_t>(&exception_pointers_);
  request.assertion_info_address = reinterpret_cast<uint64_t>(&assertion_info_);
  request.custom_info = custom_info_;

  PipeMessage reply = {};
  DWORD read = 0;
  if (!TransactNamedPipe(pipe.Get(), &request, sizeof(request), &reply,
                         sizeof(reply), &read, nullptr) ||
      read != sizeof(reply) || !IsValidRegistrationResponse(reply)) {
    return false;
  }
  // The handles are valid in this process now, whether kept or not.
  base::win::ScopedHandle dump_request(
      reinterpret_cast<HANDLE>(reply.dump_request_handle));
  base::win::ScopedHandle dump_generated(
      reinterpret_cast<HANDLE>(reply.dump_generated_handle));
  base::win::ScopedHandle server_alive(
      reinterpret_cast<HANDLE>(reply.server_alive_handle));

  // The server took this process as registered once it had the reply read.
  // An acknowledgement that fails (the server gave up waiting for it) does
  // not undo that: dropping the handles now would leave the server watching
  // a client that never asks, and a retry would register it twice.
  PipeMessage ack = {};
  ack.tag = kRegistrationAck;
  DWORD written = 0;
  WriteFile(pipe.Get(), &ack, sizeof(ack), &written, nullptr);

  dump_request_event_ = std::move(dump_request);
  dump_generated_event_ = std::move(dump_generated);
  server_alive_mutex_ = std::move(server_alive);
  server_process_id_ = reply.id;
  return true;
}

bool CrashPipeClient::RequestDump(EXCEPTION_POINTERS* exception_pointers,
                                  const AssertionInfo* assertion_info) {
  last_wait_result_ = WAIT_FAILED;
  if (!registered()) return false;
  exception_pointers_ = exception_pointers;
  thread_id_ = GetCurrentThreadId();
  if (assertion_info) {
    assertion_info_ = *assertion_info;
  } else {
    assertion_info_ = AssertionInfo{};
  }
  if (!ResetEvent(dump_generated_event_.Get()) ||
      !SetEvent(dump_request_event_.Get())) {
    return false;
  }
  const HANDLE objects[] = {dump_generated_event_.Get(),
                            server_alive_mutex_.Get()};
  last_wait_result_ = WaitForMultipleObjects(2, objects, FALSE, dump_wait_ms_);
  return last_wait_result_ == WAIT_OBJECT_0;
}

bool CrashPipeClient::RequestUpload(uint32_t crash_id) {
  base::win::ScopedHandle pipe(ConnectToServer());
  if (!pipe.IsValid()) return false;
  PipeMessage message = {};
  message.tag = kUploadRequest;
  message.id = crash_id;
  DWORD written = 0;
  return WriteFile(pipe.Get(), &message, sizeof(message), &written, nullptr) !=
         FALSE;
}

}  // namespace crash_capture
