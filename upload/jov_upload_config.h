// The upload configuration of one crash upload: the LBS endpoints, the
// storage servers they name, and a part size that shrinks after failed
// parts and grows after a run of stored ones.

#ifndef UPLOAD_JOV_UPLOAD_CONFIG_H_
#define UPLOAD_JOV_UPLOAD_CONFIG_H_

#include <stdint.h>

#include "upload/jov_lock.h"
#include "upload/jov_upload/jov_upload_interfaces.h"

namespace valmora {

// Bounds of the adaptive part size.
const int32_t kJovMinPartSize = 262114;
const int32_t kJovMaxPartSize = 2097152;
// Also the step by which it grows.
const int32_t kJovPartSizeStep = 262114;
const int32_t kJovInitialPartSize = 1048576;

class JovUploadConfig : public jov_upload::IJovUploadConfig {
 public:
  JovUploadConfig();

  void GetLbsUrls(jov_upload::StringList* urls) override;
  void GetExtraLbsUrls(jov_upload::StringList* urls) override;
  void GetUploadServers(jov_upload::StringList* servers) override;
  int32_t GetRetryCount() override;
  int32_t GetPartSize() override;
  void SetUploadServers(const jov_upload::StringList& servers) override;
  void SetExtraLbsUrls(const jov_upload::StringList& urls) override;
  // Halves after a failure, grows by a step after more than five stored
  // parts in a row, always within [kJovMinPartSize, kJovMaxPartSize].
  void AdaptPartSize(int32_t result) override;

 private:
  jov_upload::StringList lbs_urls_;
  jov_upload::StringList extra_lbs_urls_;
  jov_upload::StringList upload_servers_;
  int32_t part_size_ = kJovInitialPartSize;
  int32_t success_count_ = 0;
  int32_t retry_count_ = 2;
  JovLock lock_;
};

// A process-wide configuration, made on first use.
JovUploadConfig* GetSharedJovUploadConfig();

}  // namespace valmora

#endif  // UPLOAD_JOV_UPLOAD_CONFIG_H_
