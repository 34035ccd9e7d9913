// A client process that installs InProcessCrashHandler and then crashes as
// asked, for whole-program tests. Prints one JSON line per thing it saw.
//
//   in_process_crash_client.exe MODE DUMP_FOLDER [PIPE_NAME]
//
// Modes: exception (an access violation), invalid-parameter (a report of
// a bad argument to the C runtime, which calls on the handler installed
// before ours), pure-call (a report of a pure virtual call), write-dump (a dump on request, then exit 0). With
// PIPE_NAME the handler asks the crash server on it for the dump.
//
// The dump-done hook reports an exception as handled (the process then
// ends with the exception's code) and the two runtime reports as not
// handled (the handler then ends the process with their status code).
#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>

#include <stdlib.h>

#include <memory>
#include <string>
#include <utility>

#include "crash_capture/in_process_crash_handler.h"
#include "testing/crash_common/json_line.h"

namespace {

using crash_capture::AssertionInfo;
using crash_capture::CrashPipeClient;
using crash_capture::InProcessCrashHandler;
using crash_testing::JsonLine;

bool DumpDone(const wchar_t* dump_path, void*, EXCEPTION_POINTERS* exinfo,
              AssertionInfo* assertion, bool succeeded) {
  JsonLine line("dump_done");
  line.Add("path", std::wstring(dump_path ? dump_path : L""));
  line.Add("succeeded", succeeded);
  line.Add("thread_id", static_cast<uint64_t>(GetCurrentThreadId()));
  line.Add("code", static_cast<uint64_t>(
                       exinfo ? exinfo->ExceptionRecord->ExceptionCode : 0));
  line.Add("assertion_type",
           static_cast<uint64_t>(assertion ? assertion->type : 0));
  line.Print();
  return assertion == nullptr;
}

}  // namespace

void __cdecl PreviousInvalidParameterHandler(const wchar_t*, const wchar_t*,
                                             const wchar_t*, unsigned int,
                                             uintptr_t) {
  JsonLine("previous_handler").Print();
  TerminateProcess(GetCurrentProcess(), 0xC000000D);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring mode = argv[1];
  if (mode == L"invalid-parameter") {
    // Installed before the crash handler, which calls it on when its hook
    // does not report the crash handled.
    _set_invalid_parameter_handler(&PreviousInvalidParameterHandler);
  }
  InProcessCrashHandler* handler = nullptr;
  if (argc > 3) {
    // A server on a loaded machine may take longer than the usual wait.
    std::unique_ptr<CrashPipeClient> client(
        new CrashPipeClient(std::wstring(argv[3]), MiniDumpNormal, nullptr));
    client->set_dump_wait_ms(120000);
    handler = new InProcessCrashHandler(
        argv[2], nullptr, &DumpDone, nullptr,
        InProcessCrashHandler::kHandlerAll, MiniDumpNormal,
        std::move(client));
  } else {
    handler = new InProcessCrashHandler(argv[2], nullptr, &DumpDone, nullptr,
                                        InProcessCrashHandler::kHandlerAll,
                                        MiniDumpNormal);
  }
  JsonLine("installed")
      .Add("out_of_process", handler->IsOutOfProcess())
      .Add("thread_id", static_cast<uint64_t>(GetCurrentThreadId()))
      .Print();
  if (mode == L"exception") {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  } else if (mode == L"invalid-parameter") {
    // Wine's C runtime checks no parameters, so the report is made the way
    // the runtime's own checks make it: through the installed handler.
    _invalid_parameter_handler report = _get_invalid_parameter_handler();
    if (report) {
      report(L"buffer != nullptr", L"FormatNumber", L"number_format.cc", 42,
             0);
    }
  } else if (mode == L"pure-call") {
    // Likewise: Wine's runtime lets no pure-call handler be set, and g++
    // sends pure calls to its own library, so the report goes straight to
    // the installed handler as the runtime's _purecall would send it.
    _purecall_handler report = _set_purecall_handler(nullptr);
    _set_purecall_handler(report);
    if (report) report();
  } else if (mode == L"write-dump") {
    const bool written = handler->WriteMinidump();
    delete handler;
    return written ? 0 : 1;
  }
  JsonLine("survived").Print();
  return 3;
}
