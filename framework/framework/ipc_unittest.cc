#include "framework/framework/ipc.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/shared_memory.h"
#include "base/string_number_conversions.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"
#include "gtest/gtest.h"
#include "testing/ipc_peer/peer_process.h"

namespace valmora {
namespace {

using ipc_testing::PeerProcess;
using ipc_testing::ReadLines;
using ipc_testing::RecordedBytes;

// Every record logged while the fixture lives, swallowed.
std::vector<std::string>* g_log_records = nullptr;

bool CaptureLog(int severity, const char*, int, size_t message_start,
                const std::string& str) {
  if (g_log_records) {
    g_log_records->push_back(std::to_string(severity) + " " +
                             str.substr(message_start));
  }
  return true;
}

class IPCTest : public testing::Test {
 protected:
  void SetUp() override {
    g_log_records = &log_records_;
    base::SetLogMessageHandler(&CaptureLog);
  }
  void TearDown() override {
    base::SetLogMessageHandler(nullptr);
    g_log_records = nullptr;
  }

  std::vector<std::string> log_records_;
};

struct Notice {
  uint32_t id;
  std::string data;
  uint32_t sender_process_id;
};

class RecordingListener : public IPC::Listener {
 public:
  void OnIPCMessage(const IPC& sender, uint32_t id,
                    const std::string& data) override {
    notices.push_back({id, data, sender.process_id()});
  }
  std::vector<Notice> notices;
};

// Registers for the test's length; this thread owns the window.
class ScopedListener {
 public:
  ScopedListener() { IPC::RegisterListener(&listener); }
  ~ScopedListener() { IPC::UnregisterListener(&listener); }
  RecordingListener listener;
};

// The window of this process as the peer a sender would see.
IPC OwnWindow() {
  return IPC(GetCurrentProcessId(), IPC::ReceiverWindow());
}

std::wstring OutputPath(const wchar_t* tag) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + L"ipc_unittest_" + tag + L"_" +
         std::to_wstring(GetCurrentProcessId()) + L".jsonl";
}

TEST_F(IPCTest, NoticeJsonIsTheWritersForm) {
  IPCData notice;
  notice.id = 7;
  notice.data = "4242_renderer";
  EXPECT_EQ("{\"data\":\"4242_renderer\",\"id\":7}", notice.ToJson());
  notice.id = 8;
  notice.data = "";
  EXPECT_EQ("{\"data\":\"\",\"id\":8}", notice.ToJson());
  notice.data = "a\"b\\c<\xC3\xA9>\n";
  EXPECT_EQ("{\"data\":\"a\\\"b\\\\c\\u003C\\u00E9\\u003E\\n\",\"id\":8}",
            notice.ToJson());

  IPCData parsed;
  EXPECT_EQ(IPCData::PARSE_OK, parsed.Parse(notice.ToJson()));
  EXPECT_EQ(8u, parsed.id);
  EXPECT_EQ(notice.data, parsed.data);
  notice.id = 0xFFFFFFFFu;
  EXPECT_EQ(IPCData::PARSE_OK, parsed.Parse(notice.ToJson()));
  EXPECT_EQ(0xFFFFFFFFu, parsed.id);
}

TEST_F(IPCTest, NoticeParseFailures) {
  struct Case {
    const char* json;
    IPCData::ParseResult result;
  } cases[] = {
      {"{\"data\":\"x\",\"id\":7,}", IPCData::PARSE_OK},
      {"not json", IPCData::PARSE_NOT_JSON},
      {"", IPCData::PARSE_NOT_JSON},
      {"[7,\"x\"]", IPCData::PARSE_BAD_MEMBERS},
      {"{\"id\":7}", IPCData::PARSE_BAD_MEMBERS},
      {"{\"data\":\"x\"}", IPCData::PARSE_BAD_MEMBERS},
      {"{\"data\":\"x\",\"id\":\"7\"}", IPCData::PARSE_BAD_MEMBERS},
      {"{\"data\":\"x\",\"id\":7.5}", IPCData::PARSE_BAD_MEMBERS},
      {"{\"data\":7,\"id\":7}", IPCData::PARSE_BAD_MEMBERS},
  };
  for (const Case& c : cases) {
    IPCData parsed;
    parsed.id = 99;
    EXPECT_EQ(c.result, parsed.Parse(c.json)) << c.json;
    if (c.result != IPCData::PARSE_OK) {
      EXPECT_EQ(99u, parsed.id) << c.json;
    }
  }
}

TEST_F(IPCTest, MappingNameAndCollisions) {
  EXPECT_EQ("valmora_ipc_4242_90125", IPCSharedMemoryName(4242, 90125));

  // Two notices in one tick: the second takes the next free value.
  const uint32_t receiver = 0x7FFF0000u + (GetCurrentProcessId() & 0xFFFF);
  const uint32_t start = 0xFFFFFFFEu;
  base::SharedMemory first, second, third;
  uint32_t ticks = start;
  ASSERT_TRUE(CreateIPCSharedMemory(receiver, 16, &ticks, &first));
  EXPECT_EQ(start, ticks);
  ticks = start;
  ASSERT_TRUE(CreateIPCSharedMemory(receiver, 16, &ticks, &second));
  EXPECT_EQ(start + 1, ticks);
  ticks = start;
  ASSERT_TRUE(CreateIPCSharedMemory(receiver, 16, &ticks, &third));
  EXPECT_EQ(0u, ticks);  // Wrapped like the tick count does.

  base::SharedMemory too_big;
  ticks = 1;
  EXPECT_FALSE(CreateIPCSharedMemory(receiver, 0, &ticks, &too_big));
}

TEST_F(IPCTest, OwnWindowIsMessageOnlyAndNeverThePeer) {
  ScopedListener scope;
  HWND window = IPC::ReceiverWindow();
  ASSERT_NE(nullptr, window);
  wchar_t class_name[64] = {};
  GetClassNameW(window, class_name, 64);
  EXPECT_EQ(std::wstring(L"valmora_ipc_window"), class_name);
  wchar_t title[32] = {};
  GetWindowTextW(window, title, 32);
  EXPECT_EQ(std::to_wstring(GetCurrentProcessId()), title);
  EXPECT_EQ(0x0Bu, static_cast<unsigned>(GetClassLongPtrW(window, GCL_STYLE)));
  EXPECT_EQ(window, FindWindowExW(HWND_MESSAGE, nullptr, L"valmora_ipc_window",
                                  title));

  EXPECT_FALSE(IPC::FindPeerWindow().IsValid());
  IPC peer(0, nullptr);
  EXPECT_TRUE(IPC::FindPeerWithProcessId(GetCurrentProcessId(), &peer));
  EXPECT_EQ(window, peer.remote_receiver());
  EXPECT_EQ(GetCurrentProcessId(), peer.process_id());
  EXPECT_TRUE(log_records_.empty());

  EXPECT_FALSE(IPC::FindPeerWithProcessId(0x7FFFFFF0u, &peer));
  ASSERT_EQ(1u, log_records_.size());
  EXPECT_EQ("1 IPC FindIPC Peer With Process Id(2147483632) failed\n",
            log_records_[0]);
}

TEST_F(IPCTest, ReceiverHandsNoticesToListeners) {
  ScopedListener scope;
  RecordingListener second;
  IPC::RegisterListener(&second);

  const std::string data = "4242_\xC3\xA9\"quoted\"\t<tag>";
  EXPECT_TRUE(OwnWindow().Send(7, data));
  EXPECT_TRUE(OwnWindow().Send(8, ""));
  IPC::UnregisterListener(&second);
  EXPECT_TRUE(OwnWindow().Send(9, "after"));

  ASSERT_EQ(3u, scope.listener.notices.size());
  EXPECT_EQ(7u, scope.listener.notices[0].id);
  EXPECT_EQ(data, scope.listener.notices[0].data);
  EXPECT_EQ(8u, scope.listener.notices[1].id);
  EXPECT_EQ("", scope.listener.notices[1].data);
  EXPECT_EQ("after", scope.listener.notices[2].data);
  EXPECT_EQ(2u, second.notices.size());
  EXPECT_TRUE(log_records_.empty());
}

TEST_F(IPCTest, ReceiverDropsBadNotices) {
  ScopedListener scope;
  HWND window = IPC::ReceiverWindow();
  const uint32_t pid = GetCurrentProcessId();

  // No such section.
  SendMessageW(window, kIPCMessage, pid, 1);

  // Not JSON, and JSON of the wrong shape.
  base::SharedMemory not_json;
  ASSERT_TRUE(not_json.CreateNamed(IPCSharedMemoryName(pid, 2), false, 16));
  ASSERT_TRUE(not_json.Map(16));
  std::strcpy(static_cast<char*>(not_json.memory()), "{oops");
  SendMessageW(window, kIPCMessage, pid, 2);
  base::SharedMemory wrong_shape;
  ASSERT_TRUE(wrong_shape.CreateNamed(IPCSharedMemoryName(pid, 3), false, 16));
  ASSERT_TRUE(wrong_shape.Map(16));
  std::strcpy(static_cast<char*>(wrong_shape.memory()), "{\"id\":7}");
  SendMessageW(window, kIPCMessage, pid, 3);

  // A section without any zero byte is read up to its end, not beyond.
  base::SharedMemory unterminated;
  ASSERT_TRUE(unterminated.CreateNamed(IPCSharedMemoryName(pid, 4), false, 1));
  ASSERT_TRUE(unterminated.Map(0));
  const size_t whole = unterminated.mapped_size();
  ASSERT_EQ(65536u, whole);
  std::memset(unterminated.memory(), 'x', whole);
  SendMessageW(window, kIPCMessage, pid, 4);

  EXPECT_TRUE(scope.listener.notices.empty());
  ASSERT_EQ(4u, log_records_.size());
  EXPECT_EQ(0u, log_records_[0].find("1 Open Existed IPC Shared Memory Failed"))
      << log_records_[0];
  EXPECT_EQ("1 IPCData Parse Failed: {oops\n", log_records_[1]);
  EXPECT_EQ("1 IPCData Json Data Parse Failed: {\"id\":7}\n", log_records_[2]);
  // Compared as a whole so that a failure does not print 64 KiB.
  EXPECT_TRUE(log_records_[3] ==
              "1 IPCData Parse Failed: " + std::string(whole, 'x') + "\n")
      << log_records_[3].size();
}

TEST_F(IPCTest, SendToAVanishedWindowFailsSilently) {
  HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                              nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, gone);
  DestroyWindow(gone);
  EXPECT_FALSE(IPC(1234, gone).Send(7, "x"));
  EXPECT_FALSE(IPC(1234, nullptr).Send(7, "x"));
  EXPECT_TRUE(log_records_.empty());
}

