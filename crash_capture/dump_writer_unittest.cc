#include "crash_capture/dump_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <regex>
#include <thread>
#include <string>
#include <vector>

#include "crash_capture/crash_pipe_protocol.h"
#include "crash_capture/handle_trace.h"
#include "testing/crash_common/dump_file.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace crash_capture {
namespace {

using crash_testing::DumpFile;

class DumpWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_holder_.valid()); }

  std::vector<std::wstring> Files() const {
    return crash_testing::FileNamesIn(folder_);
  }

  // A writer for this process; its pointers are local ones.
  std::unique_ptr<DumpWriter> LocalWriter(uint64_t exception_pointers,
                                          uint64_t assertion, DWORD type) {
    return std::make_unique<DumpWriter>(
        folder_, GetCurrentProcess(), GetCurrentProcessId(),
        GetCurrentThreadId(), 777, exception_pointers, assertion, type, false);
  }

  // Writes |writer|'s dump, lets the writer go and returns the dump's path
  // ("" when it was not written).
  std::wstring WriteAndClose(std::unique_ptr<DumpWriter> writer) {
    std::wstring path;
    if (!writer->CreateDumpFile(&path) || !writer->WriteMinidump()) return L"";
    writer.reset();  // closes the file
    return path;
  }

  ScopedTempFolder folder_holder_{L"dump_writer_test"};
  const std::wstring folder_ = folder_holder_.path();
};

