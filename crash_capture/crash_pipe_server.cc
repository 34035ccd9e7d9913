#include "crash_capture/crash_pipe_server.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/logging.h"
#include "crash_capture/dump_writer.h"

namespace crash_capture {

namespace {

constexpr DWORD kPipeOpenMode =
    PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED;
constexpr DWORD kPipeMode =
    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;
constexpr DWORD kPipeBufferSize = 64;
constexpr int kShutdownPollCount = 100;
constexpr DWORD kShutdownPollIntervalMs = 10;
// The pipe has one instance, so a client that connects and then stalls would
// keep every other client out. A well-behaved client sends, reads and
// acknowledges at once; one that takes longer than this is cut off, early
// enough for a waiting client to get in within its 2000 ms pipe wait.
constexpr DWORD kConnectionTimeLimitMs = 1000;

bool DuplicateIntoClient(HANDLE client_process, HANDLE source, DWORD access,
                         uint64_t* target) {
  HANDLE duplicate = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), source, client_process, &duplicate,
                       access, FALSE, 0)) {
    return false;
  }
  *target = reinterpret_cast<uint64_t>(duplicate);
  return true;
}

void CloseInClient(HANDLE client_process, uint64_t* handle) {
  if (*handle == 0) return;
  DuplicateHandle(client_process, reinterpret_cast<HANDLE>(*handle), nullptr,
                  nullptr, 0, FALSE, DUPLICATE_CLOSE_SOURCE);
  *handle = 0;
}

}  // namespace

CrashPipeServer::CrashPipeServer(
    const std::wstring& pipe_name,
    SECURITY_ATTRIBUTES* pipe_security_attributes,
    ClientConnectedCallback connect_callback, void* connect_context,
    ClientDumpRequestCallback dump_callback, void* dump_context,
    ClientExitedCallback exit_callback, void* exit_context,
    ClientUploadRequestCallback upload_callback, void* upload_context,
    bool generate_dumps, const std::wstring* dump_path)
    : pipe_name_(pipe_name),
      pipe_security_attributes_(pipe_security_attributes),
      connect_callback_(connect_callback),
      connect_context_(connect_context),
      dump_callback_(dump_callback),
      dump_context_(dump_context),
      exit_callback_(exit_callback),
      exit_context_(exit_context),
      upload_callback_(upload_callback),
      upload_context_(upload_context),
      generate_dumps_(generate_dumps),
      dump_path_(dump_path ? *dump_path : std::wstring()) {}

CrashPipeServer::~CrashPipeServer() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    shutting_down_ = true;
  }
  registered_.notify_all();
  // Disconnecting a listening pipe completes nothing, so the pending connect
  // is cancelled too; the event is set in case nothing is pending at all.
  if (pipe_.IsValid()) {
    CancelIoEx(pipe_.Get(), &overlapped_);
    DisconnectNamedPipe(pipe_.Get());
  }
  if (pipe_wait_handle_) {
    SetEvent(pipe_event_.Get());
    for (int i = 0; i < kShutdownPollCount; ++i) {
      if (InterlockedCompareExchange(&state_, 0, 0) == kStateError) break;
      Sleep(kShutdownPollIntervalMs);
    }
    UnregisterWaitEx(pipe_wait_handle_, INVALID_HANDLE_VALUE);
    pipe_wait_handle_ = nullptr;
  }
  // The machine has stopped, so no step arms a timer any more; this waits
  // for a deadline callback still running, which may use the pipe.
  if (timer_queue_) DeleteTimerQueueEx(timer_queue_, INVALID_HANDLE_VALUE);
  pipe_.Close();

  // The exit wait goes first: once it has returned no exit callback is busy
  // with the record.
  for (std::unique_ptr<ClientRecord>& client : clients_) {
    client->UnregisterProcessExitWait(true);
    client->UnregisterDumpRequestWait();
  }
  clients_.clear();

  if (server_alive_mutex_.IsValid()) ReleaseMutex(server_alive_mutex_.Get());
  server_alive_mutex_.Close();
  pipe_event_.Close();
}

