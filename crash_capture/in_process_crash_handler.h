// The exception handler a client process installs: it hooks unhandled
// exceptions, invalid-parameter reports and pure virtual calls and, on a
// crash, asks the crash server for a dump through a CrashPipeClient, or,
// without a server, writes the dump itself on a thread kept for that (the
// crashing thread's own stack may be what failed).
#ifndef CRASH_CAPTURE_IN_PROCESS_CRASH_HANDLER_H_
#define CRASH_CAPTURE_IN_PROCESS_CRASH_HANDLER_H_

#include <windows.h>

#include <cstdint>
#include <stdlib.h>

#include <memory>
#include <string>

#include "base/win/scoped_handle.h"
#include "crash_capture/crash_pipe_client.h"
#include "crash_capture/crash_pipe_protocol.h"

namespace crash_capture {

class InProcessCrashHandler {
 public:
  enum HandlerType {
    kHandlerNone = 0,
    kHandlerException = 1 << 0,
    kHandlerInvalidParameter = 1 << 1,
    kHandlerPureCall = 1 << 2,
    kHandlerAll = kHandlerException | kHandlerInvalidParameter |
                  kHandlerPureCall,
  };

  // Called before a dump; false vetoes it. |assertion| is null for an
  // exception.
  using FilterCallback = bool (*)(void* context, EXCEPTION_POINTERS* exinfo,
                                  AssertionInfo* assertion);
  // Called after a dump (|dump_path| empty when the server wrote it);
  // true reports the crash as handled.
  using DumpDoneCallback = bool (*)(const wchar_t* dump_path, void* context,
                                    EXCEPTION_POINTERS* exinfo,
                                    AssertionInfo* assertion, bool succeeded);

  // Writes dumps in-process into |dump_folder|.
  InProcessCrashHandler(const std::wstring& dump_folder,
                        FilterCallback filter, DumpDoneCallback dump_done,
                        void* context, int handler_types, DWORD dump_type);
  // Asks the server on |pipe_name| for dumps; in-process when it cannot
  // register.
  InProcessCrashHandler(const std::wstring& dump_folder,
                        FilterCallback filter, DumpDoneCallback dump_done,
                        void* context, int handler_types, DWORD dump_type,
                        const std::wstring& pipe_name,
                        const ClientCustomInfo* custom_info);
  // The same over a pipe handle handed over by a parent.
  InProcessCrashHandler(const std::wstring& dump_folder,
                        FilterCallback filter, DumpDoneCallback dump_done,
                        void* context, int handler_types, DWORD dump_type,
                        HANDLE pipe_handle,
                        const ClientCustomInfo* custom_info);
  // Takes |client|, which may already be registered.
  InProcessCrashHandler(const std::wstring& dump_folder,
                        FilterCallback filter, DumpDoneCallback dump_done,
                        void* context, int handler_types, DWORD dump_type,
                        std::unique_ptr<CrashPipeClient> client);
  // Puts back the handlers this one replaced and ends its thread.
  ~InProcessCrashHandler();
  InProcessCrashHandler(const InProcessCrashHandler&) = delete;
  InProcessCrashHandler& operator=(const InProcessCrashHandler&) = delete;

  // A dump of the process as it is now, with no exception.
  bool WriteMinidump();
  bool WriteMinidumpForException(EXCEPTION_POINTERS* exinfo);
  // A dump naming |thread_id| (another thread of this process) as the
  // thread of interest.
  bool WriteMinidumpForThread(DWORD thread_id);
  // Asks the server to upload an earlier crash; false without a server.
  bool RequestUpload(uint32_t crash_id);

  bool IsOutOfProcess() const { return client_ != nullptr; }
  // Where the last in-process dump went.
  const std::wstring& last_dump_path() const { return last_dump_path_; }
  // Invalid-handle exceptions (a debugging aid) are passed on unless set.
  void set_consume_invalid_handle_exceptions(bool consume) {
    consume_invalid_handle_exceptions_ = consume;
  }

 private:
  void Initialize();
  bool StartHandlerThread();
  void StopHandlerThread();
  void Install();
  void Uninstall();

  // Dumps through the server or the handler thread; calls the hooks.
  bool DumpFor(DWORD thread_id, EXCEPTION_POINTERS* exinfo,
               AssertionInfo* assertion, bool* handled);
  bool WriteOnHandlerThread(DWORD thread_id, EXCEPTION_POINTERS* exinfo,
                            AssertionInfo* assertion);
  bool WriteDumpNow(DWORD thread_id, EXCEPTION_POINTERS* exinfo,
                    AssertionInfo* assertion);
  static DWORD WINAPI HandlerThreadMain(void* self);
  void HandleAssertion(AssertionInfo* assertion, DWORD code);

  static LONG WINAPI HandleException(EXCEPTION_POINTERS* exinfo);
  static void __cdecl HandleInvalidParameter(const wchar_t* expression,
                                             const wchar_t* function,
                                             const wchar_t* file,
                                             unsigned int line,
                                             uintptr_t reserved);
  static void __cdecl HandlePureCall();
  static InProcessCrashHandler* Current();

  const std::wstring dump_folder_;
  const FilterCallback filter_;
  const DumpDoneCallback dump_done_;
  void* const context_;
  const int handler_types_;
  const DWORD dump_type_;
  std::unique_ptr<CrashPipeClient> client_;
  bool consume_invalid_handle_exceptions_ = false;

  // The handler thread and what it is asked to do.
  base::win::ScopedHandle thread_;
  base::win::ScopedHandle start_semaphore_;
  base::win::ScopedHandle finished_semaphore_;
  CRITICAL_SECTION lock_;
  bool stopping_ = false;
  DWORD request_thread_id_ = 0;
  EXCEPTION_POINTERS* request_exinfo_ = nullptr;
  AssertionInfo* request_assertion_ = nullptr;
  bool request_result_ = false;
  std::wstring last_dump_path_;

  LPTOP_LEVEL_EXCEPTION_FILTER previous_filter_ = nullptr;
  _invalid_parameter_handler previous_invalid_parameter_ = nullptr;
  _purecall_handler previous_pure_call_ = nullptr;
};

}  // namespace crash_capture

#endif  // CRASH_CAPTURE_IN_PROCESS_CRASH_HANDLER_H_
