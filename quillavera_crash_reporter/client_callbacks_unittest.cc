#include "quillavera_crash_reporter/client_callbacks.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/values.h"
#include "framework/framework/ipc.h"
#include "gtest/gtest.h"
#include "testing/ipc_peer/peer_process.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

TEST(ClientCallbacksTest, NoticeDataIsPidAndRoleAsTheAnsiCodePageHoldsIt) {
  ASSERT_EQ(1252u, ::GetACP());  // The code page of the prefix.
  EXPECT_EQ("4242_renderer", MakeIpcNoticeData(4242, L"renderer"));
  EXPECT_EQ("7_", MakeIpcNoticeData(7, L""));
  // The notice is UTF-8 JSON: a role the code page holds arrives as itself.
  EXPECT_EQ("7_caf\xc3\xa9", MakeIpcNoticeData(7, L"caf\u00e9"));
  // Without a mapping the code page's default character stands in, also
  // where a best-fit look-alike exists.
  EXPECT_EQ("7_r?x", MakeIpcNoticeData(7, L"r\u4e2dx"));
  EXPECT_EQ("7_?ky", MakeIpcNoticeData(7, L"\u015cky"));
}

// What the client application's window finds in the notice.
TEST(ClientCallbacksTest, PeerGetsTheRoleItselfOrTheDefaultCharacter) {
  ScopedTempFolder folder(L"client_callbacks");
  ASSERT_TRUE(folder.valid());
  const std::wstring output = folder.Path(L"notices.jsonl");
  ipc_testing::PeerProcess peer(output, false);
  ASSERT_TRUE(peer.started());
  const valmora::IPC::PeerWindow window = peer.WaitForWindow();
  ASSERT_TRUE(window.IsValid());
  SendIpcNotice(7, MakeIpcNoticeData(11, L"caf\u00e9"));
  SendIpcNotice(8, MakeIpcNoticeData(12, L"\u015cky \u4e2d"));
  EXPECT_EQ(0u, peer.Close(window.window()));

  const std::vector<std::string> lines = ipc_testing::ReadLines(output);
  ASSERT_EQ(2u, lines.size());
  const std::wstring expected[] = {L"11_caf\u00e9", L"12_?ky ?"};
  for (size_t i = 0; i < lines.size(); ++i) {
    std::unique_ptr<base::Value> record(base::JSONReader::Read(lines[i]));
    const base::DictionaryValue* fields = nullptr;
    ASSERT_TRUE(record && record->GetAsDictionary(&fields)) << lines[i];
    std::unique_ptr<base::Value> notice(
        base::JSONReader::Read(ipc_testing::RecordedBytes(*fields)));
    const base::DictionaryValue* notice_fields = nullptr;
    ASSERT_TRUE(notice && notice->GetAsDictionary(&notice_fields)) << lines[i];
    string16 data;
    ASSERT_TRUE(notice_fields->GetString("data", &data));
    EXPECT_EQ(expected[i], data);
  }
}

}  // namespace
