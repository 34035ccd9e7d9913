#include "quillavera_crash_reporter/crash_data_upload.h"

#include "base/logging.h"
#include "upload/crash_file_uploader.h"
#include "upload/text_helpers.h"

namespace {

const int kUploadAttempts = 2;

// Stored, with an object key to point the report at.
bool UploadOnce(const std::wstring& archive_path,
                const jov_upload::StringMap& information,
                jov_upload::StringMap* result) {
  CrashFileUploader uploader;
  return uploader.UploadCrashFileToJov(archive_path, information, *result) &&
         result->count("objectKey") != 0;
}

}  // namespace

const char kCrashUploadFailedResource[] = "Upload Failed";

jov_upload::StringMap MakeCrashUploadInformation(
    const std::wstring& cookie, const CrashInfoParams& params) {
  const auto host = params.find("host");
  jov_upload::StringMap information;
  information["context"] = std::string();
  information["cookie"] = WideToUtf8(cookie);
  information["host"] =
      "http://" + (host == params.end() ? std::string() : host->second);
  return information;
}

bool UploadCrashArchive(const std::wstring& archive_path,
                        const std::wstring& cookie, CrashInfoParams* params) {
  const jov_upload::StringMap information =
      MakeCrashUploadInformation(cookie, *params);
  jov_upload::StringMap result;
  bool uploaded = false;
  for (int i = 0; i < kUploadAttempts && !uploaded; ++i) {
    result.clear();
    uploaded = UploadOnce(archive_path, information, &result);
  }
  if (uploaded) {
    (*params)["resource"] = result["objectKey"];
    LOG(INFO) << "Crash data url: " << result["objectKey"];
  } else {
    (*params)["resource"] = kCrashUploadFailedResource;
    LOG(INFO) << "Crash data upload failed";
  }
  return uploaded;
}