bool CrashPipeServer::Start() {
  if (state_ != kStateUninitialized) return false;
  state_ = kStateInitial;

  server_alive_mutex_.Set(CreateMutexW(nullptr, TRUE, nullptr));
  if (!server_alive_mutex_.IsValid()) return false;
  pipe_event_.Set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!pipe_event_.IsValid()) return false;
  overlapped_.hEvent = pipe_event_.Get();

  if (!RegisterWaitForSingleObject(&pipe_wait_handle_, pipe_event_.Get(),
                                   &CrashPipeServer::OnPipeConnected, this,
                                   INFINITE, WT_EXECUTEINWAITTHREAD)) {
    pipe_wait_handle_ = nullptr;
    return false;
  }
  // Timers of its own: under Wine a wait with a time-out fires once and is
  // then dead.
  timer_queue_ = CreateTimerQueue();
  if (!timer_queue_) return false;

  pipe_.Set(CreateNamedPipeW(pipe_name_.c_str(), kPipeOpenMode, kPipeMode, 1,
                             kPipeBufferSize, kPipeBufferSize, 0,
                             pipe_security_attributes_));
  // A second copy of the program fails here, and quietly: the running copy
  // owns the log.
  if (!pipe_.IsValid()) return false;
  if (!SetEvent(pipe_event_.Get())) {
    state_ = kStateError;
    return false;
  }
  return true;
}

// static
void CALLBACK CrashPipeServer::OnPipeConnected(void* context, BOOLEAN) {
  auto* server = static_cast<CrashPipeServer*>(context);
  std::lock_guard<std::mutex> step(server->pipe_step_lock_);
  server->HandleConnectionRequest();
}

// static
void CALLBACK CrashPipeServer::OnConnectionDeadline(void* context, BOOLEAN) {
  auto* server = static_cast<CrashPipeServer*>(context);
  // Waits out a step under way (a connect hook, say): only the state it
  // leaves tells whether the client still holds the pipe. One timer per
  // connection, so at most one callback ever waits here.
  std::lock_guard<std::mutex> between_steps(server->pipe_step_lock_);
  server->CheckConnectionTime();
}

// static
void CALLBACK CrashPipeServer::OnDumpRequest(void* context, BOOLEAN) {
  ClientRecord* client = static_cast<ClientRecord*>(context);
  // The wait consumed the request (auto-reset event). A request set again
  // while a dump of this client runs is left to that dump's thread, which
  // makes one more dump for all of them: a client that sets its event in a
  // loop ties up no pool thread per signal and queues no dump per signal.
  client->set_dump_wanted();
  while (client->dump_wanted()) {
    std::unique_lock<std::mutex> dumping(client->dump_lock(),
                                         std::try_to_lock);
    if (!dumping.owns_lock()) return;
    while (client->TakeDumpWanted()) client->server()->ServeDumpRequest(client);
  }
}

void CrashPipeServer::ServeDumpRequest(ClientRecord* client) {
  const DWORD thread = GetCurrentThreadId();
  {
    std::lock_guard<std::mutex> guard(lock_);
    dumping_.push_back(thread);
  }
  if (pre_fetch_custom_info_ && !client->PopulateCustomInfo()) {
    LOG(WARNING) << "Cannot read the custom information of client "
                 << client->pid();
  }
  HandleDumpRequest(client);
  {
    std::lock_guard<std::mutex> guard(lock_);
    dumping_.erase(std::find(dumping_.begin(), dumping_.end(), thread));
  }
  dumps_done_.notify_all();
}

