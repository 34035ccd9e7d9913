// The client half of the crash pipe: registers this process with the crash
// server, asks it for dumps and for uploads of earlier crashes.
#ifndef CRASH_CAPTURE_CRASH_PIPE_CLIENT_H_
#define CRASH_CAPTURE_CRASH_PIPE_CLIENT_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/win/scoped_handle.h"
#include "crash_capture/crash_pipe_protocol.h"

namespace crash_capture {

class CrashPipeClient {
 public:
  static constexpr DWORD kDefaultDumpWaitMs = 15000;

  // |custom_info| may be null; its entries must outlive the client.
  CrashPipeClient(const std::wstring& pipe_name, DWORD dump_type,
                  const ClientCustomInfo* custom_info);
  // Builds the client on a pipe that is already connected; used once.
  CrashPipeClient(HANDLE pipe_handle, DWORD dump_type,
                  const ClientCustomInfo* custom_info);
  ~CrashPipeClient() = default;
  CrashPipeClient(const CrashPipeClient&) = delete;
  CrashPipeClient& operator=(const CrashPipeClient&) = delete;

  // Connects to |pipe_name| as Register would and hands the connected pipe
  // to |target_process|, for a child that builds its client on it. Gives
  // the handle's value in that process, or INVALID_HANDLE_VALUE. The pipe
  // still names this process as its client, and the crash server takes a
  // registration only from the process it names: a child cannot register
  // with it this way.
  static HANDLE ConnectAndHandOver(const std::wstring& pipe_name,
                                   HANDLE target_process);

  // True once a valid reply is in: the server counts this process as
  // registered from then on, whether or not the acknowledgement gets through.
  bool Register();
  // True only when the server reports the dump as made.
  bool RequestDump(EXCEPTION_POINTERS* exception_pointers,
                   const AssertionInfo* assertion_info);
  bool RequestDump(EXCEPTION_POINTERS* exception_pointers) {
    return RequestDump(exception_pointers, nullptr);
  }
  bool RequestDump(const AssertionInfo* assertion_info) {
    return RequestDump(nullptr, assertion_info);
  }
  bool RequestUpload(uint32_t crash_id);

  // How long RequestDump waits for the server.
  void set_dump_wait_ms(DWORD wait_ms) { dump_wait_ms_ = wait_ms; }

  // What the last RequestDump's wait ended with (a WaitForMultipleObjects
  // result), for callers that report it.
  DWORD last_wait_result() const { return last_wait_result_; }

  bool registered() const { return dump_request_event_.IsValid(); }
  DWORD server_process_id() const { return server_process_id_; }
  HANDLE dump_request_event() const { return dump_request_event_.Get(); }
  HANDLE dump_generated_event() const { return dump_generated_event_.Get(); }
  HANDLE server_alive_mutex() const { return server_alive_mutex_.Get(); }

 private:
  HANDLE ConnectToServer();

  const std::wstring pipe_name_;
  HANDLE pipe_handle_;
  ClientCustomInfo custom_info_ = {};
  const DWORD dump_type_;
  base::win::ScopedHandle dump_request_event_;
  base::win::ScopedHandle dump_generated_event_;
  base::win::ScopedHandle server_alive_mutex_;
  DWORD server_process_id_ = 0;
  DWORD thread_id_ = 0;
  EXCEPTION_POINTERS* exception_pointers_ = nullptr;
  AssertionInfo assertion_info_ = {};
  DWORD dump_wait_ms_ = kDefaultDumpWaitMs;
  DWORD last_wait_result_ = WAIT_FAILED;
};

}  // namespace crash_capture

#endif  // CRASH_CAPTURE_CRASH_PIPE_CLIENT_H_
