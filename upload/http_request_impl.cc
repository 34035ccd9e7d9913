#include "upload/http_request_impl.h"

#include <string.h>

#include <algorithm>

#include "curl/curl.h"
#include "upload/jov_upload/jov_auto_lock.h"

namespace valmora {

namespace {

const char kWebProtocols[] = "http,https";

// CR and LF would end the header and start another.
std::string WithoutLineBreaks(const std::string& text) {
  std::string clean;
  for (char c : text) {
    if (c != '\r' && c != '\n') clean.push_back(c);
  }
  return clean;
}

std::string Trim(const std::string& text) {
  const char kBlanks[] = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

struct HeaderList {
  ~HeaderList() { curl_slist_free_all(list); }
  curl_slist* list = nullptr;
};

}  // namespace

HttpRequestImpl::HttpRequestImpl(const std::string& url,
                                 const std::string& method,
                                 const jov_upload::StringMap& headers,
                                 const std::string& body_text,
                                 const std::string& form_text)
    : body_text_(body_text),
      form_text_(form_text),
      url_(url),
      method_(method),
      headers_(headers) {}

HttpRequestImpl::HttpRequestImpl(const std::string& url,
                                 const std::string& method,
                                 const jov_upload::StringMap& headers,
                                 jov_upload::IJovUploadStream* body)
    : url_(url), method_(method), headers_(headers), body_stream_(body) {}

HttpRequestImpl::~HttpRequestImpl() {
  jov_upload::JovAutoLock lock(&lock_);
  if (handle_) curl_easy_cleanup(handle_);
}

void HttpRequestImpl::Cancel() { cancel_flag_.store(1); }

size_t HttpRequestImpl::OnBody(char* data, size_t size, size_t count,
                               void* self) {
  HttpRequestImpl* request = static_cast<HttpRequestImpl*>(self);
  const size_t bytes = size * count;
  // Any count other than |bytes| ends the transfer with an error.
  if (bytes > kHttpMaxResponseBodyBytes - request->response_body_.size())
    return 0;
  request->response_body_.append(data, bytes);
  return bytes;
}

size_t HttpRequestImpl::OnHeader(char* data, size_t size, size_t count,
                                 void* self) {
  HttpRequestImpl* request = static_cast<HttpRequestImpl*>(self);
  const size_t bytes = size * count;
  if (bytes > kHttpMaxResponseHeaderBytes - request->response_header_bytes_)
    return 0;
  request->response_header_bytes_ += bytes;
  request->response_header_lines_.push_back(std::string(data, bytes));
  return bytes;
}

size_t HttpRequestImpl::OnRead(char* buffer, size_t size, size_t count,
                               void* self) {
  HttpRequestImpl* request = static_cast<HttpRequestImpl*>(self);
  const size_t wanted = size * count;
  if (!request->body_text_.empty()) {
    const size_t rest = request->body_text_.size() - request->read_offset_;
    const size_t n = std::min(wanted, rest);
    memcpy(buffer, request->body_text_.data() + request->read_offset_, n);
    request->read_offset_ += n;
    return n;
  }
  if (!request->body_stream_) return 0;
  const int64_t read = request->body_stream_->Read(buffer, wanted);
  // A body that ends early would be stored as a shorter file: end the
  // transfer as failed instead.
  if (read < 0) return CURL_READFUNC_ABORT;
  return static_cast<size_t>(read);
}

int HttpRequestImpl::OnTransferInfo(void* self, int64_t, int64_t, int64_t,
                                    int64_t) {
  HttpRequestImpl* request = static_cast<HttpRequestImpl*>(self);
  return request->cancel_flag_.load() != 0 ? 1 : 0;
}

bool HttpRequestImpl::SetUpBody(CURL* handle,
                                jov_upload::StringMap* headers) {
  if (method_ == "PUT") {
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
  } else if (method_ != "POST") {
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    return true;
  } else {
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
  }
  // The size is always given to libcurl, so it neither chunks the body nor
  // waits for a "100 Continue", and the Content-Length header matches it.
  curl_off_t size = 0;
  if (!body_text_.empty()) {
    size = static_cast<curl_off_t>(body_text_.size());
    (*headers)["Content-Length"] = std::to_string(size);
  } else if (!form_text_.empty()) {
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, form_text_.c_str());
    size = static_cast<curl_off_t>(form_text_.size());
  } else if (body_stream_) {
    size = body_stream_->Size();
    if (size < 0) return false;
    (*headers)["Content-Length"] = std::to_string(size);
  }
  if (method_ == "PUT")
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, size);
  else
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, size);
  return true;
}

int32_t HttpRequestImpl::Perform() {
  CURL* handle = nullptr;
  {
    jov_upload::JovAutoLock lock(&lock_);
    if (handle_) return kHttpNoHandle;
    handle_ = curl_easy_init();
    if (!handle_) return kHttpNoHandle;
    handle = handle_;
  }
  jov_upload::StringMap headers = headers_;
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &HttpRequestImpl::OnBody);
  curl_easy_setopt(handle, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS,
                   static_cast<long>(CURLSSLOPT_NATIVE_CA));
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, kWebProtocols);
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, kWebProtocols);
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kHttpConnectTimeoutMs);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT,
                   kHttpLowSpeedBytesPerSecond);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kHttpLowSpeedSeconds);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, kHttpTransferTimeoutMs);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION,
                   &HttpRequestImpl::OnTransferInfo);
  const bool body_ready = SetUpBody(handle, &headers);
  curl_easy_setopt(handle, CURLOPT_READDATA, this);
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, &HttpRequestImpl::OnRead);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &HttpRequestImpl::OnHeader);

  HeaderList list;
  for (const auto& header : headers) {
    const std::string line = WithoutLineBreaks(header.first) + ": " +
                             WithoutLineBreaks(header.second);
    curl_slist* grown = curl_slist_append(list.list, line.c_str());
    if (grown) list.list = grown;
  }
  if (method_ == "POST" || method_ == "PUT") {
    // No "Expect: 100-continue": the body follows the head at once.
    curl_slist* grown = curl_slist_append(list.list, "Expect:");
    if (grown) list.list = grown;
  }
  if (list.list) curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list.list);

  transport_code_ = body_ready ? curl_easy_perform(handle)
                               : static_cast<int32_t>(CURLE_READ_ERROR);
  if (transport_code_ == CURLE_OK) {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    http_status_ = static_cast<int32_t>(status);
  }
  {
    jov_upload::JovAutoLock lock(&lock_);
    curl_easy_cleanup(handle_);
    handle_ = nullptr;
  }
  return cancel_flag_.load() != 0 ? kHttpCancelled : transport_code_;
}

bool HttpGlobalInit() { return curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK; }

void HttpGlobalCleanup() { curl_global_cleanup(); }

jov_upload::StringMap ParseHeaderLines(const jov_upload::StringList& lines) {
  jov_upload::StringMap headers;
  for (const std::string& line : lines) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    headers[Trim(line.substr(0, colon))] = Trim(line.substr(colon + 1));
  }
  return headers;
}

}  // namespace valmora