bool CrashPipeServer::WaitForDumpsInProgress(
    DWORD timeout_ms, const std::vector<DWORD>& threads_left_out) {
  std::vector<DWORD> left_out = threads_left_out;
  left_out.push_back(GetCurrentThreadId());
  const auto is_left_out = [&left_out](DWORD thread) {
    return std::find(left_out.begin(), left_out.end(), thread) !=
           left_out.end();
  };
  std::unique_lock<std::mutex> guard(lock_);
  return dumps_done_.wait_for(
      guard, std::chrono::milliseconds(timeout_ms), [this, &is_left_out] {
        return std::all_of(dumping_.begin(), dumping_.end(), is_left_out);
      });
}

// static
void CALLBACK CrashPipeServer::OnClientEnd(void* context, BOOLEAN) {
  ClientRecord* client = static_cast<ClientRecord*>(context);
  client->server()->HandleClientProcessExit(client);
}

bool CrashPipeServer::IsShuttingDown() {
  std::lock_guard<std::mutex> guard(lock_);
  return shutting_down_;
}

void CrashPipeServer::EnterStateImmediately(PipeState state) {
  state_ = state;
  if (!SetEvent(pipe_event_.Get())) state_ = kStateError;
}

void CrashPipeServer::EnterStateWhenSignaled(PipeState state) {
  state_ = state;
}

void CrashPipeServer::EnterErrorState() {
  SetEvent(pipe_event_.Get());
  state_ = kStateError;
}

void CrashPipeServer::HandleConnectionRequest() {
  if (IsShuttingDown()) {
    state_ = kStateError;
    ResetEvent(pipe_event_.Get());
    return;
  }
  switch (state_) {
    case kStateError:
      return HandleErrorState();
    case kStateInitial:
      return HandleInitialState();
    case kStateConnecting:
      return HandleConnectingState();
    case kStateConnected:
      return HandleConnectedState();
    case kStateReading:
      return HandleReadingState();
    case kStateReadDone:
      return HandleReadDoneState();
    case kStateWriting:
      return HandleWritingState();
    case kStateWriteDone:
      return HandleWriteDoneState();
    case kStateReadingAck:
      return HandleReadingAckState();
    case kStateDisconnecting:
      return HandleDisconnectingState();
    default:
      state_ = kStateError;
      return;
  }
}

void CrashPipeServer::CheckConnectionTime() {
  switch (state_) {
    case kStateReading:
    case kStateWriting:
    case kStateReadingAck:
      break;
    default:
      return;  // Listening, or between two steps.
  }
  const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - connection_start_);
  const auto limit = std::chrono::milliseconds(kConnectionTimeLimitMs);
  if (age < limit) {
    // Early, or the timer of a connection that has ended since: look again
    // when this connection's time is up.
    return ArmConnectionDeadline(static_cast<DWORD>((limit - age).count()) +
                                 1);
  }
  LOG(ERROR) << "Crash pipe client stalled for " << age.count()
             << " ms; cutting it off";
  // The cancelled operation completes, and its state's handler ends the
  // connection as for any failed pipe operation.
  CancelIoEx(pipe_.Get(), &overlapped_);
}

void CrashPipeServer::ArmConnectionDeadline(DWORD due_ms) {
  DisarmConnectionDeadline();
  if (!CreateTimerQueueTimer(&connection_timer_, timer_queue_,
                             &CrashPipeServer::OnConnectionDeadline, this,
                             due_ms, 0, WT_EXECUTEONLYONCE)) {
    connection_timer_ = nullptr;
    const DWORD last_error = GetLastError();
    LOG(ERROR) << "No time limit for this crash pipe client, error "
               << last_error;
  }
}

void CrashPipeServer::DisarmConnectionDeadline() {
  if (!connection_timer_) return;
  // Not waiting: a callback that already runs waits for this very step, and
  // finds the machine past the connection.
  DeleteTimerQueueTimer(timer_queue_, connection_timer_, nullptr);
  connection_timer_ = nullptr;
}