TEST(GuidToDumpNameTest, LowercaseHexWithFourHyphens) {
  const GUID guid = {0x0A1B2C3D,
                     0x4E5F,
                     0x6071,
                     {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
  EXPECT_EQ(GuidToDumpName(guid), L"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9");
  EXPECT_EQ(GuidToDumpName(GUID{}), L"00000000-0000-0000-0000-000000000000");
}

TEST_F(DumpWriterTest, FullDumpFileSharesTheGuidAndNeedsFullMemory) {
  auto normal = LocalWriter(0, 0, MiniDumpNormal);
  std::wstring path, full_path;
  ASSERT_TRUE(normal->CreateDumpFile(&path));
  EXPECT_FALSE(normal->CreateDumpFile(&path));  // only once
  EXPECT_FALSE(normal->CreateFullDumpFile(&full_path));

  auto full = LocalWriter(0, 0, MiniDumpWithFullMemory);
  ASSERT_TRUE(full->CreateDumpFile(&path));
  ASSERT_TRUE(full->CreateFullDumpFile(&full_path));
  const std::wregex name(
      L".*\\\\([0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12})\\.dmp");
  std::wsmatch match;
  ASSERT_TRUE(std::regex_match(path, match, name)) << path;
  EXPECT_EQ(full_path, folder_ + L"\\" + match[1].str() + L"-full.dmp");
}

TEST_F(DumpWriterTest, NoFolderMakesNoPath) {
  DumpWriter writer(L"", GetCurrentProcess(), GetCurrentProcessId(), 0, 0, 0,
                    0, MiniDumpWithFullMemory, false);
  std::wstring path, full_path;
  EXPECT_FALSE(writer.CreateDumpFile(&path));
  EXPECT_FALSE(writer.CreateFullDumpFile(&full_path));
  EXPECT_TRUE(path.empty());
}

TEST_F(DumpWriterTest, FilesNeverWrittenAreRemoved) {
  {
    auto writer = LocalWriter(0, 0, MiniDumpWithFullMemory);
    std::wstring path, full_path;
    ASSERT_TRUE(writer->CreateDumpFile(&path));
    ASSERT_TRUE(writer->CreateFullDumpFile(&full_path));
    EXPECT_EQ(Files().size(), 2u);
  }
  EXPECT_TRUE(Files().empty());
}

TEST_F(DumpWriterTest, UnreadableAssertionFailsAndLeavesNoFile) {
  auto writer = std::make_unique<DumpWriter>(
      folder_, GetCurrentProcess(), GetCurrentProcessId(), 0, 0, 0,
      /*assertion_info=*/0x10, MiniDumpNormal, true);
  std::wstring path;
  ASSERT_TRUE(writer->CreateDumpFile(&path));
  EXPECT_FALSE(writer->WriteMinidump());
  EXPECT_TRUE(Files().empty());
  writer.reset();  // closes nothing twice
  EXPECT_TRUE(Files().empty());
}

TEST_F(DumpWriterTest, LocalDumpCarriesThreadIdsAndAssertion) {
  AssertionInfo assertion = {};
  wcscpy(assertion.expression, L"pure virtual call");
  assertion.type = kAssertionPureVirtualCall;
  DumpFile dump(WriteAndClose(
      LocalWriter(0, reinterpret_cast<uint64_t>(&assertion), MiniDumpNormal)));
  ASSERT_TRUE(dump.valid());
  std::string body;
  ASSERT_TRUE(dump.Find(kDumpInfoStreamType, &body));
  const uint32_t expected_info[3] = {3, GetCurrentThreadId(), 777};
  EXPECT_EQ(body,
            std::string(reinterpret_cast<const char*>(expected_info), 12));
  ASSERT_TRUE(dump.Find(kAssertionInfoStreamType, &body));
  EXPECT_EQ(body, std::string(reinterpret_cast<const char*>(&assertion),
                              sizeof(assertion)));
  EXPECT_FALSE(dump.Find(ExceptionStream, &body));  // no exception given
}

bool IsLoaded(const wchar_t* library) {
  return GetModuleHandleW(library) != nullptr;
}

// The debug-help library is loaded on first use and kept while the writer
// lives, not loaded and freed around every call.
TEST_F(DumpWriterTest, DebugHelpLibraryLivesAsLongAsTheWriter) {
  ASSERT_FALSE(IsLoaded(L"dbghelp.dll"));
  auto writer = LocalWriter(0, 0, MiniDumpNormal);
  EXPECT_FALSE(IsLoaded(L"dbghelp.dll"));
  std::wstring path;
  ASSERT_TRUE(writer->CreateDumpFile(&path));
  EXPECT_FALSE(IsLoaded(L"dbghelp.dll"));
  ASSERT_TRUE(writer->WriteMinidump());
  EXPECT_TRUE(IsLoaded(L"dbghelp.dll"));
  writer.reset();
  EXPECT_FALSE(IsLoaded(L"dbghelp.dll"));
  EXPECT_TRUE(DumpFile(path).valid());
}

constexpr ULONG kCallersStreamType = 0x51560001;

BOOL CALLBACK CountCallback(void* param, const PMINIDUMP_CALLBACK_INPUT,
                            PMINIDUMP_CALLBACK_OUTPUT) {
  ++*static_cast<int*>(param);
  return TRUE;
}

TEST_F(DumpWriterTest, CallersStreamAndCallbackReachTheDump) {
  char body[] = "the caller's own stream";
  MINIDUMP_USER_STREAM stream = {kCallersStreamType, sizeof(body), body};
  MINIDUMP_USER_STREAM_INFORMATION streams = {1, &stream};
  int calls = 0;
  MINIDUMP_CALLBACK_INFORMATION callback = {&CountCallback, &calls};
  auto writer = LocalWriter(0, 0, MiniDumpNormal);
  writer->set_additional_streams(&streams);
  writer->set_callback_info(&callback);
  DumpFile dump(WriteAndClose(std::move(writer)));
  ASSERT_TRUE(dump.valid());
  std::string found;
  ASSERT_TRUE(dump.Find(kCallersStreamType, &found));
  EXPECT_EQ(std::string(body, sizeof(body)), found);
  EXPECT_TRUE(dump.Find(kDumpInfoStreamType, &found));  // the writer's own
  EXPECT_GT(calls, 0);
}

// What each dump call was handed.
struct DumpCall {
  bool full_memory;
  std::vector<ULONG> stream_types;
  PMINIDUMP_CALLBACK_INFORMATION callback;
};
std::vector<DumpCall> g_dump_calls;

BOOL WINAPI RecordDumpCall(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE type,
                           PMINIDUMP_EXCEPTION_INFORMATION,
                           PMINIDUMP_USER_STREAM_INFORMATION streams,
                           PMINIDUMP_CALLBACK_INFORMATION callback) {
  DumpCall call = {(type & MiniDumpWithFullMemory) != 0, {}, callback};
  for (ULONG i = 0; streams && i < streams->UserStreamCount; ++i)
    call.stream_types.push_back(streams->UserStreamArray[i].Type);
  g_dump_calls.push_back(call);
  DWORD written = 0;
  WriteFile(file, "MDMP", 4, &written, nullptr);
  return TRUE;
}

// Copies of an exception raised and caught here, for a dump of this process.
EXCEPTION_RECORD g_record;
CONTEXT g_context;

LONG CALLBACK KeepException(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != kStatusInvalidHandle)
    return EXCEPTION_CONTINUE_SEARCH;
  g_record = *pointers->ExceptionRecord;
  g_context = *pointers->ContextRecord;
  return EXCEPTION_CONTINUE_EXECUTION;
}

TEST_F(DumpWriterTest, InvalidHandleCrashIsDumpedWithoutAVerifier) {
  PVOID handler = AddVectoredExceptionHandler(1, KeepException);
  RaiseException(kStatusInvalidHandle, 0, 0, nullptr);
  RemoveVectoredExceptionHandler(handler);
  EXCEPTION_POINTERS pointers = {&g_record, &g_context};

  DumpFile dump(WriteAndClose(
      LocalWriter(reinterpret_cast<uint64_t>(&pointers), 0, MiniDumpNormal)));
  ASSERT_TRUE(dump.valid());
  std::string body;
  ASSERT_TRUE(dump.Find(ExceptionStream, &body));
  uint32_t code = 0;
  memcpy(&code, body.data() + 8, sizeof(code));
  EXPECT_EQ(code, kStatusInvalidHandle);
  EXPECT_FALSE(dump.Find(HandleOperationListStream, &body));
}

// Stand-ins for the dump call: a few bytes of dump, or a full-memory dump
// that runs out of space half-way.
BOOL WINAPI WriteTinyDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE type,
                          PMINIDUMP_EXCEPTION_INFORMATION,
                          PMINIDUMP_USER_STREAM_INFORMATION,
                          PMINIDUMP_CALLBACK_INFORMATION) {
  DWORD written = 0;
  WriteFile(file, "MDMP", 4, &written, nullptr);
  if (type & MiniDumpWithFullMemory) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  return TRUE;
}

