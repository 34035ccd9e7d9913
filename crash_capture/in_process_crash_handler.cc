#include "crash_capture/in_process_crash_handler.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "base/lazy_instance.h"
#include "base/lock.h"
#include "crash_capture/dump_writer.h"

// The runtime's own pure-call report, for when no handler is installed.
extern "C" void __cdecl _purecall(void);

// g++ sends a pure virtual call to its support library, which aborts without
// asking anyone. Sending it to the handler installed with
// _set_purecall_handler lets crash handlers see it as with the platform's
// own compiler. (The runtime's _purecall is no route: a runtime without its
// own _set_purecall_handler never calls the one set here.)
extern "C" void __cxa_pure_virtual() {
  const _purecall_handler installed = _set_purecall_handler(nullptr);
  _set_purecall_handler(installed);
  if (installed) installed();
  _purecall();
  // Neither may return into the half-built or half-destroyed object.
  TerminateProcess(GetCurrentProcess(), STATUS_NONCONTINUABLE_EXCEPTION);
}

namespace crash_capture {

namespace {

// Committed up front; the reservation is the program's default and the
// stack grows into it while the debug-help library works.
constexpr SIZE_T kHandlerThreadStackSize = 64 * 1024;
// The thread only has to wake and see the stop flag.
constexpr DWORD kHandlerThreadStopWaitMs = 10000;

// Handlers in the order they were installed; the last one serves.
base::LazyInstance<base::LockImpl>::Leaky g_handler_stack_lock =
    LAZY_INSTANCE_INITIALIZER;
base::LazyInstance<std::vector<InProcessCrashHandler*>>::Leaky g_handler_stack =
    LAZY_INSTANCE_INITIALIZER;

bool IsDebuggerException(DWORD code) {
  return code == EXCEPTION_BREAKPOINT || code == EXCEPTION_SINGLE_STEP ||
         code == DBG_PRINTEXCEPTION_C || code == DBG_PRINTEXCEPTION_WIDE_C;
}

// The runtime may pass null for any text.
void CopyTruncated(wchar_t* field, const wchar_t* text) {
  if (!text) return;
  wcsncpy(field, text, AssertionInfo::kTextMaxLength - 1);
  field[AssertionInfo::kTextMaxLength - 1] = L'\0';
}

}  // namespace

struct InProcessCrashHandler::ThreadControl {
  base::win::ScopedHandle start;
  base::win::ScopedHandle finished;
  volatile LONG stop = 0;
  InProcessCrashHandler* handler = nullptr;
};

InProcessCrashHandler::InProcessCrashHandler(const Options& options)
    : options_(options) {
  Initialize(nullptr);
}

InProcessCrashHandler::InProcessCrashHandler(const Options& options,
                                             const std::wstring& pipe_name)
    : options_(options) {
  Initialize(std::make_unique<CrashPipeClient>(pipe_name, options.dump_type,
                                               options.custom_info));
}

InProcessCrashHandler::InProcessCrashHandler(const Options& options,
                                             HANDLE pipe_handle)
    : options_(options) {
  Initialize(std::make_unique<CrashPipeClient>(pipe_handle, options.dump_type,
                                               options.custom_info));
}

InProcessCrashHandler::InProcessCrashHandler(
    const Options& options, std::unique_ptr<CrashPipeClient> client)
    : options_(options) {
  Initialize(std::move(client));
}

void InProcessCrashHandler::Initialize(
    std::unique_ptr<CrashPipeClient> client) {
  InitializeCriticalSection(&request_lock_);
  // Without a server the dumps are written here instead.
  if (client && client->Register()) {
    client->set_dump_wait_ms(options_.server_dump_wait_ms);
    client_ = std::move(client);
  }
  if (!client_) {
    dbghelp_ = std::make_unique<ScopedLibrary>(L"dbghelp.dll");
    rpcrt4_ = std::make_unique<ScopedLibrary>(L"rpcrt4.dll");
    StartHandlerThread();
  }
  base::AutoLock lock(g_handler_stack_lock.Get());
  g_handler_stack.Get().push_back(this);
  InstallHooks();
}

InProcessCrashHandler::~InProcessCrashHandler() {
  {
    base::AutoLock lock(g_handler_stack_lock.Get());
    std::vector<InProcessCrashHandler*>& stack = g_handler_stack.Get();
    if (!stack.empty() && stack.back() == this) {
      RestoreHooks();
      stack.pop_back();
    } else {
      // The handlers above this one keep serving; this one only leaves.
      fputs("warning: removing crash handler out of order\n", stderr);
      stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
    }
  }
  StopHandlerThread();
  client_.reset();
  DeleteCriticalSection(&request_lock_);
}

// static
InProcessCrashHandler* InProcessCrashHandler::Current(HandlerType type) {
  base::AutoLock lock(g_handler_stack_lock.Get());
  const std::vector<InProcessCrashHandler*>& stack = g_handler_stack.Get();
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    if ((*it)->options_.handler_types & type) return *it;
  }
  return nullptr;
}

