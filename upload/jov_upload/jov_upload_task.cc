#include "upload/jov_upload/jov_upload_task.h"

#include <stdarg.h>

#include <algorithm>
#include <new>

#include "upload/jov_upload/format_string.h"
#include "upload/jov_upload/jov_auto_lock.h"
#include "upload/jov_upload/jov_http_records.h"
#include "upload/jov_upload/jov_protocol.h"
#include "upload/jov_upload/jov_streams.h"
#include "upload/jov_upload/jov_upload_urls.h"

namespace jov_upload {

namespace {

const char kProtocolVersion[] = "1.0";
const int32_t kHttpOk = 200;
const int32_t kHttpBadRequest = 400;
const int32_t kHttpInvalidToken = 403;
const int32_t kHttpNotFound = 404;
const int32_t kHttpServerError = 500;
const int32_t kHttpCallbackError = 520;
const int32_t kStatusNextServer1 = 799;
const int32_t kStatusNextServer2 = 899;
// Tries of one part on one server, whatever the configured retry count.
const int kPartTriesPerServer = 2;
const int32_t kProgressDone = 1000;

StringList OnlyWebUrls(const StringList& urls) {
  StringList web;
  for (const std::string& url : urls) {
    if (IsWebUrl(url)) web.push_back(url);
  }
  return web;
}

}  // namespace

IJovUploadTask* CreateJovUploadTask(
    IJovUploadConfig* config, IJovUploadInfo* info,
    IJovHttpRequestFactory* request_factory, IJovLockFactory* lock_factory,
    IJovUploadTask::IJovUploadTaskCallBack* callback) {
  if (!config || !info) return nullptr;
  return new (std::nothrow)
      JovUploadTask(config, info, request_factory, lock_factory, callback);
}

void DestroyJovUploadTask(IJovUploadTask* task) { delete task; }

JovUploadTask::JovUploadTask(IJovUploadConfig* config, IJovUploadInfo* info,
                             IJovHttpRequestFactory* request_factory,
                             IJovLockFactory* lock_factory,
                             IJovUploadTaskCallBack* callback)
    : config_(config),
      info_(info),
      callback_(callback),
      request_factory_(request_factory),
      lock_factory_(lock_factory) {
  if (lock_factory_) task_lock_ = lock_factory_->CreateLock();
  bucket_ = info_->GetValue(kJovValueBucket);
  token_ = info_->GetValue(kJovValueToken);
  object_key_ = info_->GetValue(kJovValueObjectKey);
  context_ = info_->GetValue(kJovValueContext);
}

JovUploadTask::~JovUploadTask() {
  if (current_request_ && request_factory_)
    request_factory_->DestroyRequest(current_request_);
  if (lock_factory_ && task_lock_) lock_factory_->DestroyLock(task_lock_);
}

int32_t JovUploadTask::Upload(StringMap& result) {
  result_copy_ = result;
  int32_t code = ValidateUploadTask();
  if (code != kJovUploadOk) return Fail(result, code);
  if (cancelled()) return kJovUploadCancelled;
  code = QueryUploadServers();
  if (code != kJovUploadOk) return Fail(result, code);
  if (cancelled()) return kJovUploadCancelled;
  if (!context_.empty()) {
    code = QueryUploadOffset();
    if (code != kJovUploadOk) return Fail(result, code);
  } else {
    offset_ = 0;
  }
  if (cancelled()) return kJovUploadCancelled;
  code = UploadParts();
  result["context"] = context_;
  if (code != kJovUploadOk) return Fail(result, code);
  return code;
}

void JovUploadTask::Cancel() {
  cancel_flag_.store(1);
  JovAutoLock lock(task_lock_);
  if (current_request_) current_request_->Cancel();
}

void JovUploadTask::Message(const char* format, ...) {
  if (!callback_) return;
  va_list args;
  va_start(args, format);
  const std::string text = FormatStringV(format, args);
  va_end(args);
  callback_->OnMessage(text.c_str());
}

int32_t JovUploadTask::Fail(StringMap& result, int32_t code) {
  result.insert(std::make_pair("error", error_text_));
  return code;
}

int32_t JovUploadTask::Exchange(const std::string& url,
                                const std::string& method,
                                const StringMap& headers,
                                IJovUploadStream* body,
                                JovHttpRequestResult* result) {
  JovHttpRequestInfo info(url, method, headers, body);
  IJovHttpRequest* request = nullptr;
  {
    JovAutoLock lock(task_lock_);
    request = request_factory_->CreateRequest(&info, result);
    if (!request) return kJovUploadNoRequest;
    current_request_ = request;
    // A Cancel that came just before still reaches this exchange.
    if (cancelled()) request->Cancel();
  }
  const int32_t code = request->Perform();
  JovAutoLock lock(task_lock_);
  request_factory_->DestroyRequest(request);
  current_request_ = nullptr;
  return code;
}

int32_t JovUploadTask::ValidateUploadTask() {
  if (!config_ || !info_ || !request_factory_ || !lock_factory_)
    return kJovUploadInvalid;
  if (!info_->GetStream() || info_->GetName().empty() ||
      info_->GetExtension().empty() ||
      info_->GetValue(kJovValueToken).empty())
    return kJovUploadInvalid;
  return kJovUploadOk;
}

int32_t JovUploadTask::QueryUploadServers() {
  StringList urls;
  config_->GetLbsUrls(&urls);
  StringList extra;
  config_->GetExtraLbsUrls(&extra);
  urls.splice(urls.end(), extra);

  int32_t result_code = kJovUploadNoServers;
  StringList servers;
  for (const std::string& url : urls) {
    int32_t status = 0;
    std::string message;
    const int32_t code = RequestUploadServers(url, &status, &message);
    if (code < 0) return cancelled() ? kJovUploadCancelled : code;
    servers.clear();
    config_->GetUploadServers(&servers);
    if (code == 0 && status == kHttpOk && !servers.empty())
      return kJovUploadOk;
    Message("Get Upload IPS Failed code (%d), status code(%d), msg:%s", code,
            status, message.c_str());
    if (cancelled()) {
      result_code = kJovUploadCancelled;
      break;
    }
  }
  servers.clear();
  config_->GetUploadServers(&servers);
  if (servers.empty()) return result_code;
  // Ends in a full-width full stop (code page 936).
  Message("Get UploadIPS Failed, Use Last Upload Server ips\xA1\xA3");
  return kJovUploadOk;
}

int32_t JovUploadTask::RequestUploadServers(const std::string& lbs_url,
                                            int32_t* status,
                                            std::string* message) {
  JovHttpRequestResult result;
  int32_t code = Exchange(BuildLbsUrl(lbs_url, kProtocolVersion, bucket_),
                          "GET", StringMap(), nullptr, &result);
  *status = result.status();
  if (*status != kHttpOk) return code;
  JovLBSIP reply(result.body());
  if (!reply.IsOk()) {
    *message = result.body();
    return kJovUploadBadReply;
  }
  // Only web addresses: a reply cannot send the client anywhere else.
  const StringList servers = OnlyWebUrls(reply.upload_servers);
  if (!servers.empty()) config_->SetUploadServers(servers);
  if (!reply.lbs.empty() && IsWebUrl(reply.lbs))
    config_->SetExtraLbsUrls(StringList{reply.lbs});
  return code;
}

int32_t JovUploadTask::QueryUploadOffset() {
  StringList servers;
  config_->GetUploadServers(&servers);
  for (const std::string& server : servers) {
    // The count grows before it is compared: a retry count of N makes N - 1
    // requests per server.
    int attempt = 0;
    for (;;) {
      if (cancelled()) break;
      ++attempt;
      if (attempt >= config_->GetRetryCount()) break;
      std::string message;
      if (RequestUploadOffset(server, &message) == 0) return kJovUploadOk;
    }
  }
  return kJovUploadNoOffset;
}

int32_t JovUploadTask::RequestUploadOffset(const std::string& server,
                                           std::string* message) {
  StringMap headers;
  headers["x-jov-token"] = token_;
  JovHttpRequestResult result;
  int32_t code = Exchange(
      BuildOffsetQueryUrl(server, bucket_, object_key_, context_,
                          kProtocolVersion),
      "GET", headers, nullptr, &result);
  const int32_t status = result.status();
  if (status == kHttpOk) {
    JovUploadOffset reply(result.body());
    offset_ = reply.IsOk() ? reply.offset : 0;
  } else if (status == kHttpNotFound) {
    Message("Context is Expired restart upload from begin.");
    offset_ = 0;
  } else {
    if (result.code() == 0) {
      code = kJovUploadBadReply;
      *message = result.body();
    }
    // "Msg" shows the request's outcome code.
    Message("UpdateOffset Exception Http Failed(%d), Status Code(%d), "
            "Msg(%d)",
            result.code(), status, code);
  }
  return code;
}

int32_t JovUploadTask::UploadParts() {
  IJovUploadStream* stream = info_->GetStream();
  if (!stream || stream->Open() != 0) return kJovUploadStreamNotOpened;
  const int32_t code = UploadPartLoop(stream);
  stream->Close();
  return code;
}

int32_t JovUploadTask::UploadPartLoop(IJovUploadStream* stream) {
  StringList servers;
  config_->GetUploadServers(&servers);
  file_size_ = stream->Size();
  if (file_size_ < 1) return kJovUploadEmptyFile;
  // A stored offset the file cannot have means the service's record is not
  // this file's: start again.
  if (offset_ < 0 || offset_ > file_size_) offset_ = 0;
  for (;;) {
    if (offset_ >= file_size_) {
      if (callback_) callback_->OnProgress(kProgressDone, &result_copy_);
      return kJovUploadOk;
    }
    if (callback_) {
      const int32_t progress =
          static_cast<int32_t>(offset_ * kProgressDone / file_size_);
      if (callback_->OnProgress(progress, &result_copy_) < 0)
        return kJovUploadCancelled;
    }
    if (cancelled()) return kJovUploadCancelled;
    bool stored = false;
    for (const std::string& server : servers) {
      for (int i = 0; i < kPartTriesPerServer && !stored; ++i) {
        if (cancelled()) continue;
        int32_t status = 0;
        bool keep_going = true;
        bool retry_same = true;
        const int32_t code =
            UploadPart(server, stream, &status, &keep_going, &retry_same);
        if (code == 0) {
          stored = true;
        } else if (!keep_going) {
          return kJovUploadPartFailed;
        } else if (!retry_same) {
          break;
        }
      }
      if (stored) break;
    }
    if (!stored)
      return cancelled() ? kJovUploadCancelled : kJovUploadPartFailed;
  }
}

std::string JovUploadTask::PartContentType() {
  const std::string type = info_->GetType();
  if (type == "image") return "image/" + info_->GetExtension();
  if (type == "package") return "package/" + info_->GetExtension();
  return std::string();
}

int32_t JovUploadTask::UploadPart(const std::string& server,
                                  IJovUploadStream* stream, int32_t* status,
                                  bool* keep_going, bool* retry_same) {
  // A part of at least one byte, so every stored part makes progress.
  const int64_t part_size = std::max<int64_t>(config_->GetPartSize(), 1);
  const bool complete = offset_ + part_size >= file_size_;
  const int64_t length = complete ? file_size_ - offset_ : part_size;
  JovPartFileStream body(stream, offset_, length);
  const std::string url = BuildPartUploadUrl(
      server, bucket_, object_key_, offset_, complete, context_,
      kProtocolVersion);
  const StringMap headers = BuildUploadHeaders(
      token_, length, PartContentType(), std::string(), std::string());

  *keep_going = true;
  *retry_same = true;
  JovHttpRequestResult result;
  int32_t code = Exchange(url, "POST", headers, &body, &result);
  *status = result.status();
  bool stored = false;
  switch (*status) {
    case kHttpOk: {
      JovPartUpload reply(result.body());
      if (reply.IsOk() && reply.offset == offset_ + length) {
        config_->AdaptPartSize(1);
        context_ = reply.context;
        offset_ = reply.offset;
        result_copy_["context"] = context_;
        code = 0;
        stored = true;
      } else {
        code = kJovUploadBadReply;
        *keep_going = false;
      }
      break;
    }
    case kHttpCallbackError:
      Message("UploadOffset Faile Http Failed Callback error(%d)", *status);
      *keep_going = false;
      break;
    case kHttpBadRequest:
      Message("UploadOffset Faile Http Failed Bad Request(%d)", *status);
      *keep_going = false;
      break;
    case kHttpInvalidToken:
      Message("UploadOffset Faile Http Failed Invalid Token(%d)", *status);
      *keep_going = false;
      break;
    case kHttpServerError:
    case kStatusNextServer1:
    case kStatusNextServer2:
    case 0:
      config_->AdaptPartSize(-1);
      *retry_same = false;
      break;
    default:
      config_->AdaptPartSize(-1);
      Message("UploadOffset Failed Http Status Code(%d) Code(%d)", *status,
              code);
      break;
  }
  if (!stored) {
    Message("UploadOffset Failed No Retry Host(%s) Http Status Code(%d) "
            "Code(%d)",
            server.c_str(), *status, code);
    if (code == 0) code = kJovUploadPartFailed;
  }
  return code;
}

}  // namespace jov_upload
