#include "upload/jov_upload_config.h"

#include <algorithm>

#include "upload/jov_endpoints.h"
#include "upload/jov_upload/jov_auto_lock.h"

namespace valmora {

namespace {

// Stored parts in a row after which the part size grows.
const int32_t kSuccessesBeforeGrowth = 5;

}  // namespace

JovUploadConfig::JovUploadConfig() : lbs_urls_(GetJovLbsUrls()) {}

void JovUploadConfig::GetLbsUrls(jov_upload::StringList* urls) {
  jov_upload::JovAutoLock lock(&lock_);
  *urls = lbs_urls_;
}

void JovUploadConfig::GetExtraLbsUrls(jov_upload::StringList* urls) {
  jov_upload::JovAutoLock lock(&lock_);
  *urls = extra_lbs_urls_;
}

void JovUploadConfig::GetUploadServers(jov_upload::StringList* servers) {
  jov_upload::JovAutoLock lock(&lock_);
  *servers = upload_servers_;
}

int32_t JovUploadConfig::GetRetryCount() { return retry_count_; }

int32_t JovUploadConfig::GetPartSize() {
  jov_upload::JovAutoLock lock(&lock_);
  return part_size_;
}

void JovUploadConfig::SetUploadServers(const jov_upload::StringList& servers) {
  jov_upload::JovAutoLock lock(&lock_);
  upload_servers_ = servers;
}

void JovUploadConfig::SetExtraLbsUrls(const jov_upload::StringList& urls) {
  jov_upload::JovAutoLock lock(&lock_);
  extra_lbs_urls_ = urls;
}

void JovUploadConfig::AdaptPartSize(int32_t result) {
  jov_upload::JovAutoLock lock(&lock_);
  if (result < 1) {
    part_size_ = std::max(part_size_ / 2, kJovMinPartSize);
    success_count_ = 0;
    return;
  }
  ++success_count_;
  if (success_count_ > kSuccessesBeforeGrowth) {
    part_size_ = std::min(part_size_ + kJovPartSizeStep, kJovMaxPartSize);
    success_count_ = 0;
  }
}

JovUploadConfig* GetSharedJovUploadConfig() {
  static JovUploadConfig* config = new JovUploadConfig();
  return config;
}

}  // namespace valmora