void InProcessCrashHandler::InstallHooks() {
  const int types = options_.handler_types;
  if (types & kHandlerException)
    previous_filter_ = SetUnhandledExceptionFilter(OnUnhandledException);
  if (types & kHandlerInvalidParameter) {
    previous_invalid_parameter_handler_ =
        _set_invalid_parameter_handler(OnInvalidParameter);
  }
  if (types & kHandlerPureCall)
    previous_pure_call_handler_ = _set_purecall_handler(OnPureCall);
}

void InProcessCrashHandler::RestoreHooks() {
  const int types = options_.handler_types;
  if (types & kHandlerException) SetUnhandledExceptionFilter(previous_filter_);
  if (types & kHandlerInvalidParameter)
    _set_invalid_parameter_handler(previous_invalid_parameter_handler_);
  if (types & kHandlerPureCall)
    _set_purecall_handler(previous_pure_call_handler_);
}

void InProcessCrashHandler::StartHandlerThread() {
  auto control = std::make_unique<ThreadControl>();
  control->start.Set(CreateSemaphoreW(nullptr, 0, 1, nullptr));
  control->finished.Set(CreateSemaphoreW(nullptr, 0, 1, nullptr));
  control->handler = this;
  if (!control->start.IsValid() || !control->finished.IsValid()) return;
  handler_thread_.Set(CreateThread(nullptr, kHandlerThreadStackSize,
                                   HandlerThreadMain, control.get(), 0,
                                   &handler_thread_id_));
  if (!handler_thread_.IsValid()) {
    handler_thread_id_ = 0;
    return;
  }
  thread_control_ = control.release();
}

// The thread is asked to end and given time to do so. Terminating it could
// leave the heap or the loader lock held for the rest of the process.
void InProcessCrashHandler::StopHandlerThread() {
  if (!thread_control_) return;
  EnterCriticalSection(&request_lock_);  // No dump is under way.
  InterlockedExchange(&thread_control_->stop, 1);
  ReleaseSemaphore(thread_control_->start.Get(), 1, nullptr);
  LeaveCriticalSection(&request_lock_);
  if (WaitForSingleObject(handler_thread_.Get(), kHandlerThreadStopWaitMs) !=
      WAIT_OBJECT_0) {
    // Its control block stays, since the thread may still look at it.
    fputs("warning: crash handler thread did not end; leaving it\n", stderr);
  } else {
    delete thread_control_;
  }
  thread_control_ = nullptr;
  handler_thread_.Close();
}

// static
DWORD WINAPI InProcessCrashHandler::HandlerThreadMain(void* parameter) {
  ThreadControl* control = static_cast<ThreadControl*>(parameter);
  for (;;) {
    if (WaitForSingleObject(control->start.Get(), INFINITE) != WAIT_OBJECT_0)
      return 1;
    if (InterlockedCompareExchange(&control->stop, 0, 0))
      return kHandlerThreadExitCode;
    control->handler->RunHandlerThreadRequest();
    ReleaseSemaphore(control->finished.Get(), 1, nullptr);
  }
}