class ScopedDumpFunction {
 public:
  explicit ScopedDumpFunction(MiniDumpWriteDumpFunction function) {
    SetMiniDumpWriteDumpForTesting(function);
  }
  ~ScopedDumpFunction() { SetMiniDumpWriteDumpForTesting(nullptr); }
};

TEST_F(DumpWriterTest, FailedFullDumpLeavesTheNormalDumpOnly) {
  ScopedDumpFunction stand_in(&WriteTinyDump);
  auto writer = LocalWriter(0, 0, MiniDumpWithFullMemory);
  std::wstring path, full_path;
  ASSERT_TRUE(writer->CreateDumpFile(&path));
  ASSERT_TRUE(writer->CreateFullDumpFile(&full_path));
  EXPECT_TRUE(writer->WriteMinidump());
  writer.reset();
  const std::wstring name = path.substr(path.rfind(L'\\') + 1);
  EXPECT_EQ(Files(), std::vector<std::wstring>{name});
}

// A full-memory dump whose file could not be made: the normal one still is.
TEST_F(DumpWriterTest, MissingFullDumpFileStillWritesTheNormalDump) {
  ScopedDumpFunction stand_in(&WriteTinyDump);
  auto writer = LocalWriter(0, 0, MiniDumpWithFullMemory);
  std::wstring path;
  ASSERT_TRUE(writer->CreateDumpFile(&path));
  EXPECT_TRUE(writer->WriteMinidump());
  writer.reset();
  EXPECT_EQ(Files().size(), 1u);
}