void CrashPipeServer::HandleErrorState() {
  // Under the lock, so the destructor either sees everything released here
  // or this never runs.
  std::lock_guard<std::mutex> guard(lock_);
  if (shutting_down_) return;
  LOG(ERROR) << "The crash pipe failed; no further clients are taken";
  // Inside this wait's own callback: must not wait for it.
  UnregisterWait(pipe_wait_handle_);
  pipe_wait_handle_ = nullptr;
  // Frees the name. The event stays for the destructor: the wait thread may
  // still hold it until the unregistration has gone through.
  pipe_.Close();
}

void CrashPipeServer::HandleInitialState() {
  if (!ResetEvent(pipe_event_.Get())) return EnterErrorState();
  if (ConnectNamedPipe(pipe_.Get(), &overlapped_))
    return EnterStateImmediately(kStateConnected);
  const DWORD error = GetLastError();
  switch (error) {
    case ERROR_PIPE_CONNECTED:
      return EnterStateImmediately(kStateConnected);
    case ERROR_IO_PENDING:
      return EnterStateWhenSignaled(kStateConnecting);
    case ERROR_NO_DATA:
      // A client opened the pipe and closed it again before we listened:
      // that connection is over, so end it and listen again.
      LOG(WARNING) << "A client left the crash pipe before it was heard";
      return EnterStateImmediately(kStateDisconnecting);
    default:
      LOG(ERROR) << "ConnectNamedPipe failed, error " << error;
      return EnterErrorState();
  }
}

void CrashPipeServer::HandleConnectingState() {
  DWORD bytes = 0;
  if (GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes, FALSE))
    return EnterStateImmediately(kStateConnected);
  if (GetLastError() == ERROR_IO_INCOMPLETE) return;
  EnterStateImmediately(kStateDisconnecting);
}

void CrashPipeServer::HandleConnectedState() {
  connection_start_ = std::chrono::steady_clock::now();
  ArmConnectionDeadline(kConnectionTimeLimitMs);
  message_ = PipeMessage{};
  if (ReadFile(pipe_.Get(), &message_, kPipeMessageSize, nullptr,
               &overlapped_) ||
      GetLastError() == ERROR_IO_PENDING) {
    return EnterStateWhenSignaled(kStateReading);
  }
  const DWORD last_error = GetLastError();
  LOG(ERROR) << "Bad crash pipe message: read failed, error " << last_error;
  EnterStateImmediately(kStateDisconnecting);
}

void CrashPipeServer::HandleReadingState() {
  DWORD bytes = 0;
  if (GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes, FALSE) &&
      bytes == kPipeMessageSize) {
    return EnterStateImmediately(kStateReadDone);
  }
  const DWORD error = GetLastError();
  if (error == ERROR_MORE_DATA) {
    LOG(ERROR) << "Bad crash pipe message: longer than " << kPipeMessageSize
               << " bytes";
  } else if (bytes != 0) {
    LOG(ERROR) << "Bad crash pipe message: " << bytes << " bytes";
  } else {
    LOG(WARNING) << "Crash pipe client left without a message, error " << error;
  }
  EnterStateImmediately(kStateDisconnecting);
}

void CrashPipeServer::HandleReadDoneState() {
  if (!IsValidClientMessage(message_)) {
    LOG(ERROR) << "Bad crash pipe message: tag " << message_.tag << ", id "
               << message_.id;
    return EnterStateImmediately(kStateDisconnecting);
  }
  if (message_.tag == kUploadRequest) {
    if (upload_callback_) upload_callback_(upload_context_, message_.id);
    return EnterStateImmediately(kStateDisconnecting);
  }
  HandleRegistrationRequest();
}

bool CrashPipeServer::IsClaimedProcessAtPipeEnd() {
  ULONG pipe_client_pid = 0;
  if (!GetNamedPipeClientProcessId(pipe_.Get(), &pipe_client_pid)) {
    const DWORD last_error = GetLastError();
    LOG(WARNING) << "Registration refused for process " << message_.id
                 << ": the process at the other end of the pipe is unknown,"
                 << " error " << last_error;
    return false;
  }
  if (pipe_client_pid == message_.id) return true;
  // Anyone may open the pipe: believing the id would hand another process's
  // memory to the dumps, and its handles to whoever asked.
  LOG(WARNING) << "Registration refused: process " << pipe_client_pid
               << " registered as process " << message_.id;
  return false;
}

