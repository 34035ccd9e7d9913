// Holds an IJovLock for a scope; a null lock is no lock.

#ifndef UPLOAD_JOV_UPLOAD_JOV_AUTO_LOCK_H_
#define UPLOAD_JOV_UPLOAD_JOV_AUTO_LOCK_H_

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace jov_upload {

class JovAutoLock {
 public:
  explicit JovAutoLock(IJovLock* lock) : lock_(lock) {
    if (lock_) lock_->Lock();
  }
  ~JovAutoLock() {
    if (lock_) lock_->Unlock();
  }
  JovAutoLock(const JovAutoLock&) = delete;
  JovAutoLock& operator=(const JovAutoLock&) = delete;

 private:
  IJovLock* lock_;
};

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_JOV_AUTO_LOCK_H_
