#include "upload/jov_upload/json_reply.h"

#include <stdint.h>
#include <string.h>

#include <exception>

#include "json/reader.h"

namespace jov_upload {

namespace {

// 2^63 as a double: the first value past the signed 64-bit range.
const double kInt64Limit = 9223372036854775808.0;

}  // namespace

bool ParseJsonReply(const std::string& text, Json::Value* root) {
  // The reader throws only at its limits (nesting depth); a hostile reply
  // is then just a reply that did not parse.
  try {
    Json::Reader reader;
    return reader.parse(text, *root, true);
  } catch (const std::exception&) {
    return false;
  }
}

const Json::Value& JsonMember(const Json::Value& object, const char* key) {
  static const Json::Value null_value;
  if (!object.isObject()) return null_value;
  const Json::Value* member = object.find(key, key + strlen(key));
  return member ? *member : null_value;
}

bool ReadJsonString(const Json::Value& value, std::string* out) {
  if (!value.isString()) return false;
  *out = value.asString();
  return true;
}

bool ReadJsonInt64(const Json::Value& value, int64_t* out) {
  if (value.isInt64()) {
    *out = value.asInt64();
    return true;
  }
  // A floating value in range (isInt64 covers only the integral ones).
  if (value.isDouble()) {
    const double number = value.asDouble();
    if (number >= -kInt64Limit && number < kInt64Limit) {
      *out = static_cast<int64_t>(number);
      return true;
    }
  }
  return false;
}

bool ReadJsonInt32(const Json::Value& value, int32_t* out) {
  int64_t wide = 0;
  if (!ReadJsonInt64(value, &wide) || wide < INT32_MIN || wide > INT32_MAX)
    return false;
  *out = static_cast<int32_t>(wide);
  return true;
}

}  // namespace jov_upload
