// The settings of one crash-file upload, taken from a string map.

#ifndef UPLOAD_JOV_UPLOAD_PARAMS_H_
#define UPLOAD_JOV_UPLOAD_PARAMS_H_

#include <stdint.h>

#include <string>

#include "upload/jov_upload/jov_upload_interfaces.h"

struct JovUploadParams {
  std::wstring file_path;
  std::string bucket;
  std::string object_key;
  std::string token;
  std::string context;
  // Scheme and host of the token service, e.g. "http://host".
  std::string host;
  // Sent as the "Cookie" header of the token request.
  std::string cookie;
  std::string encrypt_param;
};

// Copies the keys "bucket", "token", "objectKey", "context", "host",
// "cookie" and "encryptParam" that |information| holds; returns how many it
// found.
int32_t FillJovUploadParams(const std::wstring& path,
                            const jov_upload::StringMap& information,
                            JovUploadParams* params);

#endif  // UPLOAD_JOV_UPLOAD_PARAMS_H_
