#include "upload/crash_file_uploader.h"

#include "upload/jov_upload_params.h"
#include "upload/valmora_crash_upload_task.h"

bool CrashFileUploader::UploadCrashFileToJov(
    const std::wstring& path, const jov_upload::StringMap& information,
    jov_upload::StringMap& result) {
  JovUploadParams params;
  FillJovUploadParams(path, information, &params);
  valmora::ValmoraCrashUploadTask task(params, nullptr);
  return task.Run(result) == 0;
}
