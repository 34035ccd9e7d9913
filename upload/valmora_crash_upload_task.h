// One crash-file upload: asks the token service for a token, then runs the
// object-storage upload with the product's configuration, file, transport
// and locks.

#ifndef UPLOAD_VALMORA_CRASH_UPLOAD_TASK_H_
#define UPLOAD_VALMORA_CRASH_UPLOAD_TASK_H_

#include <stdint.h>

#include <atomic>
#include <memory>

#include "upload/http_request_impl_ex.h"
#include "upload/jov_lock.h"
#include "upload/jov_upload/jov_upload_interfaces.h"
#include "upload/jov_upload_callback.h"
#include "upload/jov_upload_config.h"
#include "upload/jov_upload_file_info.h"
#include "upload/jov_upload_params.h"
#include "upload/whale_token.h"

namespace valmora {

class IValmoraFileUploadTask {
 public:
  virtual int32_t Run(jov_upload::StringMap& result) = 0;
  // May come from another thread while Run runs.
  virtual void Cancel() = 0;
  virtual JovUploadParams GetParams() = 0;
  // Whether the task keeps going in the background after Run.
  virtual bool IsBackgroundTask() = 0;

 protected:
  ~IValmoraFileUploadTask() = default;
};

class ValmoraCrashUploadTask : public IValmoraFileUploadTask {
 public:
  // |owner| is told of the progress; may be null.
  ValmoraCrashUploadTask(const JovUploadParams& params,
                         IJovUploadOwner* owner);
  virtual ~ValmoraCrashUploadTask();
  ValmoraCrashUploadTask(const ValmoraCrashUploadTask&) = delete;
  ValmoraCrashUploadTask& operator=(const ValmoraCrashUploadTask&) = delete;

  // 0 when the file is stored; -1 setup incomplete or token service
  // unreachable; -2 no token in the reply, or no upload task; 1 cancelled;
  // else the upload's code. |result| gets "bucket", "objectKey", "context"
  // and "token" once a token came, and "error" on failure.
  int32_t Run(jov_upload::StringMap& result) override;
  void Cancel() override;
  JovUploadParams GetParams() override;
  bool IsBackgroundTask() override;
  // 0 when every collaborator exists and a file is named, else -1.
  virtual int32_t CheckSetup();

 private:
  bool cancelled() const { return cancel_flag_.load() != 0; }

  JovUploadParams params_;
  std::atomic<int32_t> cancel_flag_{0};
  std::unique_ptr<JovUploadConfig> config_;
  std::unique_ptr<JovUploadFileInfo> file_info_;
  std::unique_ptr<JovUploadCallback> callback_;
  std::unique_ptr<HttpRequestFactory> request_factory_;
  std::unique_ptr<JovLockFactory> lock_factory_;
  std::unique_ptr<WhaleTokenRequester> token_requester_;
  // Guarded by lock_, for Cancel.
  jov_upload::IJovUploadTask* upload_task_ = nullptr;
  std::unique_ptr<JovLock> lock_;
};

}  // namespace valmora

#endif  // UPLOAD_VALMORA_CRASH_UPLOAD_TASK_H_
