#include "upload/jov_upload/jov_protocol.h"

#include <string>

#include "gtest/gtest.h"

namespace jov_upload {
namespace {

// Replies of every shape a hostile or broken service might send. None may
// parse as a valid offset, part or LBS reply, and none may throw.
const char* const kHostileReplies[] = {
    "",
    "not json",
    "[]",
    "123",
    "\"x\"",
    "null",
    "{\"offset\":1e300}",
    "{\"offset\":-1e300}",
    "{\"offset\":18446744073709551615}",
    "{\"offset\":\"12\"}",
    "{\"offset\":[1]}",
    "{\"offset\":{}}",
    "{\"upload\":{},\"lbs\":\"x\"}",
    "{\"upload\":[null],\"lbs\":\"x\"}",
    "{\"upload\":[\"a\",7],\"lbs\":\"x\"}",
    "{\"upload\":[\"a\"],\"lbs\":7}",
    "{\"upload\":[\"a\"]}",
    "{\"code\":4294967496,\"result\":{\"token\":\"t\"}}",
};

TEST(JovProtocolTest, HostileRepliesAreNotParsed) {
  // Nested deeper than the reader allows: it throws inside, we must not.
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  std::vector<std::string> replies(std::begin(kHostileReplies),
                                   std::end(kHostileReplies));
  replies.push_back(deep);
  replies.push_back("{\"offset\":" + deep + "}");
  for (const std::string& text : replies) {
    SCOPED_TRACE(text.substr(0, 60));
    EXPECT_FALSE(JovLBSIP(text).IsOk());
    EXPECT_FALSE(JovUploadOffset(text).IsOk());
    EXPECT_FALSE(JovPartUpload(text).IsOk());
    EXPECT_FALSE(JovToken(text).IsOk());
    EXPECT_FALSE(JovTokenUpdate(text).IsOk());
  }
}

TEST(JovProtocolTest, LbsReply) {
  JovLBSIP reply("{\"upload\":[\"http://a\",\"https://b\"],\"lbs\":\"http://l\"}");
  EXPECT_TRUE(reply.IsOk());
  EXPECT_EQ(200, reply.code());
  EXPECT_EQ((StringList{"http://a", "https://b"}), reply.upload_servers);
  EXPECT_EQ("http://l", reply.lbs);

  JovLBSIP empty("{\"upload\":[],\"lbs\":\"\"}");
  EXPECT_TRUE(empty.IsOk());
  EXPECT_TRUE(empty.upload_servers.empty());

  JovLBSIP refused("{\"Code\":\"NoSuchBucket\",\"Message\":\"gone\"}");
  EXPECT_FALSE(refused.parsed());
  EXPECT_EQ("NoSuchBucket", refused.error_code);
  EXPECT_EQ("gone", refused.error_message);
}

TEST(JovProtocolTest, OffsetAndPartReplies) {
  JovUploadOffset offset("{\"offset\":5000000000}");
  EXPECT_TRUE(offset.IsOk());
  EXPECT_EQ(5000000000LL, offset.offset);
  EXPECT_EQ(12, JovUploadOffset("{\"offset\":12.9}").offset);

  JovPartUpload part(
      "{\"requestId\":\"r1\",\"context\":\"c/2\",\"callbackRetMsg\":\"ok\","
      "\"offset\":1048576}");
  EXPECT_TRUE(part.IsOk());
  EXPECT_EQ("r1", part.request_id);
  EXPECT_EQ("c/2", part.context);
  EXPECT_EQ("ok", part.callback_reply_message);
  EXPECT_EQ(1048576, part.offset);
  EXPECT_FALSE(
      JovPartUpload("{\"requestId\":\"r\",\"context\":\"c\",\"offset\":1}")
          .parsed());
}

TEST(JovProtocolTest, TokenReplies) {
  JovToken token(
      "{\"code\":200,\"result\":{\"bucket\":\"b\",\"docId\":\"d\","
      "\"objectKey\":\"k\",\"token\":\"t\"}}");
  EXPECT_TRUE(token.IsOk());
  EXPECT_EQ("d", token.document_id);
  EXPECT_EQ("t", token.token);
  JovToken denied("{\"code\":401,\"result\":{}}");
  EXPECT_FALSE(denied.parsed());
  EXPECT_EQ(401, denied.code());
  EXPECT_TRUE(JovTokenUpdate("{\"code\":200,\"result\":{\"token\":\"n\"}}")
                  .IsOk());
  EXPECT_FALSE(JovTokenUpdate("{\"code\":200,\"result\":[]}").IsOk());
}

}  // namespace
}  // namespace jov_upload
