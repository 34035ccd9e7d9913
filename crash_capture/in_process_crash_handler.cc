#include "crash_capture/in_process_crash_handler.h"

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <algorithm>
#include <vector>

#include "crash_capture/dump_writer.h"

namespace crash_capture {
namespace {

const DWORD kHandlerThreadStackSize = 64 * 1024;
// How long the destructor waits for the handler thread to end. A thread
// that does not end is left alone: killing it could leave the heap or the
// loader lock held.
const DWORD kHandlerThreadStopWaitMs = 5000;

const DWORD kStatusBreakpoint = 0x80000003;
const DWORD kStatusSingleStep = 0x80000004;
const DWORD kDebugPrintException = 0x40010006;
const DWORD kDebugPrintWideException = 0x4001000A;
const DWORD kStatusInvalidHandle = 0xC0000008;
const DWORD kStatusInvalidParameter = 0xC000000D;
const DWORD kStatusNoncontinuableException = 0xC0000025;

// The process-wide stack of installed handlers; the top one handles.
struct HandlerStack {
  HandlerStack() { InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  std::vector<InProcessCrashHandler*> handlers;
};

HandlerStack& Stack() {
  static HandlerStack* stack = new HandlerStack;  // never destroyed
  return *stack;
}

void CopyText(const wchar_t* text, wchar_t* field) {
  if (!text) return;
  wcsncpy(field, text, AssertionInfo::kTextMaxLength - 1);
  field[AssertionInfo::kTextMaxLength - 1] = L'\0';
}

}  // namespace

InProcessCrashHandler::InProcessCrashHandler(
    const std::wstring& dump_folder, FilterCallback filter,
    DumpDoneCallback dump_done, void* context, int handler_types,
    DWORD dump_type)
    : InProcessCrashHandler(dump_folder, filter, dump_done, context,
                            handler_types, dump_type,
                            std::unique_ptr<CrashPipeClient>()) {}

InProcessCrashHandler::InProcessCrashHandler(
    const std::wstring& dump_folder, FilterCallback filter,
    DumpDoneCallback dump_done, void* context, int handler_types,
    DWORD dump_type, const std::wstring& pipe_name,
    const ClientCustomInfo* custom_info)
    : InProcessCrashHandler(
          dump_folder, filter, dump_done, context, handler_types, dump_type,
          std::unique_ptr<CrashPipeClient>(
              new CrashPipeClient(pipe_name, dump_type, custom_info))) {}

InProcessCrashHandler::InProcessCrashHandler(
    const std::wstring& dump_folder, FilterCallback filter,
    DumpDoneCallback dump_done, void* context, int handler_types,
    DWORD dump_type, HANDLE pipe_handle, const ClientCustomInfo* custom_info)
    : InProcessCrashHandler(
          dump_folder, filter, dump_done, context, handler_types, dump_type,
          std::unique_ptr<CrashPipeClient>(
              new CrashPipeClient(pipe_handle, dump_type, custom_info))) {}

InProcessCrashHandler::InProcessCrashHandler(
    const std::wstring& dump_folder, FilterCallback filter,
    DumpDoneCallback dump_done, void* context, int handler_types,
    DWORD dump_type, std::unique_ptr<CrashPipeClient> client)
    : dump_folder_(dump_folder),
      filter_(filter),
      dump_done_(dump_done),
      context_(context),
      handler_types_(handler_types),
      dump_type_(dump_type),
      client_(std::move(client)) {
  InitializeCriticalSection(&lock_);
  Initialize();
}

InProcessCrashHandler::~InProcessCrashHandler() {
  Uninstall();
  StopHandlerThread();
  client_.reset();
  DeleteCriticalSection(&lock_);
}

void InProcessCrashHandler::Initialize() {
  // Without a server the dumps are written here.
  if (client_ && !client_->Register()) client_.reset();
  if (!client_) StartHandlerThread();
  Install();
}

bool InProcessCrashHandler::StartHandlerThread() {
  start_semaphore_.Set(CreateSemaphoreW(nullptr, 0, 1, nullptr));
  finished_semaphore_.Set(CreateSemaphoreW(nullptr, 0, 1, nullptr));
  if (!start_semaphore_.IsValid() || !finished_semaphore_.IsValid())
    return false;
  thread_.Set(CreateThread(nullptr, kHandlerThreadStackSize,
                           &InProcessCrashHandler::HandlerThreadMain, this, 0,
                           nullptr));
  return thread_.IsValid();
}

void InProcessCrashHandler::StopHandlerThread() {
  if (!thread_.IsValid()) return;
  EnterCriticalSection(&lock_);
  stopping_ = true;
  ReleaseSemaphore(start_semaphore_.Get(), 1, nullptr);
  LeaveCriticalSection(&lock_);
  if (WaitForSingleObject(thread_.Get(), kHandlerThreadStopWaitMs) !=
      WAIT_OBJECT_0) {
    // Still busy: it keeps its semaphores, which are left open for it.
    thread_.Take();
    start_semaphore_.Take();
    finished_semaphore_.Take();
  }
}

DWORD WINAPI InProcessCrashHandler::HandlerThreadMain(void* self_pointer) {
  InProcessCrashHandler* self =
      static_cast<InProcessCrashHandler*>(self_pointer);
  for (;;) {
    if (WaitForSingleObject(self->start_semaphore_.Get(), INFINITE) !=
        WAIT_OBJECT_0) {
      return 1;
    }
    if (self->stopping_) return 0;
    self->request_result_ =
        self->WriteDumpNow(self->request_thread_id_, self->request_exinfo_,
                           self->request_assertion_);
    ReleaseSemaphore(self->finished_semaphore_.Get(), 1, nullptr);
  }
}

void InProcessCrashHandler::Install() {
  HandlerStack& stack = Stack();
  EnterCriticalSection(&stack.lock);
  if (handler_types_ & kHandlerException)
    previous_filter_ = SetUnhandledExceptionFilter(&HandleException);
  if (handler_types_ & kHandlerInvalidParameter) {
    previous_invalid_parameter_ =
        _set_invalid_parameter_handler(&HandleInvalidParameter);
  }
  if (handler_types_ & kHandlerPureCall)
    previous_pure_call_ = _set_purecall_handler(&HandlePureCall);
  stack.handlers.push_back(this);
  LeaveCriticalSection(&stack.lock);
}

void InProcessCrashHandler::Uninstall() {
  HandlerStack& stack = Stack();
  EnterCriticalSection(&stack.lock);
  if (!stack.handlers.empty() && stack.handlers.back() == this) {
    if (handler_types_ & kHandlerException)
      SetUnhandledExceptionFilter(previous_filter_);
    if (handler_types_ & kHandlerInvalidParameter)
      _set_invalid_parameter_handler(previous_invalid_parameter_);
    if (handler_types_ & kHandlerPureCall)
      _set_purecall_handler(previous_pure_call_);
    stack.handlers.pop_back();
  } else {
    fputs("warning: removing crash handler out of order\n", stderr);
    stack.handlers.erase(
        std::remove(stack.handlers.begin(), stack.handlers.end(), this),
        stack.handlers.end());
  }
  LeaveCriticalSection(&stack.lock);
}

InProcessCrashHandler* InProcessCrashHandler::Current() {
  HandlerStack& stack = Stack();
  EnterCriticalSection(&stack.lock);
  InProcessCrashHandler* current =
      stack.handlers.empty() ? nullptr : stack.handlers.back();
  LeaveCriticalSection(&stack.lock);
  return current;
}

bool InProcessCrashHandler::WriteDumpNow(DWORD thread_id,
                                         EXCEPTION_POINTERS* exinfo,
                                         AssertionInfo* assertion) {
  DumpWriter writer(dump_folder_, GetCurrentProcess(), GetCurrentProcessId(),
                    thread_id, GetCurrentThreadId(),
                    reinterpret_cast<uint64_t>(exinfo),
                    reinterpret_cast<uint64_t>(assertion), dump_type_,
                    false);
  std::wstring path;
  if (!writer.CreateDumpFile(&path)) return false;
  if (dump_type_ & MiniDumpWithFullMemory) {
    std::wstring full_path;
    writer.CreateFullDumpFile(&full_path);
  }
  const bool written = writer.WriteMinidump();
  last_dump_path_ = written ? path : std::wstring();
  return written;
}

bool InProcessCrashHandler::WriteOnHandlerThread(DWORD thread_id,
                                                 EXCEPTION_POINTERS* exinfo,
                                                 AssertionInfo* assertion) {
  // Without its thread the dump is still tried, on the caller's.
  if (!thread_.IsValid()) return WriteDumpNow(thread_id, exinfo, assertion);
  // One dump at a time: a second crashing thread waits its turn.
  EnterCriticalSection(&lock_);
  request_thread_id_ = thread_id;
  request_exinfo_ = exinfo;
  request_assertion_ = assertion;
  request_result_ = false;
  bool result = false;
  if (ReleaseSemaphore(start_semaphore_.Get(), 1, nullptr) &&
      WaitForSingleObject(finished_semaphore_.Get(), INFINITE) ==
          WAIT_OBJECT_0) {
    result = request_result_;
  }
  LeaveCriticalSection(&lock_);
  return result;
}

bool InProcessCrashHandler::DumpFor(DWORD thread_id,
                                    EXCEPTION_POINTERS* exinfo,
                                    AssertionInfo* assertion, bool* handled) {
  *handled = false;
  if (filter_ && !filter_(context_, exinfo, assertion)) return false;
  bool succeeded;
  std::wstring path;
  if (client_) {
    succeeded = client_->RequestDump(exinfo, assertion);
  } else {
    succeeded = WriteOnHandlerThread(thread_id, exinfo, assertion);
    path = last_dump_path_;
  }
  *handled = dump_done_ ? dump_done_(path.c_str(), context_, exinfo,
                                     assertion, succeeded)
                        : succeeded;
  return succeeded;
}

bool InProcessCrashHandler::WriteMinidump() {
  return WriteMinidumpForException(nullptr);
}

bool InProcessCrashHandler::WriteMinidumpForException(
    EXCEPTION_POINTERS* exinfo) {
  bool handled = false;
  return DumpFor(GetCurrentThreadId(), exinfo, nullptr, &handled);
}

bool InProcessCrashHandler::WriteMinidumpForThread(DWORD thread_id) {
  // The server can only dump the thread that asks, so this one is always
  // written here.
  if (client_) return WriteDumpNow(thread_id, nullptr, nullptr);
  return WriteOnHandlerThread(thread_id, nullptr, nullptr);
}

bool InProcessCrashHandler::RequestUpload(uint32_t crash_id) {
  return client_ && client_->RequestUpload(crash_id);
}

LONG WINAPI InProcessCrashHandler::HandleException(
    EXCEPTION_POINTERS* exinfo) {
  InProcessCrashHandler* current = Current();
  if (!current) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD code = exinfo->ExceptionRecord->ExceptionCode;
  if (code == kStatusBreakpoint || code == kStatusSingleStep ||
      code == kDebugPrintException || code == kDebugPrintWideException ||
      (code == kStatusInvalidHandle &&
       !current->consume_invalid_handle_exceptions_)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  bool handled = false;
  current->DumpFor(GetCurrentThreadId(), exinfo, nullptr, &handled);
  if (handled) return EXCEPTION_EXECUTE_HANDLER;
  if (current->previous_filter_) return current->previous_filter_(exinfo);
  return EXCEPTION_CONTINUE_SEARCH;
}

// An exception record of |code| at the caller, carrying the assertion's
// expression, file and line, so that the dump shows where it came from.
void InProcessCrashHandler::HandleAssertion(AssertionInfo* assertion,
                                            DWORD code) {
  CONTEXT context = {};
  RtlCaptureContext(&context);
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = code;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  record.NumberParameters = 3;
  record.ExceptionInformation[0] =
      reinterpret_cast<ULONG_PTR>(assertion->expression);
  record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(assertion->file);
  record.ExceptionInformation[2] = assertion->line;
  EXCEPTION_POINTERS pointers = {&record, &context};
  bool handled = false;
  DumpFor(GetCurrentThreadId(), &pointers, assertion, &handled);
  if (handled) return;
  if (assertion->type == kAssertionInvalidParameter &&
      previous_invalid_parameter_) {
    previous_invalid_parameter_(assertion->expression, assertion->function,
                                assertion->file, assertion->line, 0);
    return;
  }
  if (assertion->type == kAssertionPureVirtualCall && previous_pure_call_) {
    previous_pure_call_();
    return;
  }
  TerminateProcess(GetCurrentProcess(), code);
}

void __cdecl InProcessCrashHandler::HandleInvalidParameter(
    const wchar_t* expression, const wchar_t* function, const wchar_t* file,
    unsigned int line, uintptr_t) {
  InProcessCrashHandler* current = Current();
  if (!current) TerminateProcess(GetCurrentProcess(), kStatusInvalidParameter);
  AssertionInfo assertion = {};
  CopyText(expression, assertion.expression);
  CopyText(function, assertion.function);
  CopyText(file, assertion.file);
  assertion.line = line;
  assertion.type = kAssertionInvalidParameter;
  current->HandleAssertion(&assertion, kStatusInvalidParameter);
}

void __cdecl InProcessCrashHandler::HandlePureCall() {
  InProcessCrashHandler* current = Current();
  if (!current)
    TerminateProcess(GetCurrentProcess(), kStatusNoncontinuableException);
  AssertionInfo assertion = {};
  assertion.type = kAssertionPureVirtualCall;
  current->HandleAssertion(&assertion, kStatusNoncontinuableException);
}

}  // namespace crash_capture
