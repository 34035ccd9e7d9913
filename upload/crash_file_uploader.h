// The door through which the crash handling flow uploads its crash data.

#ifndef UPLOAD_CRASH_FILE_UPLOADER_H_
#define UPLOAD_CRASH_FILE_UPLOADER_H_

#include <string>

#include "upload/jov_upload/jov_upload_interfaces.h"

class CrashFileUploader {
 public:
  // Asks the token service at |information|["host"] (with "cookie") for a
  // token and uploads the file at |path|. True when the whole file is
  // stored. |result| gets "bucket", "objectKey", "context" and "token" once
  // a token came, whatever the upload's outcome, and "error" on failure.
  bool UploadCrashFileToJov(const std::wstring& path,
                            const jov_upload::StringMap& information,
                            jov_upload::StringMap& result);
};

#endif  // UPLOAD_CRASH_FILE_UPLOADER_H_
