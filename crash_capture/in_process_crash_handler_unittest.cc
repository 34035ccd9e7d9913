#include "crash_capture/in_process_crash_handler.h"

#include <gtest/gtest.h>

#include <dbghelp.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "testing/crash_common/dump_file.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace crash_capture {
namespace {

using crash_testing::DumpFile;
using Handler = InProcessCrashHandler;

LONG WINAPI SentinelFilter(EXCEPTION_POINTERS*) {
  return EXCEPTION_CONTINUE_SEARCH;
}
void __cdecl SentinelInvalidParameter(const wchar_t*, const wchar_t*,
                                      const wchar_t*, unsigned int,
                                      uintptr_t) {}
void __cdecl SentinelPureCall() {}

// The hooks as installed right now (each read by setting it back).
struct InstalledHooks {
  LPTOP_LEVEL_EXCEPTION_FILTER filter;
  _invalid_parameter_handler invalid_parameter;
  _purecall_handler pure_call;
};

InstalledHooks ReadHooks() {
  InstalledHooks hooks;
  hooks.filter = SetUnhandledExceptionFilter(SentinelFilter);
  SetUnhandledExceptionFilter(hooks.filter);
  hooks.invalid_parameter =
      _set_invalid_parameter_handler(SentinelInvalidParameter);
  _set_invalid_parameter_handler(hooks.invalid_parameter);
  hooks.pure_call = _set_purecall_handler(SentinelPureCall);
  _set_purecall_handler(hooks.pure_call);
  return hooks;
}

// What the hooks saw of the last dump.
struct DumpRecord {
  int filter_calls = 0;
  bool allow = true;
  int done_calls = 0;
  bool succeeded = false;
  std::wstring path;
};

bool RecordFilter(void* context, EXCEPTION_POINTERS*, const AssertionInfo*) {
  auto* record = static_cast<DumpRecord*>(context);
  ++record->filter_calls;
  return record->allow;
}

bool RecordDumpDone(const wchar_t* dump_path, void* context,
                    EXCEPTION_POINTERS*, const AssertionInfo*, bool succeeded) {
  auto* record = static_cast<DumpRecord*>(context);
  ++record->done_calls;
  record->succeeded = succeeded;
  record->path = dump_path ? dump_path : L"";
  return succeeded;
}

class InProcessCrashHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    saved_ = ReadHooks();
    SetUnhandledExceptionFilter(SentinelFilter);
    _set_invalid_parameter_handler(SentinelInvalidParameter);
    _set_purecall_handler(SentinelPureCall);
  }
  void TearDown() override {
    SetUnhandledExceptionFilter(saved_.filter);
    _set_invalid_parameter_handler(saved_.invalid_parameter);
    _set_purecall_handler(saved_.pure_call);
  }

  Handler::Options MakeOptions(int types = Handler::kHandlerAll) {
    Handler::Options options;
    options.dump_folder = folder_.path();
    options.filter = RecordFilter;
    options.dump_done = RecordDumpDone;
    options.context = &record_;
    options.handler_types = types;
    return options;
  }

  // The exception stream's thread and code.
  static void ReadException(const std::wstring& path, DWORD* thread_id,
                            DWORD* code) {
    DumpFile dump(path);
    ASSERT_TRUE(dump.valid());
    std::string body;
    ASSERT_TRUE(dump.Find(ExceptionStream, &body));
    ASSERT_GE(body.size(), sizeof(MINIDUMP_EXCEPTION_STREAM));
    MINIDUMP_EXCEPTION_STREAM stream;
    memcpy(&stream, body.data(), sizeof(stream));
    *thread_id = stream.ThreadId;
    *code = stream.ExceptionRecord.ExceptionCode;
  }

  std::vector<std::wstring> Files() const {
    return crash_testing::FileNamesIn(folder_.path());
  }

  ScopedTempFolder folder_{L"in_process_handler_test"};
  InstalledHooks saved_ = {};
  DumpRecord record_;
};

