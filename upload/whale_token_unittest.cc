#include "upload/whale_token.h"

#include "gtest/gtest.h"
#include "upload/jov_upload_params.h"

namespace valmora {
namespace {

TEST(WhaleTokenTest, FormBodyListsItsFieldsInKeyOrder) {
  JovFileDescription file;
  file.name = "crash_data_5";
  file.extension = "zip";
  file.type = "package";
  EXPECT_EQ("bizKey=b7e41c90&bucket=qvcrash&filename=crash_data_5.zip&"
            "type=package&",
            BuildWhaleTokenForm(file));
}

TEST(WhaleTokenTest, ReplyParsing) {
  struct Case {
    const char* text;
    bool parsed;
    int32_t code;
    const char* object_key;
    const char* message;
  } cases[] = {
      {"{\"code\":200,\"data\":{\"bucket\":\"b\",\"objectKey\":\"k\","
       "\"token\":\"t\"}}",
       true, 200, "k", ""},
      {"{\"code\":401,\"message\":\"login first\"}", true, 401, "",
       "login first"},
      {"{\"code\":401}", true, 401, "", ""},
      {"{\"code\":200,\"data\":{\"bucket\":\"b\",\"token\":\"t\"}}", false,
       200, "", ""},
      {"{\"code\":200,\"data\":\"x\"}", false, 200, "", ""},
      {"{\"code\":\"200\"}", false, 0, "", ""},
      {"{\"code\":4294967496}", false, 0, "", ""},
      {"[200]", false, 0, "", ""},
      {"null", false, 0, "", ""},
      {"<html>", false, 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    PJovWhaleToken reply(c.text);
    EXPECT_EQ(c.parsed, reply.parsed);
    EXPECT_EQ(c.code, reply.code);
    EXPECT_EQ(c.object_key, reply.token_info.object_key);
    EXPECT_EQ(c.message, reply.message);
  }
}

TEST(JovUploadParamsTest, CopiesOnlyTheKeysItKnows) {
  JovUploadParams params;
  const jov_upload::StringMap information = {
      {"context", ""}, {"cookie", "uid=1"}, {"host", "http://h"},
      {"bucket", "b"}, {"other", "x"}};
  EXPECT_EQ(4, FillJovUploadParams(L"C:\\a.zip", information, &params));
  EXPECT_EQ(L"C:\\a.zip", params.file_path);
  EXPECT_EQ("b", params.bucket);
  EXPECT_EQ("", params.object_key);
  EXPECT_EQ("", params.token);
  EXPECT_EQ("uid=1", params.cookie);
  EXPECT_EQ("http://h", params.host);
}

}  // namespace
}  // namespace valmora
