#include "upload/feedback_endpoint.h"

#include <windows.h>

#include "gtest/gtest.h"

namespace {

#if defined(QV_TEST_ENDPOINTS)

TEST(FeedbackEndpointTest, TestBuildPostsToTheLoopbackPortItIsGiven) {
  struct Case {
    const wchar_t* port;  // null: variable unset
    const wchar_t* url;
  } cases[] = {
      {L"40123", L"http://127.0.0.1:40123/api/feedback/client/log"},
      {nullptr, L"http://127.0.0.1:9/api/feedback/client/log"},
      {L"", L"http://127.0.0.1:9/api/feedback/client/log"},
      {L"0", L"http://127.0.0.1:9/api/feedback/client/log"},
      {L"65536", L"http://127.0.0.1:9/api/feedback/client/log"},
      {L"80x", L"http://127.0.0.1:9/api/feedback/client/log"},
      {L"example.com:80", L"http://127.0.0.1:9/api/feedback/client/log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port ? c.port : L"(unset)");
    SetEnvironmentVariableW(L"QV_TEST_FEEDBACK_PORT", c.port);
    EXPECT_EQ(c.url, GetFeedbackLogUrl());
  }
  SetEnvironmentVariableW(L"QV_TEST_FEEDBACK_PORT", L"40123");
  EXPECT_EQ(L"http://127.0.0.1:40123/api/feedback/analyze/log",
            GetFeedbackAnalyzeUrl());
  SetEnvironmentVariableW(L"QV_TEST_FEEDBACK_PORT", nullptr);
}

TEST(FeedbackEndpointTest, TestBuildMayOnlyShortenThePostTimeOut) {
  struct Case {
    const wchar_t* value;  // null: variable unset
    int timeout_ms;
  } cases[] = {
      {L"2500", 2500},
      {nullptr, 30000},
      {L"0", 30000},
      {L"-5", 30000},
      {L"30001", 30000},
      {L"2s", 30000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : L"(unset)");
    SetEnvironmentVariableW(L"QV_TEST_POST_TIMEOUT_MS", c.value);
    EXPECT_EQ(c.timeout_ms, GetFeedbackPostTimeoutMs());
  }
  SetEnvironmentVariableW(L"QV_TEST_POST_TIMEOUT_MS", nullptr);
}

#else

TEST(FeedbackEndpointTest, ProductBuildUsesHttpsOnAReservedHost) {
  EXPECT_EQ(L"https://feedback.quillavera.invalid/api/feedback/client/log",
            GetFeedbackLogUrl());
}

TEST(FeedbackEndpointTest, ProductBuildIgnoresTheTestTimeOut) {
  SetEnvironmentVariableW(L"QV_TEST_POST_TIMEOUT_MS", L"2500");
  EXPECT_EQ(30000, GetFeedbackPostTimeoutMs());
  SetEnvironmentVariableW(L"QV_TEST_POST_TIMEOUT_MS", nullptr);
}

#endif

}  // namespace
