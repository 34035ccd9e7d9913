// The upload client's HTTP requests: an HttpRequestImpl that takes its
// request from a request record and reports into a result record.

#ifndef UPLOAD_HTTP_REQUEST_IMPL_EX_H_
#define UPLOAD_HTTP_REQUEST_IMPL_EX_H_

#include <memory>
#include <string>

#include "upload/http_request_impl.h"
#include "upload/jov_upload/jov_upload_interfaces.h"

namespace valmora {

class HttpRequestImplEx : public jov_upload::IJovHttpRequest {
 public:
  // Neither record is owned; both outlive the request.
  HttpRequestImplEx(jov_upload::IJovHttpRequestInfo* info,
                    jov_upload::IJovHttpRequestResult* result);
  // Sends |body_text| in place of the record's body stream.
  HttpRequestImplEx(jov_upload::IJovHttpRequestInfo* info,
                    jov_upload::IJovHttpRequestResult* result,
                    const std::string& body_text);

  // Also fills the result record: transport code, HTTP status, body.
  int32_t Perform() override;
  void Cancel() override;

 private:
  std::unique_ptr<HttpRequestImpl> request_;
  jov_upload::IJovHttpRequestInfo* info_;
  jov_upload::IJovHttpRequestResult* result_;
};

class HttpRequestFactory : public jov_upload::IJovHttpRequestFactory {
 public:
  jov_upload::IJovHttpRequest* CreateRequest(
      jov_upload::IJovHttpRequestInfo* info,
      jov_upload::IJovHttpRequestResult* result) override;
  void DestroyRequest(jov_upload::IJovHttpRequest* request) override;
};

}  // namespace valmora

#endif  // UPLOAD_HTTP_REQUEST_IMPL_EX_H_
