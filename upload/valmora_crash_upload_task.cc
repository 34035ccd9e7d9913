#include "upload/valmora_crash_upload_task.h"

#include <new>

#include "upload/jov_upload/jov_auto_lock.h"
#include "upload/jov_upload/jov_upload_task.h"

namespace valmora {

namespace {

const int32_t kSetupIncomplete = -1;
const int32_t kNoUploadTask = -2;

}  // namespace

ValmoraCrashUploadTask::ValmoraCrashUploadTask(const JovUploadParams& params,
                                               IJovUploadOwner* owner)
    : params_(params),
      config_(new (std::nothrow) JovUploadConfig()),
      file_info_(new (std::nothrow) JovUploadFileInfo(params, true)),
      callback_(new (std::nothrow) JovUploadCallback(owner)),
      request_factory_(new (std::nothrow) HttpRequestFactory()),
      lock_factory_(new (std::nothrow) JovLockFactory()),
      lock_(new (std::nothrow) JovLock()) {
  if (!file_info_) return;
  JovFileDescription file;
  file.name = file_info_->GetName();
  file.extension = file_info_->GetExtension();
  file.type = file_info_->GetType();
  JovTokenInfo token_info;
  token_info.bucket = params_.bucket;
  token_info.object_key = params_.object_key;
  token_info.token = params_.token;
  token_requester_.reset(new (std::nothrow) WhaleTokenRequester(
      params_.host, params_.cookie, file, token_info));
}

ValmoraCrashUploadTask::~ValmoraCrashUploadTask() {
  jov_upload::DestroyJovUploadTask(upload_task_);
}

int32_t ValmoraCrashUploadTask::CheckSetup() {
  if (params_.file_path.empty() || !config_ || !file_info_ || !callback_ ||
      !request_factory_ || !lock_factory_ || !token_requester_ || !lock_)
    return kSetupIncomplete;
  return 0;
}

int32_t ValmoraCrashUploadTask::Run(jov_upload::StringMap& result) {
  int32_t code = CheckSetup();
  if (code != 0) return code;
  if (cancelled()) return jov_upload::kJovUploadCancelled;
  code = token_requester_->RequestWhaleToken();
  if (code != 0) {
    if (!token_requester_->error_text().empty())
      result.insert(std::make_pair("error", token_requester_->error_text()));
    return code;
  }
  if (cancelled()) return jov_upload::kJovUploadCancelled;

  const JovTokenInfo& token = token_requester_->token_info();
  params_.bucket = token.bucket;
  params_.object_key = token.object_key;
  params_.token = token.token;
  file_info_->SetValue(jov_upload::kJovValueBucket, params_.bucket);
  file_info_->SetValue(jov_upload::kJovValueObjectKey, params_.object_key);
  file_info_->SetValue(jov_upload::kJovValueContext, params_.context);
  file_info_->SetValue(jov_upload::kJovValueToken, params_.token);
  result["bucket"] = params_.bucket;
  result["objectKey"] = params_.object_key;
  result["context"] = params_.context;
  result["token"] = params_.token;

  jov_upload::IJovUploadTask* task = nullptr;
  {
    jov_upload::JovAutoLock lock(lock_.get());
    upload_task_ = jov_upload::CreateJovUploadTask(
        config_.get(), file_info_.get(), request_factory_.get(),
        lock_factory_.get(), callback_.get());
    task = upload_task_;
  }
  if (!task) {
    result["error"] = "Memory exception";
    return kNoUploadTask;
  }
  code = task->Upload(result);
  const auto context = result.find("context");
  if (context != result.end()) params_.context = context->second;
  file_info_->SetValue(jov_upload::kJovValueContext, params_.context);
  return code;
}

void ValmoraCrashUploadTask::Cancel() {
  cancel_flag_.store(1);
  jov_upload::JovAutoLock lock(lock_.get());
  if (upload_task_) upload_task_->Cancel();
}

JovUploadParams ValmoraCrashUploadTask::GetParams() { return params_; }

bool ValmoraCrashUploadTask::IsBackgroundTask() { return false; }

}  // namespace valmora
