#include "upload/jov_upload_callback.h"

#include <stdio.h>

namespace valmora {

namespace {

const int32_t kProgressEvent = 1;

}  // namespace

JovUploadCallback::JovUploadCallback(IJovUploadOwner* owner) : owner_(owner) {}

int32_t JovUploadCallback::OnProgress(int32_t progress,
                                      jov_upload::StringMap* result) {
  if (!owner_) return 1;
  return owner_->OnUploadEvent(kProgressEvent, progress, result);
}

int32_t JovUploadCallback::OnMessage(const char* text) {
  if (text) fputs(text, stdout);
  fputs("\n", stdout);
  fflush(stdout);
  return 1;
}

}  // namespace valmora