void CrashPipeServer::HandleRegistrationRequest() {
  if (!IsClaimedProcessAtPipeEnd())
    return EnterStateImmediately(kStateDisconnecting);
  auto client = std::make_unique<ClientRecord>(
      this, message_.id, message_.dump_type, message_.thread_id_address,
      message_.exception_pointers_address, message_.assertion_info_address,
      message_.custom_info);
  if (!client->Initialize()) {
    const DWORD last_error = GetLastError();
    LOG(ERROR) << "Cannot take client " << message_.id << ", error "
               << last_error;
    return EnterStateImmediately(kStateDisconnecting);
  }
  // Watched and listed before the reply goes out: a client told it is
  // registered is always served.
  ClientRecord* record = client.get();
  if (!AddClient(std::move(client)))
    return EnterStateImmediately(kStateDisconnecting);
  if (!RespondToClient(record)) {
    DropClient(record);
    return EnterStateImmediately(kStateDisconnecting);
  }
  EnterStateWhenSignaled(kStateWriting);
}

bool CrashPipeServer::DuplicateHandlesIntoClient(ClientRecord* client,
                                                 PipeMessage* reply) {
  const HANDLE process = client->process_handle();
  if (DuplicateIntoClient(process, client->dump_requested_event(),
                          kDumpRequestEventAccess,
                          &reply->dump_request_handle) &&
      DuplicateIntoClient(process, client->dump_generated_event(),
                          kDumpGeneratedEventAccess,
                          &reply->dump_generated_handle) &&
      DuplicateIntoClient(process, server_alive_mutex_.Get(),
                          kServerAliveMutexAccess,
                          &reply->server_alive_handle)) {
    return true;
  }
  const DWORD last_error = GetLastError();
  LOG(ERROR) << "Cannot hand client " << client->pid() << " its handles, error "
             << last_error;
  CloseHandlesInClient(client, reply);
  return false;
}

void CrashPipeServer::CloseHandlesInClient(ClientRecord* client,
                                           PipeMessage* reply) {
  const HANDLE process = client->process_handle();
  CloseInClient(process, &reply->dump_request_handle);
  CloseInClient(process, &reply->dump_generated_handle);
  CloseInClient(process, &reply->server_alive_handle);
}

bool CrashPipeServer::RespondToClient(ClientRecord* client) {
  reply_ = PipeMessage{};
  reply_.tag = kRegistrationResponse;
  reply_.id = GetCurrentProcessId();
  if (!DuplicateHandlesIntoClient(client, &reply_)) return false;
  // |reply_| stays untouched until the Writing state has seen the write end.
  if (WriteFile(pipe_.Get(), &reply_, kPipeMessageSize, nullptr,
                &overlapped_) ||
      GetLastError() == ERROR_IO_PENDING) {
    return true;
  }
  const DWORD last_error = GetLastError();
  LOG(ERROR) << "Cannot answer client " << client->pid() << ", error "
             << last_error;
  CloseHandlesInClient(client, &reply_);
  return false;
}