// Both dumps carry the caller's streams after the writer's own; only the
// normal one gets the caller's callback.
TEST_F(DumpWriterTest, FullDumpGetsTheCallersStreamsButNotTheCallback) {
  ScopedDumpFunction stand_in(&RecordDumpCall);
  g_dump_calls.clear();
  MINIDUMP_USER_STREAM extra[2] = {{kCallersStreamType, 1, (void*)"a"},
                                   {kCallersStreamType + 1, 1, (void*)"b"}};
  MINIDUMP_USER_STREAM_INFORMATION streams = {2, extra};
  int calls = 0;
  MINIDUMP_CALLBACK_INFORMATION callback = {&CountCallback, &calls};
  auto writer = LocalWriter(0, 0, MiniDumpWithFullMemory);
  writer->set_additional_streams(&streams);
  writer->set_callback_info(&callback);
  std::wstring path, full_path;
  ASSERT_TRUE(writer->CreateDumpFile(&path));
  ASSERT_TRUE(writer->CreateFullDumpFile(&full_path));
  ASSERT_TRUE(writer->WriteMinidump());

  ASSERT_EQ(2u, g_dump_calls.size());
  const std::vector<ULONG> expected = {kDumpInfoStreamType, kCallersStreamType,
                                       kCallersStreamType + 1};
  EXPECT_TRUE(g_dump_calls[0].full_memory);
  EXPECT_EQ(expected, g_dump_calls[0].stream_types);
  EXPECT_EQ(nullptr, g_dump_calls[0].callback);
  EXPECT_FALSE(g_dump_calls[1].full_memory);
  EXPECT_EQ(expected, g_dump_calls[1].stream_types);
  EXPECT_EQ(&callback, g_dump_calls[1].callback);
}

std::atomic<int> g_calls_in_flight{0};
std::atomic<int> g_most_in_flight{0};

// Stays in the call until another call has come in too, or a second went
// by; records how many calls were ever inside at once.
BOOL WINAPI WriteWhileCountingCalls(HANDLE, DWORD, HANDLE file,
                                    MINIDUMP_TYPE,
                                    PMINIDUMP_EXCEPTION_INFORMATION,
                                    PMINIDUMP_USER_STREAM_INFORMATION,
                                    PMINIDUMP_CALLBACK_INFORMATION) {
  const int now = ++g_calls_in_flight;
  int most = g_most_in_flight.load();
  while (now > most && !g_most_in_flight.compare_exchange_weak(most, now)) {
  }
  const DWORD start = GetTickCount();
  while (g_calls_in_flight.load() < 2 && GetTickCount() - start < 1000)
    Sleep(5);
  DWORD written = 0;
  WriteFile(file, "MDMP", 4, &written, nullptr);
  --g_calls_in_flight;
  return TRUE;
}

TEST_F(DumpWriterTest, DumpsOfTwoClientsAreWrittenOneAtATime) {
  ScopedDumpFunction stand_in(&WriteWhileCountingCalls);
  g_most_in_flight = 0;
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> written{0};
  std::vector<std::thread> dumps;
  for (int i = 0; i < 2; ++i) {
    dumps.emplace_back([&] {
      auto writer = LocalWriter(0, 0, MiniDumpNormal);
      std::wstring path;
      if (!writer->CreateDumpFile(&path)) return;
      WaitForSingleObject(go, INFINITE);
      if (writer->WriteMinidump()) ++written;
    });
  }
  SetEvent(go);
  for (std::thread& dump : dumps) dump.join();
  CloseHandle(go);
  EXPECT_EQ(written.load(), 2);
  EXPECT_EQ(g_most_in_flight.load(), 1);
}

}  // namespace
}  // namespace crash_capture
