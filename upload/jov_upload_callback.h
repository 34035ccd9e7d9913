// Where the upload client's progress and messages go: messages to the
// standard output, progress to an optional owner.

#ifndef UPLOAD_JOV_UPLOAD_CALLBACK_H_
#define UPLOAD_JOV_UPLOAD_CALLBACK_H_

#include <stdint.h>

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace valmora {

// Told of an upload's progress; a negative result cancels the upload.
class IJovUploadOwner {
 public:
  // |event| is 1 for progress.
  virtual int32_t OnUploadEvent(int32_t event, int32_t progress,
                                jov_upload::StringMap* result) = 0;

 protected:
  ~IJovUploadOwner() = default;
};

class JovUploadCallback
    : public jov_upload::IJovUploadTask::IJovUploadTaskCallBack {
 public:
  // |owner| may be null.
  explicit JovUploadCallback(IJovUploadOwner* owner);
  virtual ~JovUploadCallback() = default;

  int32_t OnProgress(int32_t progress, jov_upload::StringMap* result) override;
  int32_t OnMessage(const char* text) override;

 private:
  IJovUploadOwner* owner_;
};

}  // namespace valmora

#endif  // UPLOAD_JOV_UPLOAD_CALLBACK_H_