bool CrashPipeServer::AddClient(std::unique_ptr<ClientRecord> client) {
  ClientRecord* record = client.get();
  {
    // Listed before its waits exist, so an exit callback always finds it.
    // From here until the connection ends only the pipe machine deletes it.
    std::lock_guard<std::mutex> guard(lock_);
    if (shutting_down_) return false;
    current_client_ = record;
    clients_.push_back(std::move(client));
  }
  HANDLE wait = nullptr;
  // On pool threads, not in the wait thread: a dump and its hook take
  // seconds (the whole crash handling flow runs in the hook), and meanwhile
  // the pipe and the other clients' requests must still be served.
  if (!RegisterWaitForSingleObject(&wait, record->dump_requested_event(),
                                   &CrashPipeServer::OnDumpRequest, record,
                                   INFINITE, WT_EXECUTELONGFUNCTION)) {
    DropClient(record);
    return false;
  }
  record->set_dump_request_wait_handle(wait);
  if (!RegisterWaitForSingleObject(&wait, record->process_handle(),
                                   &CrashPipeServer::OnClientEnd, record,
                                   INFINITE, WT_EXECUTEONLYONCE)) {
    DropClient(record);
    return false;
  }
  record->set_process_exit_wait_handle(wait);
  return true;
}

void CrashPipeServer::DropClient(ClientRecord* client) {
  std::unique_ptr<ClientRecord> dropped;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (current_client_ == client) current_client_ = nullptr;
    if (shutting_down_) return;  // The destructor deletes it.
    dropped = TakeFromList(client);
  }
  // Its exit callback, if waiting, finds it gone before it is deleted.
  registered_.notify_all();
  // The record's destructor waits for an exit callback that is still busy
  // with it; that callback finds it gone from the list and leaves it alone.
}

void CrashPipeServer::FinishRegistration() {
  const bool reply_delivered = reply_delivered_;
  reply_delivered_ = false;
  {
    // Under the lock, and before its exit callback goes on: a client that
    // exits meanwhile is reported gone only after it was reported here.
    std::lock_guard<std::mutex> guard(lock_);
    ClientRecord* client = current_client_;
    current_client_ = nullptr;
    if (!client || shutting_down_) return;
    // A client that has read its reply holds its handles: it is registered,
    // whether its acknowledgement came, came late or never, and even when
    // it is gone already (its exit is then reported next).
    if (reply_delivered) {
      client->set_reported_connected();
      if (connect_callback_) connect_callback_(connect_context_, client);
    }
  }
  registered_.notify_all();
}

std::unique_ptr<ClientRecord> CrashPipeServer::TakeFromList(
    ClientRecord* client) {
  for (auto it = clients_.begin(); it != clients_.end(); ++it) {
    if (it->get() != client) continue;
    std::unique_ptr<ClientRecord> taken = std::move(*it);
    clients_.erase(it);
    return taken;
  }
  return nullptr;
}

bool CrashPipeServer::IsListed(ClientRecord* client) const {
  for (const std::unique_ptr<ClientRecord>& listed : clients_) {
    if (listed.get() == client) return true;
  }
  return false;
}

void CrashPipeServer::HandleWritingState() {
  DWORD bytes = 0;
  // The reply is larger than the pipe's buffer, so the write ends only once
  // the client has read it.
  if (GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes, FALSE)) {
    reply_delivered_ = current_client_ != nullptr;
    return EnterStateImmediately(kStateWriteDone);
  }
  // The client never got its handles: take them back and forget it.
  const DWORD last_error = GetLastError();
  if (!current_client_) return EnterStateImmediately(kStateDisconnecting);
  LOG(ERROR) << "Cannot answer client " << current_client_->pid() << ", error "
             << last_error;
  CloseHandlesInClient(current_client_, &reply_);
  DropClient(current_client_);
  EnterStateImmediately(kStateDisconnecting);
}

void CrashPipeServer::HandleWriteDoneState() {
  // A longer message than ours is an acknowledgement too.
  if (ReadFile(pipe_.Get(), &message_, kPipeMessageSize, nullptr,
               &overlapped_) ||
      GetLastError() == ERROR_MORE_DATA) {
    return EnterStateImmediately(kStateReadingAck);
  }
  if (GetLastError() == ERROR_IO_PENDING)
    return EnterStateWhenSignaled(kStateReadingAck);
  LogMissingAck();
  EnterStateImmediately(kStateDisconnecting);
}