TEST_F(InProcessCrashHandlerTest, InstallsPerTypeAndRestoresThePreviousHooks) {
  {
    Handler handler(MakeOptions(Handler::kHandlerException |
                                Handler::kHandlerPureCall));
    const InstalledHooks installed = ReadHooks();
    EXPECT_NE(installed.filter, SentinelFilter);
    EXPECT_EQ(installed.invalid_parameter, SentinelInvalidParameter);
    EXPECT_NE(installed.pure_call, SentinelPureCall);
    EXPECT_EQ(Handler::Current(Handler::kHandlerException), &handler);
    EXPECT_EQ(Handler::Current(Handler::kHandlerInvalidParameter), nullptr);
  }
  const InstalledHooks restored = ReadHooks();
  EXPECT_EQ(restored.filter, SentinelFilter);
  EXPECT_EQ(restored.invalid_parameter, SentinelInvalidParameter);
  EXPECT_EQ(restored.pure_call, SentinelPureCall);
  EXPECT_EQ(Handler::Current(Handler::kHandlerException), nullptr);
}

TEST_F(InProcessCrashHandlerTest, HandlersStackAndUnstack) {
  auto outer = std::make_unique<Handler>(MakeOptions());
  const InstalledHooks outer_hooks = ReadHooks();
  {
    Handler inner(MakeOptions(Handler::kHandlerException));
    EXPECT_EQ(Handler::Current(Handler::kHandlerException), &inner);
    // The kinds the inner one leaves alone still go to the outer one.
    EXPECT_EQ(Handler::Current(Handler::kHandlerPureCall), outer.get());
  }
  EXPECT_EQ(Handler::Current(Handler::kHandlerException), outer.get());
  EXPECT_EQ(ReadHooks().filter, outer_hooks.filter);

  // Removed out of order: the one on top keeps serving.
  auto top = std::make_unique<Handler>(MakeOptions());
  outer.reset();
  EXPECT_EQ(Handler::Current(Handler::kHandlerException), top.get());
  top.reset();
  EXPECT_EQ(Handler::Current(Handler::kHandlerException), nullptr);
}

TEST_F(InProcessCrashHandlerTest, HandlerThreadIsAskedToEndNotTerminated) {
  auto handler = std::make_unique<Handler>(MakeOptions());
  ASSERT_NE(handler->handler_thread_id(), 0u);
  HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE,
                             handler->handler_thread_id());
  ASSERT_NE(thread, nullptr);
  // One dump first, so the thread has been round its loop.
  EXPECT_TRUE(handler->WriteMinidump());
  handler.reset();
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  DWORD exit_code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &exit_code));
  EXPECT_EQ(exit_code, Handler::kHandlerThreadExitCode);
  CloseHandle(thread);
}

TEST_F(InProcessCrashHandlerTest, WriteMinidumpWritesAReadableDumpOfThisThread) {
  Handler handler(MakeOptions());
  EXPECT_FALSE(handler.uses_crash_server());
  ASSERT_TRUE(handler.WriteMinidump());
  EXPECT_EQ(record_.filter_calls, 1);
  ASSERT_EQ(record_.done_calls, 1);
  EXPECT_TRUE(record_.succeeded);
  ASSERT_EQ(Files().size(), 1u);
  EXPECT_EQ(record_.path, folder_.path() + L"\\" + Files()[0]);
  DWORD thread_id = 0, code = 0;
  ReadException(record_.path, &thread_id, &code);
  EXPECT_EQ(thread_id, GetCurrentThreadId());
  EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_BREAKPOINT));
}

