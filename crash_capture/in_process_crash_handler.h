// The exception handler a client process installs: on an unhandled
// exception, an invalid-parameter report or a pure virtual call it asks the
// crash server for a dump of this process, or, without a server, writes the
// dump itself on a thread of its own.
#ifndef CRASH_CAPTURE_IN_PROCESS_CRASH_HANDLER_H_
#define CRASH_CAPTURE_IN_PROCESS_CRASH_HANDLER_H_

#include <windows.h>

#include <cstdint>
#include <memory>
#include <stdlib.h>
#include <string>

#include "base/win/scoped_handle.h"
#include "crash_capture/crash_pipe_client.h"
#include "crash_capture/crash_pipe_protocol.h"
#include "crash_capture/scoped_library.h"

namespace crash_capture {

class InProcessCrashHandler {
 public:
  // Which of the process's crash hooks the handler takes over (a bit set).
  enum HandlerType : int {
    kHandlerNone = 0,
    kHandlerException = 1 << 0,
    kHandlerInvalidParameter = 1 << 1,
    kHandlerPureCall = 1 << 2,
    kHandlerAll = kHandlerException | kHandlerInvalidParameter |
                  kHandlerPureCall,
  };

  // Called before a dump; false means no dump. |assertion| is null for an
  // exception.
  using FilterCallback = bool (*)(void* context, EXCEPTION_POINTERS* exception,
                                  const AssertionInfo* assertion);
  // Called after a dump attempt. |dump_path| is the file this process wrote,
  // or null when the crash server wrote the dump (or none was written).
  // True reports the crash as handled.
  using DumpDoneCallback = bool (*)(const wchar_t* dump_path, void* context,
                                    EXCEPTION_POINTERS* exception,
                                    const AssertionInfo* assertion,
                                    bool succeeded);

  struct Options {
    std::wstring dump_folder;
    FilterCallback filter = nullptr;
    DumpDoneCallback dump_done = nullptr;
    void* context = nullptr;
    int handler_types = kHandlerAll;
    DWORD dump_type = 0;  // MiniDumpNormal
    // Its entries must outlive the handler.
    const ClientCustomInfo* custom_info = nullptr;
    // How long a dump asked of the crash server may take.
    DWORD server_dump_wait_ms = CrashPipeClient::kDefaultDumpWaitMs;
  };

  // Writes dumps in this process.
  explicit InProcessCrashHandler(const Options& options);
  // Asks the server on |pipe_name| for dumps; writes them itself when the
  // registration fails.
  InProcessCrashHandler(const Options& options, const std::wstring& pipe_name);
  // Likewise, over a pipe that is already connected.
  InProcessCrashHandler(const Options& options, HANDLE pipe_handle);
  // Likewise, with a client built by the caller (registered here if needed).
  InProcessCrashHandler(const Options& options,
                        std::unique_ptr<CrashPipeClient> client);
  ~InProcessCrashHandler();
  InProcessCrashHandler(const InProcessCrashHandler&) = delete;
  InProcessCrashHandler& operator=(const InProcessCrashHandler&) = delete;

  // A dump of this process as it stands, from the calling thread.
  bool WriteMinidump();
  // A dump for an exception this process caught itself.
  bool WriteMinidumpForException(EXCEPTION_POINTERS* exception);
  // A dump with |thread_id| (another thread of this process) as the thread
  // of interest, at the point where it was stopped.
  bool WriteMinidumpForThread(DWORD thread_id);
  // Asks the server to upload the report of crash |crash_id|.
  bool RequestUpload(uint32_t crash_id);

  // Invalid-handle exceptions are passed on unless asked otherwise: they
  // are often caught and survived by code further up.
  void set_consume_invalid_handle_exceptions(bool consume) {
    consume_invalid_handle_exceptions_ = consume;
  }

  bool uses_crash_server() const { return client_ != nullptr; }
  // 0 when the dumps go through the server.
  DWORD handler_thread_id() const { return handler_thread_id_; }

  // What the handler thread returns when it is asked to end.
  static constexpr DWORD kHandlerThreadExitCode = 0x1E;

  // The most recently installed handler still alive that takes |type|, or
  // null.
  static InProcessCrashHandler* Current(HandlerType type);

 private:
  struct ThreadControl;

  void Initialize(std::unique_ptr<CrashPipeClient> client);
  void StartHandlerThread();
  void StopHandlerThread();
  void InstallHooks();
  void RestoreHooks();

  // Filter, dump, dump-done hook, for a crash of |thread_id|. Gives the
  // handled verdict.
  bool HandleCrash(DWORD thread_id, EXCEPTION_POINTERS* exception,
                   const AssertionInfo* assertion, bool* succeeded);
  bool WriteDump(DWORD thread_id, EXCEPTION_POINTERS* exception,
                 const AssertionInfo* assertion, std::wstring* dump_path);
  bool WriteDumpOnHandlerThread(DWORD thread_id, EXCEPTION_POINTERS* exception,
                                const AssertionInfo* assertion,
                                std::wstring* dump_path);
  void RunHandlerThreadRequest();
  static DWORD WINAPI HandlerThreadMain(void* parameter);

  static LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception);
  static void __cdecl OnInvalidParameter(const wchar_t* expression,
                                         const wchar_t* function,
                                         const wchar_t* file,
                                         unsigned int line, uintptr_t);
  static void __cdecl OnPureCall();
  // Dumps for a runtime report as if it were an exception with |code|;
  // true only when the dump-done hook reports it handled.
  bool DumpForAssertion(const AssertionInfo& assertion, DWORD code,
                        const ULONG_PTR* parameters, DWORD parameter_count);
  // A dump with the given context as the state of |thread_id|.
  bool DumpSnapshot(DWORD thread_id, CONTEXT* context);

  const Options options_;
  bool consume_invalid_handle_exceptions_ = false;
  std::unique_ptr<CrashPipeClient> client_;

  // Kept loaded from the start: a crashing process is a bad place to load
  // libraries.
  std::unique_ptr<ScopedLibrary> dbghelp_;
  std::unique_ptr<ScopedLibrary> rpcrt4_;

  // The handler thread and what it is asked to do; one request at a time.
  ThreadControl* thread_control_ = nullptr;
  base::win::ScopedHandle handler_thread_;
  DWORD handler_thread_id_ = 0;
  CRITICAL_SECTION request_lock_;
  DWORD request_thread_id_ = 0;
  EXCEPTION_POINTERS* request_exception_ = nullptr;
  const AssertionInfo* request_assertion_ = nullptr;
  std::wstring request_dump_path_;
  bool request_succeeded_ = false;

  LPTOP_LEVEL_EXCEPTION_FILTER previous_filter_ = nullptr;
  _invalid_parameter_handler previous_invalid_parameter_handler_ = nullptr;
  _purecall_handler previous_pure_call_handler_ = nullptr;
};

}  // namespace crash_capture

#endif  // CRASH_CAPTURE_IN_PROCESS_CRASH_HANDLER_H_
