#include "crash_capture/crash_pipe_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace crash_capture {
namespace {

std::wstring TestPipeName(const wchar_t* test) {
  return std::wstring(L"\\\\.\\pipe\\QuillaveraCrashClientTest\\") + test +
         L"-" + std::to_wstring(GetCurrentProcessId());
}

// A one-connection server that answers a registration with |reply| and then
// tells what came next: an acknowledgement, or the client closing.
class FakeServer {
 public:
  enum AckHandling { kReadAck, kDisconnectOnAck };

  // With |busy_ms|, another client holds the only instance that long first.
  // kDisconnectOnAck cuts the connection once the acknowledgement is under
  // way, before reading it, as a server does that gave up waiting for it.
  FakeServer(const std::wstring& name, const PipeMessage& reply,
             DWORD busy_ms = 0, AckHandling ack_handling = kReadAck)
      : pipe_(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                               PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 64,
                               64, 0, nullptr)),
        reply_(reply),
        ack_handling_(ack_handling),
        name_(name) {
    HANDLE blocker = INVALID_HANDLE_VALUE;
    if (busy_ms) {
      blocker = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, 0, nullptr);
    }
    thread_ = std::thread([this, blocker, busy_ms] {
      if (blocker != INVALID_HANDLE_VALUE) {
        Sleep(busy_ms);
        CloseHandle(blocker);
        DisconnectNamedPipe(pipe_);
      }
      Serve();
      done_ = true;
    });
  }
  ~FakeServer() {
    // A server still listening is woken by a client that leaves at once.
    while (!done_) {
      HANDLE wake = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
      if (wake != INVALID_HANDLE_VALUE) CloseHandle(wake);
      Sleep(50);
    }
    Finish();
    CloseHandle(pipe_);
  }

  void Finish() {
    if (thread_.joinable()) thread_.join();
  }
  const PipeMessage& request() const { return request_; }
  bool got_ack() const { return got_ack_; }
  bool cut_pending_ack() const { return cut_pending_ack_; }

 private:
  void Serve() {
    if (!ConnectNamedPipe(pipe_, nullptr) &&
        GetLastError() != ERROR_PIPE_CONNECTED) {
      return;
    }
    DWORD bytes = 0;
    if (!ReadFile(pipe_, &request_, sizeof(request_), &bytes, nullptr)) return;
    WriteFile(pipe_, &reply_, sizeof(reply_), &bytes, nullptr);
    if (ack_handling_ == kDisconnectOnAck) return CutPendingAck();
    PipeMessage ack = {};
    got_ack_ = ReadFile(pipe_, &ack, sizeof(ack), &bytes, nullptr) &&
               bytes == sizeof(ack) && ack.tag == kRegistrationAck;
  }

  // The acknowledgement is larger than the pipe's buffer: its write stays
  // pending until it is read, and fails when the connection goes.
  void CutPendingAck() {
    const ULONGLONG deadline = GetTickCount64() + 30000;
    DWORD queued = 0;
    while (PeekNamedPipe(pipe_, nullptr, 0, nullptr, &queued, nullptr) &&
           queued < sizeof(PipeMessage) && GetTickCount64() < deadline) {
      Sleep(5);
    }
    cut_pending_ack_ = queued >= sizeof(PipeMessage);
    DisconnectNamedPipe(pipe_);
  }

  HANDLE pipe_;
  PipeMessage reply_;
  const AckHandling ack_handling_;
  bool cut_pending_ack_ = false;
  PipeMessage request_ = {};
  bool got_ack_ = false;
  const std::wstring name_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Handle values the client will take as its own: real duplicates of an