TEST_F(InProcessCrashHandlerTest, DumpsForAnExceptionAndForAnotherThread) {
  Handler handler(MakeOptions());

  EXCEPTION_RECORD exception = {};
  exception.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  CONTEXT context = {};
  RtlCaptureContext(&context);
  EXCEPTION_POINTERS pointers = {&exception, &context};
  ASSERT_TRUE(handler.WriteMinidumpForException(&pointers));
  DWORD thread_id = 0, code = 0;
  ReadException(record_.path, &thread_id, &code);
  EXPECT_EQ(thread_id, GetCurrentThreadId());
  EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));

  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD other_id = 0;
  HANDLE other = CreateThread(
      nullptr, 0,
      [](void* event) -> DWORD {
        return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
      },
      release, 0, &other_id);
  ASSERT_NE(other, nullptr);
  const bool written = handler.WriteMinidumpForThread(other_id);
  SetEvent(release);
  WaitForSingleObject(other, INFINITE);
  CloseHandle(other);
  CloseHandle(release);
  ASSERT_TRUE(written);
  ReadException(record_.path, &thread_id, &code);
  EXPECT_EQ(thread_id, other_id);
  EXPECT_EQ(Files().size(), 2u);
}

TEST_F(InProcessCrashHandlerTest, DebuggerAndInvalidHandleExceptionsArePassedOn) {
  Handler handler(MakeOptions());
  const LPTOP_LEVEL_EXCEPTION_FILTER filter = ReadHooks().filter;
  CONTEXT context = {};
  RtlCaptureContext(&context);
  struct Row {
    DWORD code;
    bool consume_invalid_handles;
  };
  const Row passed_on[] = {
      {static_cast<DWORD>(EXCEPTION_BREAKPOINT), true},
      {static_cast<DWORD>(EXCEPTION_SINGLE_STEP), true},
      {static_cast<DWORD>(DBG_PRINTEXCEPTION_C), true},
      {static_cast<DWORD>(DBG_PRINTEXCEPTION_WIDE_C), true},
      {static_cast<DWORD>(EXCEPTION_INVALID_HANDLE), false},
  };
  for (const Row& row : passed_on) {
    SCOPED_TRACE(row.code);
    handler.set_consume_invalid_handle_exceptions(row.consume_invalid_handles);
    EXCEPTION_RECORD exception = {};
    exception.ExceptionCode = row.code;
    EXCEPTION_POINTERS pointers = {&exception, &context};
    // Down to the filter that was there before: it continues the search.
    EXPECT_EQ(filter(&pointers), EXCEPTION_CONTINUE_SEARCH);
  }
  EXPECT_EQ(record_.filter_calls, 0);

  handler.set_consume_invalid_handle_exceptions(true);
  EXCEPTION_RECORD exception = {};
  exception.ExceptionCode = EXCEPTION_INVALID_HANDLE;
  EXCEPTION_POINTERS pointers = {&exception, &context};
  EXPECT_EQ(filter(&pointers), EXCEPTION_EXECUTE_HANDLER);
  EXPECT_EQ(record_.done_calls, 1);
  EXPECT_EQ(Files().size(), 1u);
}

TEST_F(InProcessCrashHandlerTest, FilterVetoWritesNothing) {
  Handler handler(MakeOptions());
  record_.allow = false;
  EXPECT_FALSE(handler.WriteMinidump());
  EXPECT_EQ(record_.filter_calls, 1);
  EXPECT_EQ(record_.done_calls, 0);
  EXPECT_TRUE(Files().empty());
}

TEST_F(InProcessCrashHandlerTest, NoServerMeansDumpsAreWrittenHere) {
  Handler handler(MakeOptions(),
                  std::wstring(L"\\\\.\\pipe\\QuillaveraCrashTest\\nobody"));
  EXPECT_FALSE(handler.uses_crash_server());
  EXPECT_NE(handler.handler_thread_id(), 0u);
  EXPECT_FALSE(handler.RequestUpload(7));
  EXPECT_TRUE(handler.WriteMinidump());
  EXPECT_EQ(Files().size(), 1u);
}

}  // namespace
}  // namespace crash_capture
