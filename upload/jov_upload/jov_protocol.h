// Parsers of the JSON replies of the LBS endpoints, the storage servers and
// the token service. Each parses the text given to its constructor; a reply
// that is not JSON or has the wrong shape leaves it not parsed.

#ifndef UPLOAD_JOV_UPLOAD_JOV_PROTOCOL_H_
#define UPLOAD_JOV_UPLOAD_JOV_PROTOCOL_H_

#include <stdint.h>

#include <string>

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace jov_upload {

class JovProtocol {
 public:
  // Parsed, with the code 200.
  virtual bool IsOk() const;
  virtual bool Parse(const std::string& text, int32_t* code) = 0;

  int32_t code() const { return code_; }
  bool parsed() const { return parsed_; }

 protected:
  JovProtocol() = default;
  ~JovProtocol() = default;

  int32_t code_ = 0;
  bool parsed_ = false;
};

// {"upload": [server URLs], "lbs": "extra LBS URL"}; on refusal the service
// may send {"Code": "...", "Message": "..."} instead.
class JovLBSIP : public JovProtocol {
 public:
  explicit JovLBSIP(const std::string& text);
  bool Parse(const std::string& text, int32_t* code) override;

  std::string lbs;
  StringList upload_servers;
  std::string error_code;
  std::string error_message;
};

// {"offset": n}
class JovUploadOffset : public JovProtocol {
 public:
  explicit JovUploadOffset(const std::string& text);
  bool Parse(const std::string& text, int32_t* code) override;

  int64_t offset = 0;
};

// {"requestId": "", "context": "", "callbackRetMsg": "", "offset": n}
class JovPartUpload : public JovProtocol {
 public:
  explicit JovPartUpload(const std::string& text);
  bool Parse(const std::string& text, int32_t* code) override;

  std::string request_id;
  int64_t offset = 0;
  std::string context;
  std::string callback_reply_message;
};

// {"code": 200, "result": {"bucket", "docId", "objectKey", "token"}}
class JovToken : public JovProtocol {
 public:
  explicit JovToken(const std::string& text);
  bool Parse(const std::string& text, int32_t* code) override;

  std::string bucket;
  std::string document_id;
  std::string object_key;
  std::string token;
};

// {"code": 200, "result": {"token"}}
class JovTokenUpdate : public JovProtocol {
 public:
  explicit JovTokenUpdate(const std::string& text);
  bool Parse(const std::string& text, int32_t* code) override;

  std::string token;
};

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_JOV_PROTOCOL_H_