void CrashPipeServer::LogMissingAck() {
  if (!current_client_) return;
  LOG(WARNING) << "Client " << current_client_->pid()
               << " did not acknowledge its registration";
}

void CrashPipeServer::HandleReadingAckState() {
  DWORD bytes = 0;
  // The acknowledgement's content is not examined: any message, even a short
  // or a long one, is one. A client that closes its end instead of answering
  // can leave a read that succeeds with nothing in it: that is none.
  const bool read = GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes,
                                        FALSE) ||
                    GetLastError() == ERROR_MORE_DATA;
  if (!read || bytes == 0) LogMissingAck();
  // Reported connected as the connection ends.
  EnterStateImmediately(kStateDisconnecting);
}

void CrashPipeServer::HandleDisconnectingState() {
  DisarmConnectionDeadline();
  FinishRegistration();
  const HANDLE event = overlapped_.hEvent;
  overlapped_ = OVERLAPPED{};
  overlapped_.hEvent = event;
  if (!ResetEvent(pipe_event_.Get()) || !DisconnectNamedPipe(pipe_.Get())) {
    const DWORD last_error = GetLastError();
    LOG(ERROR) << "DisconnectNamedPipe failed, error " << last_error;
    return EnterErrorState();
  }
  // Shutting down: stop here, whatever signal this reset swallowed.
  if (IsShuttingDown()) {
    state_ = kStateError;
    return;
  }
  EnterStateImmediately(kStateInitial);
}

void CrashPipeServer::HandleDumpRequest(ClientRecord* client) {
  std::wstring dump_path;
  bool ok = true;
  if (generate_dumps_) ok = GenerateDump(client, &dump_path);
  if (!ok) {
    LOG(ERROR) << "No dump was written for client " << client->pid();
  } else if (dump_callback_) {
    dump_callback_(dump_context_, client,
                   dump_path.empty() ? nullptr : &dump_path);
  }
  // Also after a failed dump: the client must not wait for nothing.
  SetEvent(client->dump_generated_event());
}

bool CrashPipeServer::GenerateDump(ClientRecord* client,
                                   std::wstring* dump_path) {
  uint64_t exception_pointers = 0;
  DWORD thread_id = 0;
  if (!client->GetClientExceptionInfo(&exception_pointers) ||
      !client->GetClientThreadId(&thread_id)) {
    LOG(ERROR) << "Cannot read the crash details of client " << client->pid();
    return false;
  }
  DumpWriter writer(dump_path_, client->process_handle(), client->pid(),
                    thread_id, GetCurrentThreadId(), exception_pointers,
                    client->assertion_info_address(), client->dump_type(),
                    true);
  if (!writer.CreateDumpFile(dump_path)) return false;
  // The full-memory dump is the optional half: without its file the normal
  // dump still goes to the hook.
  if (client->dump_type() & MiniDumpWithFullMemory) {
    std::wstring full_dump_path;
    if (!writer.CreateFullDumpFile(&full_dump_path))
      LOG(ERROR) << "No full-memory dump for client " << client->pid();
  }
  return writer.WriteMinidump();
}

void CrashPipeServer::HandleClientProcessExit(ClientRecord* client) {
  {
    // A client that exits while it registers is reported (or dropped) by
    // the pipe machine first, which its stall guard keeps brief.
    std::unique_lock<std::mutex> guard(lock_);
    registered_.wait(guard, [this, client] {
      return shutting_down_ || client != current_client_;
    });
    if (shutting_down_) return;     // The destructor deletes it.
    if (!IsListed(client)) return;  // Dropped by the pipe machine.
  }
  client->UnregisterDumpRequestWait();
  // Only a client that was reported as connected is reported as gone.
  if (exit_callback_ && client->reported_connected())
    exit_callback_(exit_context_, client);

  std::unique_ptr<ClientRecord> exited;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (shutting_down_) return;
    exited = TakeFromList(client);
  }
  if (exited) exited->UnregisterProcessExitWait(false);
}

}  // namespace crash_capture
