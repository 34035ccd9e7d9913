// Compiled-in addresses of the object-storage service's LBS endpoints. A
// test build (QV_TEST_ENDPOINTS) points them at 127.0.0.1 on the port named
// by the environment variable QV_TEST_LBS_PORT.

#ifndef UPLOAD_JOV_ENDPOINTS_H_
#define UPLOAD_JOV_ENDPOINTS_H_

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace valmora {

// The general endpoint, two regional ones and the overseas one, in the
// order they are asked.
jov_upload::StringList GetJovLbsUrls();

// The bucket crash data goes to, sent with the token request.
const char* GetJovCrashBucket();

}  // namespace valmora

#endif  // UPLOAD_JOV_ENDPOINTS_H_
