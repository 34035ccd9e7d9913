// The upload token: asked of the token service before every crash-file
// upload, with the file's description and the user's cookie.

#ifndef UPLOAD_WHALE_TOKEN_H_
#define UPLOAD_WHALE_TOKEN_H_

#include <stdint.h>

#include <string>

namespace valmora {

struct JovTokenInfo {
  std::string bucket;
  std::string object_key;
  std::string token;
};

struct JovFileDescription {
  std::string name;
  std::string extension;
  std::string type;
};

// The token service's reply, parsed by the constructor:
// {"code": 200, "data": {"bucket", "objectKey", "token"}}, or another code
// with an optional "message". Parsed also when the code is not 200.
class PJovWhaleToken {
 public:
  explicit PJovWhaleToken(const std::string& text);
  virtual bool Parse(const std::string& text, int32_t* code);

  JovTokenInfo token_info;
  bool parsed = false;
  int32_t code = 0;
  std::string message;
};

// The form body of a token request, its fields in key order, each pair
// closed by "&".
std::string BuildWhaleTokenForm(const JovFileDescription& file);

class WhaleTokenRequester {
 public:
  // |host| is the service's scheme and host, e.g. "http://host".
  WhaleTokenRequester(const std::string& host, const std::string& cookie,
                      const JovFileDescription& file,
                      const JovTokenInfo& token_info);

  // 0 with token_info() replaced; -1 when the service could not be reached
  // on two tries; -2 when its reply was no token.
  int32_t RequestWhaleToken();

  const JovTokenInfo& token_info() const { return token_info_; }
  // "" unless the last request failed.
  const std::string& error_text() const { return error_text_; }

 private:
  JovFileDescription file_;
  JovTokenInfo token_info_;
  std::string cookie_;
  std::string host_;
  std::string error_text_;
};

}  // namespace valmora

#endif  // UPLOAD_WHALE_TOKEN_H_
