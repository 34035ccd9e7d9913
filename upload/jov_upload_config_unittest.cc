#include "upload/jov_upload_config.h"

#include "gtest/gtest.h"

namespace valmora {
namespace {

TEST(JovUploadConfigTest, StartsWithTheCompiledInEndpointsAndNoServers) {
  JovUploadConfig config;
  jov_upload::StringList list;
  config.GetLbsUrls(&list);
  EXPECT_EQ(4u, list.size());
  config.GetUploadServers(&list);
  EXPECT_TRUE(list.empty());
  config.GetExtraLbsUrls(&list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(2, config.GetRetryCount());
  EXPECT_EQ(1048576, config.GetPartSize());
  config.SetUploadServers({"http://a", "http://b"});
  config.GetUploadServers(&list);
  EXPECT_EQ((jov_upload::StringList{"http://a", "http://b"}), list);
}

TEST(JovUploadConfigTest, PartSizeAdaptsWithinItsBounds) {
  JovUploadConfig config;
  const int32_t halvings[] = {524288, 262144, 262114, 262114};
  for (int32_t expected : halvings) {
    config.AdaptPartSize(-1);
    EXPECT_EQ(expected, config.GetPartSize());
  }
  // Five stored parts change nothing; the sixth grows it by one step.
  for (int i = 0; i < 5; ++i) config.AdaptPartSize(1);
  EXPECT_EQ(262114, config.GetPartSize());
  config.AdaptPartSize(1);
  EXPECT_EQ(524228, config.GetPartSize());
  // A failure resets the run of successes.
  for (int i = 0; i < 5; ++i) config.AdaptPartSize(1);
  config.AdaptPartSize(0);
  EXPECT_EQ(262114, config.GetPartSize());
  for (int i = 0; i < 6 * 20; ++i) config.AdaptPartSize(1);
  EXPECT_EQ(2097152, config.GetPartSize());
}

}  // namespace
}  // namespace valmora