void InProcessCrashHandler::RunHandlerThreadRequest() {
  DumpWriter writer(options_.dump_folder, GetCurrentProcess(),
                    GetCurrentProcessId(), request_thread_id_,
                    GetCurrentThreadId(),
                    reinterpret_cast<uint64_t>(request_exception_),
                    reinterpret_cast<uint64_t>(request_assertion_),
                    options_.dump_type, false);
  std::wstring path;
  std::wstring full_path;
  request_succeeded_ = false;
  request_dump_path_.clear();
  if (!writer.CreateDumpFile(&path)) return;
  writer.CreateFullDumpFile(&full_path);  // Only for full-memory dumps.
  request_succeeded_ = writer.WriteMinidump();
  if (request_succeeded_) request_dump_path_ = path;
}

bool InProcessCrashHandler::WriteDumpOnHandlerThread(
    DWORD thread_id, EXCEPTION_POINTERS* exception,
    const AssertionInfo* assertion, std::wstring* dump_path) {
  // The handler thread cannot wait for itself.
  if (!thread_control_ || GetCurrentThreadId() == handler_thread_id_)
    return false;
  EnterCriticalSection(&request_lock_);
  request_thread_id_ = thread_id;
  request_exception_ = exception;
  request_assertion_ = assertion;
  bool succeeded = false;
  if (ReleaseSemaphore(thread_control_->start.Get(), 1, nullptr) &&
      WaitForSingleObject(thread_control_->finished.Get(), INFINITE) ==
          WAIT_OBJECT_0) {
    succeeded = request_succeeded_;
    *dump_path = request_dump_path_;
  }
  LeaveCriticalSection(&request_lock_);
  return succeeded;
}

bool InProcessCrashHandler::WriteDump(DWORD thread_id,
                                      EXCEPTION_POINTERS* exception,
                                      const AssertionInfo* assertion,
                                      std::wstring* dump_path) {
  // The server learns the requesting thread from the client itself.
  if (client_) return client_->RequestDump(exception, assertion);
  return WriteDumpOnHandlerThread(thread_id, exception, assertion, dump_path);
}

bool InProcessCrashHandler::HandleCrash(DWORD thread_id,
                                        EXCEPTION_POINTERS* exception,
                                        const AssertionInfo* assertion,
                                        bool* succeeded) {
  *succeeded = false;
  if (options_.filter && !options_.filter(options_.context, exception, assertion))
    return false;
  std::wstring dump_path;
  *succeeded = WriteDump(thread_id, exception, assertion, &dump_path);
  if (!options_.dump_done) return *succeeded;
  return options_.dump_done(dump_path.empty() ? nullptr : dump_path.c_str(),
                            options_.context, exception, assertion,
                            *succeeded);
}

bool InProcessCrashHandler::DumpSnapshot(DWORD thread_id, CONTEXT* context) {
  // A requested dump, marked as a break-in as a debugger's would be.
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = EXCEPTION_BREAKPOINT;
  record.ExceptionAddress = reinterpret_cast<void*>(context->Rip);
  EXCEPTION_POINTERS pointers = {&record, context};
  bool succeeded = false;
  HandleCrash(thread_id, &pointers, nullptr, &succeeded);
  return succeeded;
}

bool InProcessCrashHandler::WriteMinidump() {
  CONTEXT context = {};
  RtlCaptureContext(&context);
  return DumpSnapshot(GetCurrentThreadId(), &context);
}

bool InProcessCrashHandler::WriteMinidumpForException(
    EXCEPTION_POINTERS* exception) {
  bool succeeded = false;
  HandleCrash(GetCurrentThreadId(), exception, nullptr, &succeeded);
  return succeeded;
}

bool InProcessCrashHandler::WriteMinidumpForThread(DWORD thread_id) {
  if (thread_id == GetCurrentThreadId()) return WriteMinidump();
  base::win::ScopedHandle thread(OpenThread(
      THREAD_GET_CONTEXT | THREAD_SUSPEND_RESUME | THREAD_QUERY_INFORMATION,
      FALSE, thread_id));
  if (!thread.IsValid()) return false;
  if (SuspendThread(thread.Get()) == static_cast<DWORD>(-1)) return false;
  CONTEXT context = {};
  context.ContextFlags = CONTEXT_FULL;
  const bool got_context = GetThreadContext(thread.Get(), &context) != FALSE;
  ResumeThread(thread.Get());
  return got_context && DumpSnapshot(thread_id, &context);
}