// event, so closing them is harmless.
uint64_t NewHandleValue() {
  return reinterpret_cast<uint64_t>(
      CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

PipeMessage GoodReply() {
  PipeMessage reply = {};
  reply.tag = kRegistrationResponse;
  reply.id = 4242;
  reply.dump_request_handle = NewHandleValue();
  reply.dump_generated_handle = NewHandleValue();
  reply.server_alive_handle = NewHandleValue();
  return reply;
}

TEST(CrashPipeClientTest, SendsItsAddressesAndAcknowledgesAGoodReply) {
  const std::wstring name = TestPipeName(L"good");
  const PipeMessage reply = GoodReply();
  FakeServer server(name, reply);
  const CustomInfoEntry entries[2] = {};
  const ClientCustomInfo info = {entries, 2};
  CrashPipeClient client(name, 0x21, &info);
  ASSERT_TRUE(client.Register());
  EXPECT_EQ(client.server_process_id(), 4242u);
  EXPECT_EQ(reinterpret_cast<uint64_t>(client.server_alive_mutex()),
            reply.server_alive_handle);

  const PipeMessage& request = server.request();
  EXPECT_EQ(request.tag, kRegistrationRequest);
  EXPECT_EQ(request.id, GetCurrentProcessId());
  EXPECT_EQ(request.dump_type, 0x21u);
  EXPECT_TRUE(IsValidClientMessage(request));
  EXPECT_EQ(request.custom_info.entries, entries);
  EXPECT_EQ(request.custom_info.count, 2u);
  EXPECT_EQ(request.dump_request_handle, 0u);
  server.Finish();
  EXPECT_TRUE(server.got_ack());
}

TEST(CrashPipeClientTest, RejectsAReplyMissingAnyHandle) {
  uint64_t PipeMessage::*handles[] = {&PipeMessage::dump_request_handle,
                                      &PipeMessage::dump_generated_handle,
                                      &PipeMessage::server_alive_handle};
  for (auto handle : handles) {
    const std::wstring name = TestPipeName(L"zero");
    PipeMessage reply = GoodReply();
    reply.*handle = 0;
    FakeServer server(name, reply);
    CrashPipeClient client(name, 0, nullptr);
    EXPECT_FALSE(client.Register());
    EXPECT_FALSE(client.registered());
    server.Finish();
    EXPECT_FALSE(server.got_ack());
  }
}

TEST(CrashPipeClientTest, AnAcknowledgementThatFailsKeepsTheRegistration) {
  // The server counts the client as registered once its reply was read;
  // a client that dropped its handles now could only register again.
  const std::wstring name = TestPipeName(L"ackcut");
  const PipeMessage reply = GoodReply();
  FakeServer server(name, reply, 0, FakeServer::kDisconnectOnAck);
  CrashPipeClient client(name, 0, nullptr);
  EXPECT_TRUE(client.Register());
  server.Finish();
  ASSERT_TRUE(server.cut_pending_ack());
  EXPECT_TRUE(client.registered());
  EXPECT_EQ(client.server_process_id(), 4242u);
  EXPECT_EQ(reinterpret_cast<uint64_t>(client.dump_request_event()),
            reply.dump_request_handle);
  EXPECT_EQ(reinterpret_cast<uint64_t>(client.server_alive_mutex()),
            reply.server_alive_handle);
  // Nothing listens any more: only a client that keeps its registration
  // answers without going to the pipe.
  EXPECT_TRUE(client.Register());
}

TEST(CrashPipeClientTest, BuiltOnAConnectedPipeUsesItOnce) {
  const std::wstring name = TestPipeName(L"handle");
  FakeServer server(name, GoodReply());
  HANDLE pipe = CreateFileW(name.c_str(), kPipeClientAccess, 0, nullptr,
                            OPEN_EXISTING, kPipeClientFlags, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  CrashPipeClient client(pipe, 0, nullptr);
  ASSERT_TRUE(client.Register());
  server.Finish();
  EXPECT_TRUE(server.got_ack());
  // The handle is gone, and no name to connect by.
  EXPECT_FALSE(client.RequestUpload(7));
}

TEST(CrashPipeClientTest, AHandedOverPipeRegistersItsReceiver) {
  const std::wstring name = TestPipeName(L"handover");
  FakeServer server(name, GoodReply());
  // Handed to this process itself: the receiver's side is the same.
  HANDLE pipe =
      CrashPipeClient::ConnectAndHandOver(name, GetCurrentProcess());
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  CrashPipeClient client(pipe, 0, nullptr);
  ASSERT_TRUE(client.Register());
  server.Finish();
  EXPECT_TRUE(server.got_ack());
}

TEST(CrashPipeClientTest, NothingToHandOverWithoutAServer) {
  EXPECT_EQ(CrashPipeClient::ConnectAndHandOver(TestPipeName(L"nohandover"),
                                                GetCurrentProcess()),
            INVALID_HANDLE_VALUE);
}

TEST(CrashPipeClientTest, WaitsForABusyPipeOnce) {
  const std::wstring name = TestPipeName(L"busy");
  FakeServer server(name, GoodReply(), /*busy_ms=*/300);
  CrashPipeClient client(name, 0, nullptr);
  EXPECT_TRUE(client.Register());
}

TEST(CrashPipeClientTest, GivesUpOnAPipeBusyForLong) {
  const std::wstring name = TestPipeName(L"toobusy");
  FakeServer server(name, GoodReply(), /*busy_ms=*/4000);
  CrashPipeClient client(name, 0, nullptr);
  EXPECT_FALSE(client.Register());
}

TEST(CrashPipeClientTest, NoServerMeansNoRegistration) {
  CrashPipeClient client(TestPipeName(L"nobody"), 0, nullptr);
  EXPECT_FALSE(client.Register());
  EXPECT_FALSE(client.RequestDump(static_cast<const AssertionInfo*>(nullptr)));
  EXPECT_FALSE(client.RequestUpload(1));
}

}  // namespace
}  // namespace crash_capture
