// The server end of the crash pipe: registers client processes, writes their
// minidumps on request and reports connects, dumps, exits and uploads through
// hooks. Everything runs on thread-pool wait callbacks.
#ifndef CRASH_CAPTURE_CRASH_PIPE_SERVER_H_
#define CRASH_CAPTURE_CRASH_PIPE_SERVER_H_

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "crash_capture/client_record.h"
#include "crash_capture/crash_pipe_protocol.h"

namespace crash_capture {

// A ClientRecord handed to a hook is valid only during the call.
using ClientConnectedCallback = void (*)(void* context,
                                         const ClientRecord* client);
// |dump_path| is null when no dump was written on purpose.
using ClientDumpRequestCallback = void (*)(void* context,
                                           const ClientRecord* client,
                                           const std::wstring* dump_path);
using ClientExitedCallback = void (*)(void* context,
                                      const ClientRecord* client);
using ClientUploadRequestCallback = void (*)(void* context, uint32_t crash_id);

class CrashPipeServer {
 public:
  enum PipeState : uint32_t {
    kStateUninitialized = 0,
    kStateError = 1,
    kStateInitial = 2,
    kStateConnecting = 3,
    kStateConnected = 4,
    kStateReading = 5,
    kStateReadDone = 6,
    kStateWriting = 7,
    kStateWriteDone = 8,
    kStateReadingAck = 9,
    kStateDisconnecting = 10,
  };

  // Opens nothing; |dump_path| may be null. Hooks may be null.
  CrashPipeServer(const std::wstring& pipe_name,
                  SECURITY_ATTRIBUTES* pipe_security_attributes,
                  ClientConnectedCallback connect_callback,
                  void* connect_context,
                  ClientDumpRequestCallback dump_callback, void* dump_context,
                  ClientExitedCallback exit_callback, void* exit_context,
                  ClientUploadRequestCallback upload_callback,
                  void* upload_context, bool generate_dumps,
                  const std::wstring* dump_path);
  // Must run on the thread that called Start (it owns the server-alive
  // mutex) and never on one of the server's wait threads. Clients still
  // registered are dropped without the exit hook.
  ~CrashPipeServer();
  CrashPipeServer(const CrashPipeServer&) = delete;
  CrashPipeServer& operator=(const CrashPipeServer&) = delete;

  // Creates the pipe as its first and only instance and starts listening.
  bool Start();

  // Waits up to |timeout_ms| until no dump is being written, handed to the
  // dump hook or waiting for its client to be released, leaving out the
  // one the calling thread serves (a hook that ends the process) and those
  // of |threads_left_out|. True when none is left. Safe from any thread,
  // hooks included.
  bool WaitForDumpsInProgress(DWORD timeout_ms,
                              const std::vector<DWORD>& threads_left_out = {});

 private:
  static void CALLBACK OnPipeConnected(void* context, BOOLEAN timer_fired);
  static void CALLBACK OnConnectionDeadline(void* context,
                                            BOOLEAN timer_fired);
  static void CALLBACK OnDumpRequest(void* context, BOOLEAN timer_fired);
  static void CALLBACK OnClientEnd(void* context, BOOLEAN timer_fired);

  void HandleConnectionRequest();
  void CheckConnectionTime();
  // Both run under |pipe_step_lock_|.
  void ArmConnectionDeadline(DWORD due_ms);
  void DisarmConnectionDeadline();
  void HandleErrorState();
  void HandleInitialState();
  void HandleConnectingState();
  void HandleConnectedState();
  void HandleReadingState();
  void HandleReadDoneState();
  void HandleWritingState();
  void HandleWriteDoneState();
  void HandleReadingAckState();
  void HandleDisconnectingState();
  void LogMissingAck();

  void EnterStateImmediately(PipeState state);
  void EnterStateWhenSignaled(PipeState state);
  void EnterErrorState();

  void HandleRegistrationRequest();
  bool RespondToClient(ClientRecord* client);
  bool IsClaimedProcessAtPipeEnd();
  bool DuplicateHandlesIntoClient(ClientRecord* client, PipeMessage* reply);
  void CloseHandlesInClient(ClientRecord* client, PipeMessage* reply);
  void DropClient(ClientRecord* client);
  void FinishRegistration();
  // Both need |lock_| held.
  std::unique_ptr<ClientRecord> TakeFromList(ClientRecord* client);
  bool IsListed(ClientRecord* client) const;
  bool AddClient(std::unique_ptr<ClientRecord> client);
  bool IsShuttingDown();

  void ServeDumpRequest(ClientRecord* client);
  void HandleDumpRequest(ClientRecord* client);
  bool GenerateDump(ClientRecord* client, std::wstring* dump_path);
  void HandleClientProcessExit(ClientRecord* client);

  std::mutex lock_;  // Guards |clients_|, |shutting_down_| and |dumping_|.
  // The threads serving a dump request, from the dump to the client's
  // release; signalled through |dumps_done_| whenever one ends.
  std::vector<DWORD> dumping_;
  std::condition_variable dumps_done_;
  std::list<std::unique_ptr<ClientRecord>> clients_;
  const std::wstring pipe_name_;
  SECURITY_ATTRIBUTES* const pipe_security_attributes_;
  base::win::ScopedHandle pipe_;
  HANDLE pipe_wait_handle_ = nullptr;
  // Cuts off a client that stalls on the pipe (see CheckConnectionTime):
  // one timer per connection, due when its time is up, in a queue of its
  // own so the destructor can wait for every callback.
  HANDLE timer_queue_ = nullptr;
  HANDLE connection_timer_ = nullptr;
  // Held for each step of the pipe machine, so the deadline timer only ever
  // sees the machine between two steps.
  std::mutex pipe_step_lock_;
  base::win::ScopedHandle server_alive_mutex_;
  base::win::ScopedHandle pipe_event_;
  const ClientConnectedCallback connect_callback_;
  void* const connect_context_;
  const ClientDumpRequestCallback dump_callback_;
  void* const dump_context_;
  const ClientExitedCallback exit_callback_;
  void* const exit_context_;
  const ClientUploadRequestCallback upload_callback_;
  void* const upload_context_;
  const bool generate_dumps_;
  const bool pre_fetch_custom_info_ = true;
  const std::wstring dump_path_;
  volatile LONG state_ = kStateUninitialized;
  bool shutting_down_ = false;
  OVERLAPPED overlapped_ = {};
  // When the current connection was made, for the stall time-out.
  std::chrono::steady_clock::time_point connection_start_;
  // The current client has read its reply: it holds its handles and is
  // registered, whether or not its acknowledgement comes.
  bool reply_delivered_ = false;
  PipeMessage message_ = {};
  PipeMessage reply_ = {};
  // The record being registered on the current connection; guarded by
  // |lock_| for the exit callbacks' sake, which wait on |registered_| until
  // the machine is done with it.
  ClientRecord* current_client_ = nullptr;
  std::condition_variable registered_;
};

}  // namespace crash_capture

#endif  // CRASH_CAPTURE_CRASH_PIPE_SERVER_H_
