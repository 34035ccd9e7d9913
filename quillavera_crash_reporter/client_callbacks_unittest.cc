#include "quillavera_crash_reporter/client_callbacks.h"

#include <windows.h>

#include "gtest/gtest.h"

namespace {

TEST(ClientCallbacksTest, NoticeDataIsPidAndRoleInTheAnsiCodePage) {
  ASSERT_EQ(1252u, ::GetACP());  // The code page of the prefix.
  EXPECT_EQ("4242_renderer", MakeIpcNoticeData(4242, L"renderer"));
  EXPECT_EQ("7_", MakeIpcNoticeData(7, L""));
  EXPECT_EQ("7_caf\xe9", MakeIpcNoticeData(7, L"caf\u00e9"));
  // Without a mapping the code page's default character stands in.
  EXPECT_EQ("7_r?x", MakeIpcNoticeData(7, L"r\u4e2dx"));
}

}  // namespace
