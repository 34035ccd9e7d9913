// The crash server's record of one registered client process.
#ifndef CRASH_CAPTURE_CLIENT_RECORD_H_
#define CRASH_CAPTURE_CLIENT_RECORD_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "base/win/scoped_handle.h"
#include "crash_capture/crash_pipe_protocol.h"

namespace crash_capture {

class CrashPipeServer;

class ClientRecord {
 public:
  ClientRecord(CrashPipeServer* server, DWORD pid, DWORD dump_type,
               uint64_t thread_id_address, uint64_t exception_pointers_address,
               uint64_t assertion_info_address,
               const ClientCustomInfo& custom_client_info);
  ~ClientRecord();
  ClientRecord(const ClientRecord&) = delete;
  ClientRecord& operator=(const ClientRecord&) = delete;

  // Opens the client process and creates this client's two events.
  bool Initialize();

  // Read the values the client stored just before it asked for a dump.
  bool GetClientExceptionInfo(uint64_t* exception_pointers) const;
  bool GetClientThreadId(DWORD* thread_id) const;

  // Copies the client's custom-information entries and refreshes the
  // trailing "ptime" entry (the client's age in milliseconds).
  bool PopulateCustomInfo();

  // The server's copy: the client's entries followed by "ptime"; no entries
  // until a copy has been made.
  ClientCustomInfo GetCustomInfo() const;

  CrashPipeServer* server() const { return server_; }
  DWORD pid() const { return pid_; }
  DWORD dump_type() const { return dump_type_; }
  HANDLE process_handle() const { return process_handle_.Get(); }
  uint32_t crash_id() const { return crash_id_; }
  uint64_t assertion_info_address() const { return assertion_info_address_; }
  FILETIME start_time() const { return start_time_; }
  HANDLE dump_requested_event() const { return dump_requested_event_.Get(); }
  HANDLE dump_generated_event() const { return dump_generated_event_.Get(); }
  HANDLE dump_request_wait_handle() const { return dump_request_wait_handle_; }
  HANDLE process_exit_wait_handle() const { return process_exit_wait_handle_; }

  void set_dump_request_wait_handle(HANDLE wait) {
    dump_request_wait_handle_ = wait;
  }
  void set_process_exit_wait_handle(HANDLE wait) {
    process_exit_wait_handle_ = wait;
  }

  // Set once the client's registration is complete and it was reported as
  // connected; only such a client is reported when it exits.
  bool reported_connected() const { return reported_connected_; }
  void set_reported_connected() { reported_connected_ = true; }

  // Held for each dump of this client, so its dumps come one at a time.
  std::mutex& dump_lock() { return dump_lock_; }
  // A dump request not yet taken up by a dump.
  void set_dump_wanted() { dump_wanted_ = true; }
  bool dump_wanted() const { return dump_wanted_; }
  bool TakeDumpWanted() { return dump_wanted_.exchange(false); }

  // Waits for a running dump callback to finish.
  void UnregisterDumpRequestWait();
  // Must not wait when called from inside the process-exit callback itself.
  void UnregisterProcessExitWait(bool wait_for_callback);

 private:
  CrashPipeServer* const server_;
  const DWORD pid_;
  const DWORD dump_type_;
  const uint64_t exception_pointers_address_;
  const uint64_t assertion_info_address_;
  const ClientCustomInfo custom_client_info_;
  std::unique_ptr<CustomInfoEntry[]> custom_info_entries_;
  const uint64_t thread_id_address_;
  base::win::ScopedHandle process_handle_;
  base::win::ScopedHandle dump_requested_event_;
  base::win::ScopedHandle dump_generated_event_;
  HANDLE dump_request_wait_handle_ = nullptr;
  HANDLE process_exit_wait_handle_ = nullptr;
  FILETIME start_time_;
  uint32_t crash_id_ = 0;
  bool reported_connected_ = false;
  std::mutex dump_lock_;
  std::atomic<bool> dump_wanted_{false};
};

// Milliseconds from |start| to |now|; 0 when the clock went back.
uint64_t ProcessAgeMs(const FILETIME& start, const FILETIME& now);

}  // namespace crash_capture

#endif  // CRASH_CAPTURE_CLIENT_RECORD_H_
