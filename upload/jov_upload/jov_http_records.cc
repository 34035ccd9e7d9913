#include "upload/jov_upload/jov_http_records.h"

namespace jov_upload {

JovHttpRequestInfo::JovHttpRequestInfo(const std::string& url,
                                       const std::string& method,
                                       const StringMap& headers,
                                       IJovUploadStream* body)
    : url_(url), method_(method), headers_(headers), body_(body) {}

void JovHttpRequestInfo::GetUrl(std::string* url) { *url = url_; }

void JovHttpRequestInfo::GetMethod(std::string* method) { *method = method_; }

IJovUploadStream* JovHttpRequestInfo::GetBodyStream() { return body_; }

void JovHttpRequestInfo::GetHeaders(StringMap* headers) {
  *headers = headers_;
}

void JovHttpRequestResult::SetCode(int32_t code) { code_ = code; }

void JovHttpRequestResult::SetStatus(int32_t status) { status_ = status; }

void JovHttpRequestResult::SetBody(const std::string& body) { body_ = body; }

void JovHttpRequestResult::SetHeaders(const StringList& lines) {
  header_lines_ = lines;
}

void JovHttpRequestResult::SetReserved(int32_t) {}

}  // namespace jov_upload
