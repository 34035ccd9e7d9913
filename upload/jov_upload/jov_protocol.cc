#include "upload/jov_upload/jov_protocol.h"

#include "json/value.h"
#include "upload/jov_upload/json_reply.h"

namespace jov_upload {

namespace {

const int32_t kCodeOk = 200;

bool ReadServerList(const Json::Value& list, StringList* servers) {
  if (!list.isArray()) return false;
  for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
    std::string server;
    if (!ReadJsonString(list[i], &server)) return false;
    servers->push_back(server);
  }
  return true;
}

}  // namespace

bool JovProtocol::IsOk() const { return parsed_ && code_ == kCodeOk; }

JovLBSIP::JovLBSIP(const std::string& text) { parsed_ = Parse(text, &code_); }

bool JovLBSIP::Parse(const std::string& text, int32_t* code) {
  Json::Value root;
  if (!ParseJsonReply(text, &root)) return false;
  const Json::Value& upload = JsonMember(root, "upload");
  if (upload.isNull()) {
    if (ReadJsonString(JsonMember(root, "Code"), &error_code))
      ReadJsonString(JsonMember(root, "Message"), &error_message);
    return false;
  }
  if (!ReadServerList(upload, &upload_servers)) return false;
  if (!ReadJsonString(JsonMember(root, "lbs"), &lbs)) return false;
  *code = kCodeOk;
  return true;
}

JovUploadOffset::JovUploadOffset(const std::string& text) {
  parsed_ = Parse(text, &code_);
}

bool JovUploadOffset::Parse(const std::string& text, int32_t* code) {
  Json::Value root;
  if (!ParseJsonReply(text, &root)) return false;
  if (!ReadJsonInt64(JsonMember(root, "offset"), &offset)) return false;
  *code = kCodeOk;
  return true;
}

JovPartUpload::JovPartUpload(const std::string& text) {
  parsed_ = Parse(text, &code_);
}

bool JovPartUpload::Parse(const std::string& text, int32_t* code) {
  Json::Value root;
  if (!ParseJsonReply(text, &root)) return false;
  std::string read_request_id;
  std::string read_context;
  std::string read_message;
  int64_t read_offset = 0;
  if (!ReadJsonString(JsonMember(root, "requestId"), &read_request_id) ||
      !ReadJsonString(JsonMember(root, "context"), &read_context) ||
      !ReadJsonString(JsonMember(root, "callbackRetMsg"), &read_message) ||
      !ReadJsonInt64(JsonMember(root, "offset"), &read_offset))
    return false;
  request_id = read_request_id;
  context = read_context;
  callback_reply_message = read_message;
  offset = read_offset;
  *code = kCodeOk;
  return true;
}

JovToken::JovToken(const std::string& text) { parsed_ = Parse(text, &code_); }

bool JovToken::Parse(const std::string& text, int32_t* code) {
  Json::Value root;
  if (!ParseJsonReply(text, &root)) return false;
  if (!ReadJsonInt32(JsonMember(root, "code"), code) || *code != kCodeOk)
    return false;
  const Json::Value& result = JsonMember(root, "result");
  return ReadJsonString(JsonMember(result, "bucket"), &bucket) &&
         ReadJsonString(JsonMember(result, "docId"), &document_id) &&
         ReadJsonString(JsonMember(result, "objectKey"), &object_key) &&
         ReadJsonString(JsonMember(result, "token"), &token);
}

JovTokenUpdate::JovTokenUpdate(const std::string& text) {
  parsed_ = Parse(text, &code_);
}

bool JovTokenUpdate::Parse(const std::string& text, int32_t* code) {
  Json::Value root;
  if (!ParseJsonReply(text, &root)) return false;
  if (!ReadJsonInt32(JsonMember(root, "code"), code) || *code != kCodeOk)
    return false;
  return ReadJsonString(JsonMember(JsonMember(root, "result"), "token"),
                        &token);
}

}  // namespace jov_upload