TEST_F(IPCTest, NoticeReachesAnotherProcessByteForByte) {
  // This process's own window is there too and must be passed over.
  HWND own_window = IPC::ReceiverWindow();
  ASSERT_NE(nullptr, own_window);
  const std::wstring output = OutputPath(L"peer");
  PeerProcess peer(output, false);
  ASSERT_TRUE(peer.started());
  IPC::PeerWindow window = peer.WaitForWindow();
  ASSERT_TRUE(window.IsValid());
  EXPECT_NE(own_window, window.window());
  IPC ipc = IPC::FromPeerWindow(window.window());
  EXPECT_EQ(peer.pid(), ipc.process_id());

  const std::string renderer = base::UintToString(peer.pid()) + "_renderer";
  const std::string escaped = "tab\t \"quote\" back\\slash <\xC3\xA9\xE2\x82\xAC>";
  EXPECT_TRUE(ipc.Send(7, renderer));
  EXPECT_TRUE(ipc.Send(8, escaped));
  EXPECT_TRUE(ipc.Send(8, ""));
  EXPECT_EQ(0u, peer.Close(window.window()));

  std::vector<std::string> lines = ReadLines(output);
  ASSERT_EQ(3u, lines.size());
  const std::string expected[] = {
      "{\"data\":\"" + renderer + "\",\"id\":7}",
      "{\"data\":\"tab\\t \\\"quote\\\" back\\\\slash "
      "\\u003C\\u00E9\\u20AC\\u003E\",\"id\":8}",
      "{\"data\":\"\",\"id\":8}",
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    std::unique_ptr<base::Value> root(base::JSONReader::Read(lines[i]));
    const base::DictionaryValue* record = nullptr;
    ASSERT_TRUE(root && root->GetAsDictionary(&record)) << lines[i];
    EXPECT_EQ(expected[i], RecordedBytes(*record));
    int wparam = 0, lparam = 0;
    EXPECT_TRUE(record->GetInteger("wparam", &wparam));
    EXPECT_EQ(peer.pid(), static_cast<uint32_t>(wparam));
    EXPECT_TRUE(record->GetInteger("lparam", &lparam));

    // What arrives reads back as what was sent.
    IPCData notice;
    ASSERT_EQ(IPCData::PARSE_OK, notice.Parse(RecordedBytes(*record)));
    EXPECT_EQ(i == 0 ? renderer : (i == 1 ? escaped : std::string()),
              notice.data);
  }
  EXPECT_TRUE(log_records_.empty());

  // With the receiver gone there is no peer and nothing is logged.
  EXPECT_FALSE(IPC::FindPeerWindow().IsValid());
  EXPECT_FALSE(ipc.Send(7, renderer));
  EXPECT_TRUE(log_records_.empty());
  DeleteFileW(output.c_str());
}

TEST_F(IPCTest, HungReceiverDoesNotHangTheSender) {
  const std::wstring output = OutputPath(L"hung");
  PeerProcess peer(output, true);
  ASSERT_TRUE(peer.started());
  IPC::PeerWindow window = peer.WaitForWindow();
  ASSERT_TRUE(window.IsValid());

  EXPECT_FALSE(IPC::FromPeerWindow(window.window()).Send(7, "dropped"));
  ASSERT_EQ(1u, log_records_.size());
  EXPECT_EQ(0u, log_records_[0].find("1 IPC notice 7 to process " +
                                     base::UintToString(peer.pid()) +
                                     " not taken within 3000 ms, dropped"))
      << log_records_[0];
  DeleteFileW(output.c_str());
}

}  // namespace
}  // namespace valmora
