#include "upload/http_request_impl_ex.h"

#include <new>

namespace valmora {

namespace {

struct RequestParts {
  std::string url;
  std::string method;
  jov_upload::StringMap headers;
};

RequestParts ReadRequest(jov_upload::IJovHttpRequestInfo* info) {
  RequestParts parts;
  info->GetUrl(&parts.url);
  info->GetMethod(&parts.method);
  info->GetHeaders(&parts.headers);
  return parts;
}

}  // namespace

HttpRequestImplEx::HttpRequestImplEx(jov_upload::IJovHttpRequestInfo* info,
                                     jov_upload::IJovHttpRequestResult* result)
    : info_(info), result_(result) {
  if (!info_) return;
  const RequestParts parts = ReadRequest(info_);
  request_.reset(new (std::nothrow) HttpRequestImpl(
      parts.url, parts.method, parts.headers, info_->GetBodyStream()));
}

HttpRequestImplEx::HttpRequestImplEx(jov_upload::IJovHttpRequestInfo* info,
                                     jov_upload::IJovHttpRequestResult* result,
                                     const std::string& body_text)
    : info_(info), result_(result) {
  if (!info_) return;
  const RequestParts parts = ReadRequest(info_);
  request_.reset(new (std::nothrow) HttpRequestImpl(
      parts.url, parts.method, parts.headers, body_text, std::string()));
}

int32_t HttpRequestImplEx::Perform() {
  if (!request_) return -1;
  const int32_t code = request_->Perform();
  if (result_) {
    result_->SetCode(request_->transport_code());
    result_->SetStatus(request_->http_status());
    result_->SetBody(request_->response_body());
  }
  return code;
}

void HttpRequestImplEx::Cancel() {
  if (request_) request_->Cancel();
}

jov_upload::IJovHttpRequest* HttpRequestFactory::CreateRequest(
    jov_upload::IJovHttpRequestInfo* info,
    jov_upload::IJovHttpRequestResult* result) {
  return new (std::nothrow) HttpRequestImplEx(info, result);
}

void HttpRequestFactory::DestroyRequest(jov_upload::IJovHttpRequest* request) {
  delete request;
}

}  // namespace valmora
