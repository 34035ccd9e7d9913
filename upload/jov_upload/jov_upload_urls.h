// The URLs and headers of the object-storage protocol. Bucket, object key
// and context are escaped; the version is sent as given.

#ifndef UPLOAD_JOV_UPLOAD_JOV_UPLOAD_URLS_H_
#define UPLOAD_JOV_UPLOAD_JOV_UPLOAD_URLS_H_

#include <stdint.h>

#include <string>

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace jov_upload {

// lbs?version=V&bucketname=B; "" when |lbs| is empty.
std::string BuildLbsUrl(const std::string& lbs, const std::string& version,
                        const std::string& bucket);

// server/B/O?uploadContext&context=C&version=V; "" when |server| is empty.
std::string BuildOffsetQueryUrl(const std::string& server,
                                const std::string& bucket,
                                const std::string& object,
                                const std::string& context,
                                const std::string& version);

// server/B/O?offset=N&complete=true|false[&context=C]&version=V; "" when
// |server| is empty.
std::string BuildPartUploadUrl(const std::string& server,
                               const std::string& bucket,
                               const std::string& object, int64_t offset,
                               bool complete, const std::string& context,
                               const std::string& version);

// "x-jov-token" and "Content-Length" always; "Content-MD5", "Content-Type"
// and "x-jov-meta-" only when given.
StringMap BuildUploadHeaders(const std::string& token, int64_t length,
                             const std::string& content_type,
                             const std::string& md5, const std::string& meta);

// Only http:// and https:// addresses (any case) are ever requested.
bool IsWebUrl(const std::string& url);

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_JOV_UPLOAD_URLS_H_
