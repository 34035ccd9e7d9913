// A client process with the crash handler installed, crashing on request:
//
//   inproc_crash.exe MODE DUMP_FOLDER [--pipe=NAME] [--upload=CRASH_ID]
//
// MODE is "exception" (an access violation nobody catches),
// "invalid-parameter" (a bad argument reported to the runtime's handler) or
// "pure-call" (a pure virtual function called from a constructor). With
// --pipe the dump is asked of the crash server on that pipe; without it the
// handler writes the dump itself into DUMP_FOLDER. --upload first asks the
// server to upload that crash's report. Prints one JSON line per
// step; the dump-done hook reports an exception handled and the runtime
// reports not handled, so each mode ends with its own status code (read it
// from a Windows parent such as launcher.exe).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "crash_capture/in_process_crash_handler.h"
#include "testing/crash_common/json_line.h"

namespace {

using crash_capture::AssertionInfo;
using crash_capture::InProcessCrashHandler;
using crash_testing::JsonLine;

bool g_exception_mode = false;

bool OnDumpDone(const wchar_t* dump_path, void*, EXCEPTION_POINTERS* exception,
                const AssertionInfo* assertion, bool succeeded) {
  JsonLine line("dump_done");
  line.Add("succeeded", succeeded)
      .Add("thread_id", uint64_t{GetCurrentThreadId()})
      .Add("code", uint64_t{exception->ExceptionRecord->ExceptionCode})
      .Add("assertion_type", uint64_t{assertion ? assertion->type : 0});
  if (dump_path) {
    line.Add("path", std::wstring(dump_path));
  } else {
    line.AddNull("path");
  }
  line.Print();
  return g_exception_mode;
}

struct Shape;
// Where the half-built object is left; the call below cannot be traced back
// to the constructor by the compiler, which would drop it.
Shape* volatile g_shape = nullptr;

struct Shape {
  // Kept out of line: inlined, its table would never be stored.
  __attribute__((noinline)) Shape() {
    g_shape = this;
    (*g_area_caller)();
  }
  virtual ~Shape() = default;
  virtual int Area() = 0;
  static void (*volatile g_area_caller)();
};

volatile int g_area = 0;
void CallArea() { g_area = g_shape->Area(); }
void (*volatile Shape::g_area_caller)() = CallArea;

struct Square : Shape {
  int Area() override { return 4; }
};

// Wine's runtime neither reports a bad argument to the program's handler nor
// lets a program install one: mingw's runtime keeps the handler itself. Call
// it as the runtime does, with the runtime's arguments.
void ReportInvalidParameter() {
  _invalid_parameter_handler handler = _get_invalid_parameter_handler();
  if (!handler) return;
  handler(L"destination != nullptr", L"strcpy_s", L"tcscpy_s.inl", 42, 0);
}

void Crash(const std::wstring& mode) {
  JsonLine("crashing").Add("thread_id", uint64_t{GetCurrentThreadId()}).Print();
  if (mode == L"exception") {
    volatile int* volatile target = reinterpret_cast<int*>(0x10);
    *target = 1;
  } else if (mode == L"invalid-parameter") {
    ReportInvalidParameter();
  } else if (mode == L"pure-call") {
    Square square;
    JsonLine("survived").Add("area", uint64_t(square.Area())).Print();
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fputs("usage: inproc_crash MODE DUMP_FOLDER [--pipe=NAME] [--upload=ID]\n",
          stderr);
    return 2;
  }
  const std::wstring mode = argv[1];
  g_exception_mode = mode == L"exception";
  InProcessCrashHandler::Options options;
  options.dump_folder = argv[2];
  options.dump_done = OnDumpDone;
  std::wstring pipe_name;
  const wchar_t* upload_id = nullptr;
  for (int i = 3; i < argc; ++i) {
    if (wcsncmp(argv[i], L"--pipe=", 7) == 0) pipe_name = argv[i] + 7;
    if (wcsncmp(argv[i], L"--upload=", 9) == 0) upload_id = argv[i] + 9;
  }
  // A server dump takes far longer than usual on a machine busy with tests.
  options.server_dump_wait_ms = 180000;

  auto handler =
      pipe_name.empty()
          ? std::make_unique<InProcessCrashHandler>(options)
          : std::make_unique<InProcessCrashHandler>(options, pipe_name);
  JsonLine("installed")
      .Add("pid", uint64_t{GetCurrentProcessId()})
      .Add("server", handler->uses_crash_server())
      .Print();
  if (upload_id) {
    const uint32_t crash_id =
        static_cast<uint32_t>(wcstoul(upload_id, nullptr, 10));
    JsonLine("upload_sent").Add("ok", handler->RequestUpload(crash_id)).Print();
  }
  Crash(mode);
  JsonLine("returned").Print();
  return 3;
}
