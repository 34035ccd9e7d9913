#include "crash_capture/crash_pipe_server.h"

#include <dbghelp.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "crash_capture/crash_pipe_client.h"

namespace crash_capture {
namespace {

// The server and its client live in this one process here; tests with
// separate client processes are the whole-program ones.
struct HookCalls {
  DWORD dump_hook_sleep_ms = 0;
  std::atomic<int> connects{0};
  std::atomic<int> dump_starts{0};
  std::atomic<int> dumps{0};
  std::atomic<int> null_dump_paths{0};
  std::atomic<int> exits{0};
};

void OnConnect(void* context, const ClientRecord*) {
  ++static_cast<HookCalls*>(context)->connects;
}
void OnDump(void* context, const ClientRecord*, const std::wstring* path) {
  auto* calls = static_cast<HookCalls*>(context);
  ++calls->dump_starts;
  Sleep(calls->dump_hook_sleep_ms);
  ++calls->dumps;
  if (!path) ++calls->null_dump_paths;
}
void OnExit(void* context, const ClientRecord*) {
  ++static_cast<HookCalls*>(context)->exits;
}

std::wstring TestPipeName(const wchar_t* test) {
  return std::wstring(L"\\\\.\\pipe\\QuillaveraCrashUnitTest\\") + test + L"-" +
         std::to_wstring(GetCurrentProcessId());
}

std::unique_ptr<CrashPipeServer> MakeServer(const std::wstring& pipe_name,
                                            HookCalls* calls) {
  return std::make_unique<CrashPipeServer>(
      pipe_name, nullptr, OnConnect, calls, OnDump, calls, OnExit, calls,
      nullptr, nullptr, /*generate_dumps=*/false, nullptr);
}

TEST(CrashPipeServerTest, StartsOnlyOnce) {
  HookCalls calls;
  const std::wstring name = TestPipeName(L"once");
  auto server = MakeServer(name, &calls);
  ASSERT_TRUE(server->Start());
  EXPECT_FALSE(server->Start());
  // Still serving after the refused second start.
  CrashPipeClient client(name, MiniDumpNormal, nullptr);
  EXPECT_TRUE(client.Register());
}

TEST(CrashPipeServerTest, SecondServerOnTheSameNameFails) {
  HookCalls calls;
  const std::wstring name = TestPipeName(L"second");
  auto first = MakeServer(name, &calls);
  ASSERT_TRUE(first->Start());
  auto second = MakeServer(name, &calls);
  EXPECT_FALSE(second->Start());
}

TEST(CrashPipeServerTest,
     WithoutDumpsTheHookGetsNoPathAndEveryRequestIsServed) {
  HookCalls calls;
  const std::wstring name = TestPipeName(L"nodumps");
  auto server = MakeServer(name, &calls);
  ASSERT_TRUE(server->Start());
  CrashPipeClient client(name, MiniDumpNormal, nullptr);
  ASSERT_TRUE(client.Register());
  EXPECT_TRUE(client.Register());  // already registered: no second record
  EXPECT_EQ(client.server_process_id(), GetCurrentProcessId());

  // Requests right after one another: none may be lost. They come from
  // another thread, as this one owns the server-alive mutex.
  constexpr int kRequests = 20;
  int served = 0;
  std::thread requester([&client, &served] {
    for (int i = 0; i < kRequests; ++i) {
      if (!client.RequestDump(static_cast<const AssertionInfo*>(nullptr)))
        break;
      ++served;
    }
  });
  requester.join();
  EXPECT_EQ(served, kRequests);
  EXPECT_EQ(calls.dumps, kRequests);
  EXPECT_EQ(calls.null_dump_paths, kRequests);
}

TEST(CrashPipeServerTest, RequestsDuringADumpAreFoldedIntoOneMore) {
  HookCalls calls;
  calls.dump_hook_sleep_ms = 1000;
  const std::wstring name = TestPipeName(L"folded");
  auto server = MakeServer(name, &calls);
  ASSERT_TRUE(server->Start());
  CrashPipeClient client(name, MiniDumpNormal, nullptr);
  ASSERT_TRUE(client.Register());

  // A client that sets its event over and over while its dump is written
  // gets one more dump, not one per signal.
  ASSERT_TRUE(SetEvent(client.dump_request_event()));
  for (int i = 0; i < 500 && calls.dump_starts == 0; ++i) Sleep(10);
  ASSERT_EQ(calls.dump_starts, 1);
  for (int i = 0; i < 10; ++i) {
    SetEvent(client.dump_request_event());
    Sleep(20);
  }
  Sleep(3000);  // room for two more dumps after the first, were they due
  EXPECT_EQ(calls.dump_starts, 2);
  EXPECT_EQ(calls.dumps, 2);
}

TEST(CrashPipeServerTest, DestroyedServerCallsNoExitHook) {
  HookCalls calls;
  const std::wstring name = TestPipeName(L"destroyed");
  auto server = MakeServer(name, &calls);
  ASSERT_TRUE(server->Start());
  CrashPipeClient client(name, MiniDumpNormal, nullptr);
  ASSERT_TRUE(client.Register());
  // The connect hook runs once the server has read the acknowledgement.
  for (int i = 0; i < 500 && calls.connects == 0; ++i) Sleep(10);
  EXPECT_EQ(calls.connects, 1);
  server.reset();
  EXPECT_EQ(calls.exits, 0);
  // A new server can take the name at once.
  server = MakeServer(name, &calls);
  EXPECT_TRUE(server->Start());
}

// A dump hook held until the test lets it go.
struct HeldDump {
  HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CrashPipeServer* server = nullptr;
  std::atomic<bool> own_dump_left_out{false};
  std::atomic<bool> returned{false};
  ~HeldDump() {
    CloseHandle(entered);
    CloseHandle(release);
  }
};

void OnHeldDump(void* context, const ClientRecord*, const std::wstring*) {
  auto* held = static_cast<HeldDump*>(context);
  // A hook that ends the process does not wait for itself.
  held->own_dump_left_out = held->server->WaitForDumpsInProgress(0);
  SetEvent(held->entered);
  WaitForSingleObject(held->release, INFINITE);
  held->returned = true;
}

TEST(CrashPipeServerTest, WaitForDumpsCoversTheHookAndTheClientRelease) {
  HeldDump held;
  const std::wstring name = TestPipeName(L"dumpwait");
  auto server = std::make_unique<CrashPipeServer>(
      name, nullptr, nullptr, nullptr, OnHeldDump, &held, nullptr, nullptr,
      nullptr, nullptr, /*generate_dumps=*/false, nullptr);
  held.server = server.get();
  ASSERT_TRUE(server->Start());
  EXPECT_TRUE(server->WaitForDumpsInProgress(0));  // nothing to wait for
  CrashPipeClient client(name, MiniDumpNormal, nullptr);
  ASSERT_TRUE(client.Register());
  std::atomic<bool> released{false};
  std::thread requester([&client, &released] {
    client.RequestDump(static_cast<const AssertionInfo*>(nullptr));
    released = true;
  });
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held.entered, 30000));
  EXPECT_TRUE(held.own_dump_left_out);
  EXPECT_FALSE(server->WaitForDumpsInProgress(200));
  SetEvent(held.release);
  EXPECT_TRUE(server->WaitForDumpsInProgress(30000));
  EXPECT_TRUE(held.returned);
  requester.join();
  EXPECT_TRUE(released);
}

}  // namespace
}  // namespace crash_capture
