// Sends one file to the object-storage service in parts: asks the LBS
// endpoints for storage servers, asks how much of an earlier upload (its
// context) is stored, then posts the rest part by part, failing over
// between servers. Runs on the caller's thread; Cancel may come from
// another.

#ifndef UPLOAD_JOV_UPLOAD_JOV_UPLOAD_TASK_H_
#define UPLOAD_JOV_UPLOAD_JOV_UPLOAD_TASK_H_

#include <stdint.h>

#include <atomic>
#include <string>

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace jov_upload {

class JovHttpRequestResult;
class JovPartFileStream;

// Return codes of Upload.
enum JovUploadCode {
  kJovUploadOk = 0,
  kJovUploadCancelled = 1,
  kJovUploadInvalid = 2,
  kJovUploadStreamNotOpened = 4,
  kJovUploadNoServers = 6,
  kJovUploadNoOffset = 7,
  kJovUploadPartFailed = 8,
  kJovUploadEmptyFile = 9,
  // Of single requests only: the reply could not be used.
  kJovUploadBadReply = 10,
  kJovUploadNoRequest = -1,
};

// Null when |config| or |info| is null. The collaborators are not owned;
// |callback| may be null.
IJovUploadTask* CreateJovUploadTask(
    IJovUploadConfig* config, IJovUploadInfo* info,
    IJovHttpRequestFactory* request_factory, IJovLockFactory* lock_factory,
    IJovUploadTask::IJovUploadTaskCallBack* callback);
void DestroyJovUploadTask(IJovUploadTask* task);

class JovUploadTask : public IJovUploadTask {
 public:
  JovUploadTask(IJovUploadConfig* config, IJovUploadInfo* info,
                IJovHttpRequestFactory* request_factory,
                IJovLockFactory* lock_factory,
                IJovUploadTaskCallBack* callback);
  ~JovUploadTask() override;
  JovUploadTask(const JovUploadTask&) = delete;
  JovUploadTask& operator=(const JovUploadTask&) = delete;

  // Fills |result|["context"] after the part phase, and "error" on failure.
  int32_t Upload(StringMap& result) override;
  void Cancel() override;

 private:
  bool cancelled() const { return cancel_flag_.load() != 0; }
  void Message(const char* format, ...)
      __attribute__((format(gnu_printf, 2, 3)));
  int32_t Fail(StringMap& result, int32_t code);

  // One HTTP exchange; kJovUploadNoRequest when no request could be made.
  int32_t Exchange(const std::string& url, const std::string& method,
                   const StringMap& headers, IJovUploadStream* body,
                   JovHttpRequestResult* result);

  int32_t ValidateUploadTask();
  int32_t QueryUploadServers();
  int32_t RequestUploadServers(const std::string& lbs_url, int32_t* status,
                               std::string* message);
  int32_t QueryUploadOffset();
  int32_t RequestUploadOffset(const std::string& server,
                              std::string* message);
  int32_t UploadParts();
  int32_t UploadPartLoop(IJovUploadStream* stream);
  int32_t UploadPart(const std::string& server, IJovUploadStream* stream,
                     int32_t* status, bool* keep_going, bool* retry_same);
  std::string PartContentType();

  IJovUploadConfig* config_;
  IJovUploadInfo* info_;
  IJovUploadTaskCallBack* callback_;
  IJovHttpRequestFactory* request_factory_;
  IJovLockFactory* lock_factory_;
  // The exchange in flight, for Cancel; guarded by task_lock_.
  IJovHttpRequest* current_request_ = nullptr;
  IJovLock* task_lock_ = nullptr;
  std::string bucket_;
  std::string object_key_;
  std::string token_;
  std::string context_;
  int64_t offset_ = 0;
  int64_t file_size_ = 0;
  std::atomic<int32_t> cancel_flag_{0};
  // Nothing fills it: failures are told to the callback.
  std::string error_text_;
  // What the progress callback sees.
  StringMap result_copy_;
};

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_JOV_UPLOAD_TASK_H_
