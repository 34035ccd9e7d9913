#include "upload/jov_endpoints.h"

#include <windows.h>

#include "gtest/gtest.h"

namespace valmora {
namespace {

#if defined(QV_TEST_ENDPOINTS)

TEST(JovEndpointsTest, TestBuildAsksTheLoopbackPortItIsGiven) {
  SetEnvironmentVariableW(L"QV_TEST_LBS_PORT", L"40123");
  EXPECT_EQ((jov_upload::StringList{"http://127.0.0.1:40123/general/lbs",
                                    "http://127.0.0.1:40123/region-a/lbs",
                                    "http://127.0.0.1:40123/region-b/lbs",
                                    "http://127.0.0.1:40123/overseas/lbs"}),
            GetJovLbsUrls());
  for (const wchar_t* port : {static_cast<const wchar_t*>(nullptr), L"",
                              L"0", L"65536", L"80x"}) {
    SetEnvironmentVariableW(L"QV_TEST_LBS_PORT", port);
    EXPECT_EQ("http://127.0.0.1:9/general/lbs", GetJovLbsUrls().front());
  }
  SetEnvironmentVariableW(L"QV_TEST_LBS_PORT", nullptr);
}

#else

TEST(JovEndpointsTest, ProductBuildUsesReservedHosts) {
  const jov_upload::StringList urls = GetJovLbsUrls();
  ASSERT_EQ(4u, urls.size());
  for (const std::string& url : urls) {
    EXPECT_EQ(0u, url.find("http://"));
    EXPECT_NE(std::string::npos, url.find(".invalid/lbs"));
  }
}

#endif

}  // namespace
}  // namespace valmora