bool InProcessCrashHandler::RequestUpload(uint32_t crash_id) {
  return client_ && client_->RequestUpload(crash_id);
}

bool InProcessCrashHandler::DumpForAssertion(const AssertionInfo& assertion,
                                             DWORD code,
                                             const ULONG_PTR* parameters,
                                             DWORD parameter_count) {
  CONTEXT context = {};
  RtlCaptureContext(&context);
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = code;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  record.NumberParameters = parameter_count;
  std::copy(parameters, parameters + parameter_count,
            record.ExceptionInformation);
  EXCEPTION_POINTERS pointers = {&record, &context};
  bool succeeded = false;
  const bool handled =
      HandleCrash(GetCurrentThreadId(), &pointers, &assertion, &succeeded);
  // Only the hook can call a runtime report handled.
  return handled && options_.dump_done;
}

// static
LONG WINAPI InProcessCrashHandler::OnUnhandledException(
    EXCEPTION_POINTERS* exception) {
  InProcessCrashHandler* current = Current(kHandlerException);
  if (!current) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  const bool leave_alone =
      IsDebuggerException(code) ||
      (code == EXCEPTION_INVALID_HANDLE &&
       !current->consume_invalid_handle_exceptions_);
  bool succeeded = false;
  if (!leave_alone &&
      current->HandleCrash(GetCurrentThreadId(), exception, nullptr,
                           &succeeded)) {
    return EXCEPTION_EXECUTE_HANDLER;
  }
  // Handlers of this kind below on the stack are served through Current().
  LPTOP_LEVEL_EXCEPTION_FILTER previous = current->previous_filter_;
  if (previous && previous != OnUnhandledException) return previous(exception);
  return EXCEPTION_CONTINUE_SEARCH;
}

// static
void __cdecl InProcessCrashHandler::OnInvalidParameter(
    const wchar_t* expression, const wchar_t* function, const wchar_t* file,
    unsigned int line, uintptr_t reserved) {
  InProcessCrashHandler* current = Current(kHandlerInvalidParameter);
  AssertionInfo assertion = {};
  CopyTruncated(assertion.expression, expression);
  CopyTruncated(assertion.function, function);
  CopyTruncated(assertion.file, file);
  assertion.line = line;
  assertion.type = kAssertionInvalidParameter;
  const ULONG_PTR parameters[] = {reinterpret_cast<ULONG_PTR>(expression),
                                  reinterpret_cast<ULONG_PTR>(file), line};
  if (current &&
      current->DumpForAssertion(assertion, STATUS_INVALID_PARAMETER,
                                parameters, 3)) {
    return;
  }
  _invalid_parameter_handler previous =
      current ? current->previous_invalid_parameter_handler_ : nullptr;
  // A previous handler may only look: mingw's runtime installs one that
  // ignores everything, and a report nobody handled ends the process.
  if (previous && previous != OnInvalidParameter)
    previous(expression, function, file, line, reserved);
  TerminateProcess(GetCurrentProcess(), STATUS_INVALID_PARAMETER);
}

// static
void __cdecl InProcessCrashHandler::OnPureCall() {
  InProcessCrashHandler* current = Current(kHandlerPureCall);
  AssertionInfo assertion = {};
  assertion.type = kAssertionPureVirtualCall;
  if (current &&
      current->DumpForAssertion(assertion, STATUS_NONCONTINUABLE_EXCEPTION,
                                nullptr, 0)) {
    return;
  }
  _purecall_handler previous =
      current ? current->previous_pure_call_handler_ : nullptr;
  if (previous && previous != OnPureCall) previous();
  TerminateProcess(GetCurrentProcess(), STATUS_NONCONTINUABLE_EXCEPTION);
}

}  // namespace crash_capture
