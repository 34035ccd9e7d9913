#include "upload/whale_token.h"

#include <map>

#include "json/value.h"
#include "upload/http_request_impl.h"
#include "upload/jov_endpoints.h"
#include "upload/jov_upload/format_string.h"
#include "upload/jov_upload/json_reply.h"

namespace valmora {

namespace {

const char kTokenPath[] = "/api/jov/token/whalealloc";
// The service's key for this product.
const char kBizKey[] = "b7e41c90";
const int32_t kCodeOk = 200;
const int kTokenTries = 2;

}  // namespace

PJovWhaleToken::PJovWhaleToken(const std::string& text) {
  parsed = Parse(text, &code);
}

bool PJovWhaleToken::Parse(const std::string& text, int32_t* code_out) {
  Json::Value root;
  if (!jov_upload::ParseJsonReply(text, &root) || !root.isObject())
    return false;
  if (!jov_upload::ReadJsonInt32(jov_upload::JsonMember(root, "code"),
                                 code_out))
    return false;
  if (*code_out != kCodeOk) {
    jov_upload::ReadJsonString(jov_upload::JsonMember(root, "message"),
                               &message);
    return true;
  }
  const Json::Value& data = jov_upload::JsonMember(root, "data");
  JovTokenInfo info;
  if (!jov_upload::ReadJsonString(jov_upload::JsonMember(data, "bucket"),
                                  &info.bucket) ||
      !jov_upload::ReadJsonString(jov_upload::JsonMember(data, "objectKey"),
                                  &info.object_key) ||
      !jov_upload::ReadJsonString(jov_upload::JsonMember(data, "token"),
                                  &info.token))
    return false;
  token_info = info;
  return true;
}

std::string BuildWhaleTokenForm(const JovFileDescription& file) {
  std::map<std::string, std::string> fields;
  fields["filename"] = file.name + "." + file.extension;
  fields["type"] = file.type;
  fields["bucket"] = GetJovCrashBucket();
  fields["bizKey"] = kBizKey;
  std::string form;
  for (const auto& field : fields)
    form += field.first + "=" + field.second + "&";
  return form;
}

WhaleTokenRequester::WhaleTokenRequester(const std::string& host,
                                         const std::string& cookie,
                                         const JovFileDescription& file,
                                         const JovTokenInfo& token_info)
    : file_(file), token_info_(token_info), cookie_(cookie), host_(host) {}

int32_t WhaleTokenRequester::RequestWhaleToken() {
  jov_upload::StringMap headers;
  headers["Cookie"] = cookie_;
  const std::string url = host_ + kTokenPath;
  const std::string form = BuildWhaleTokenForm(file_);
  std::string body;
  bool sent = false;
  for (int i = 0; i < kTokenTries && !sent; ++i) {
    HttpRequestImpl request(url, "POST", headers, std::string(), form);
    if (request.Perform() == 0) {
      sent = true;
      body = request.response_body();
    } else {
      error_text_ = jov_upload::FormatString("Send request error:%d",
                                             request.http_status());
    }
  }
  if (!sent) return -1;
  error_text_.clear();
  const PJovWhaleToken reply(body);
  if (reply.parsed && reply.code == kCodeOk) {
    token_info_ = reply.token_info;
    return 0;
  }
  error_text_ =
      jov_upload::FormatString("Request token error:%s", body.c_str());
  return -2;
}

}  // namespace valmora
