// Careful reads of JSON replies from the network: nothing here throws,
// whatever the text's shape, and numbers are taken only when they fit.

#ifndef UPLOAD_JOV_UPLOAD_JSON_REPLY_H_
#define UPLOAD_JOV_UPLOAD_JSON_REPLY_H_

#include <stdint.h>

#include <string>

#include "json/value.h"

namespace jov_upload {

// False for a syntax error or a text beyond the reader's limits.
bool ParseJsonReply(const std::string& text, Json::Value* root);

// The member |key| of |object|; null when |object| is no object or lacks it.
const Json::Value& JsonMember(const Json::Value& object, const char* key);

// Each is false, leaving |out| alone, when |value| is null or of another
// type. A number must be integral or floating and fit the integer.
bool ReadJsonString(const Json::Value& value, std::string* out);
bool ReadJsonInt64(const Json::Value& value, int64_t* out);
bool ReadJsonInt32(const Json::Value& value, int32_t* out);

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_JSON_REPLY_H_
