// One HTTP exchange over libcurl's easy interface, for the upload client and
// the token request.
//
// Every transfer is bounded: a connect time-out, a low-speed limit and an
// overall cap, so a silent service cannot hold the crash flow; replies are
// capped in size; only http and https are spoken and no redirect is
// followed. A POST body is framed by its Content-Length alone.

#ifndef UPLOAD_HTTP_REQUEST_IMPL_H_
#define UPLOAD_HTTP_REQUEST_IMPL_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <string>

#include "upload/jov_lock.h"
#include "upload/jov_upload/jov_upload_interfaces.h"

typedef void CURL;

namespace valmora {

// Limits of one transfer. A connection takes at most 10 s on any network
// that works at all. A transfer slower than 1 byte/s for 20 s is dead (the
// storage server answers a part within seconds of its last byte). 300 s lets
// a 2 MiB part through a link of 7 KB/s.
const long kHttpConnectTimeoutMs = 10000;
const long kHttpLowSpeedBytesPerSecond = 1;
const long kHttpLowSpeedSeconds = 20;
const long kHttpTransferTimeoutMs = 300000;
// Replies of these services are small JSON texts.
const size_t kHttpMaxResponseBodyBytes = 1024 * 1024;
const size_t kHttpMaxResponseHeaderBytes = 64 * 1024;

// Perform's result when no transfer handle could be made.
const int32_t kHttpNoHandle = -2;
// Perform's result after Cancel.
const int32_t kHttpCancelled = -1;

class HttpRequestImpl : public jov_upload::IJovHttpRequest {
 public:
  // A non-empty |body_text| is the body; else a non-empty |form_text| is
  // sent as post fields.
  HttpRequestImpl(const std::string& url, const std::string& method,
                  const jov_upload::StringMap& headers,
                  const std::string& body_text, const std::string& form_text);
  // |body| (not owned, may be null) is read for a POST.
  HttpRequestImpl(const std::string& url, const std::string& method,
                  const jov_upload::StringMap& headers,
                  jov_upload::IJovUploadStream* body);
  ~HttpRequestImpl() override;
  HttpRequestImpl(const HttpRequestImpl&) = delete;
  HttpRequestImpl& operator=(const HttpRequestImpl&) = delete;

  // libcurl's result (0 when the exchange completed), or kHttpCancelled.
  int32_t Perform() override;
  // Stops the transfer in flight within about a second.
  void Cancel() override;

  int32_t transport_code() const { return transport_code_; }
  // 0 when no response came.
  int32_t http_status() const { return http_status_; }
  const std::string& response_body() const { return response_body_; }
  const jov_upload::StringList& response_header_lines() const {
    return response_header_lines_;
  }

 private:
  static size_t OnBody(char* data, size_t size, size_t count, void* self);
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnRead(char* buffer, size_t size, size_t count, void* self);
  static int OnTransferInfo(void* self, int64_t, int64_t, int64_t, int64_t);

  // Sets the method and the body; false when the body's size is unknown.
  bool SetUpBody(CURL* handle, jov_upload::StringMap* headers);

  JovLock lock_;
  // Guarded by lock_.
  CURL* handle_ = nullptr;
  jov_upload::StringList response_header_lines_;
  size_t response_header_bytes_ = 0;
  std::string response_body_;
  std::string body_text_;
  std::string form_text_;
  size_t read_offset_ = 0;
  std::atomic<int32_t> cancel_flag_{0};
  int32_t transport_code_ = 0;
  int32_t http_status_ = 0;
  std::string url_;
  std::string method_;
  jov_upload::StringMap headers_;
  jov_upload::IJovUploadStream* body_stream_ = nullptr;
};

// Prepares and releases libcurl's process-wide state; a transfer makes it
// on first use when these are not called.
bool HttpGlobalInit();
void HttpGlobalCleanup();

// Splits "Name: value" header lines at the first ':' (spaces, tabs and the
// line end trimmed) into a map; lines without ':' are skipped.
jov_upload::StringMap ParseHeaderLines(const jov_upload::StringList& lines);

}  // namespace valmora

#endif  // UPLOAD_HTTP_REQUEST_IMPL_H_
