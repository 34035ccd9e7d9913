// What one HTTP exchange of the upload task asks for, and what came back.

#ifndef UPLOAD_JOV_UPLOAD_JOV_HTTP_RECORDS_H_
#define UPLOAD_JOV_UPLOAD_JOV_HTTP_RECORDS_H_

#include <stdint.h>

#include <string>

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace jov_upload {

class JovHttpRequestInfo : public IJovHttpRequestInfo {
 public:
  // |body| is not owned and may be null.
  JovHttpRequestInfo(const std::string& url, const std::string& method,
                     const StringMap& headers, IJovUploadStream* body);

  void GetUrl(std::string* url) override;
  void GetMethod(std::string* method) override;
  IJovUploadStream* GetBodyStream() override;
  void GetHeaders(StringMap* headers) override;

 private:
  std::string url_;
  std::string method_;
  StringMap headers_;
  IJovUploadStream* body_;
};

class JovHttpRequestResult : public IJovHttpRequestResult {
 public:
  void SetCode(int32_t code) override;
  void SetStatus(int32_t status) override;
  void SetBody(const std::string& body) override;
  void SetHeaders(const StringList& lines) override;
  // Nothing is kept.
  void SetReserved(int32_t value) override;

  int32_t code() const { return code_; }
  int32_t status() const { return status_; }
  const std::string& body() const { return body_; }
  const StringList& header_lines() const { return header_lines_; }

 private:
  int32_t code_ = 0;
  int32_t status_ = 0;
  std::string body_;
  StringList header_lines_;
};

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_JOV_HTTP_RECORDS_H_
