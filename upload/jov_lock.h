// Critical-section locks for the upload client.

#ifndef UPLOAD_JOV_LOCK_H_
#define UPLOAD_JOV_LOCK_H_

#include <windows.h>

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace valmora {

class JovLock : public jov_upload::IJovLock {
 public:
  JovLock();
  ~JovLock() override;
  JovLock(const JovLock&) = delete;
  JovLock& operator=(const JovLock&) = delete;

  void Lock() override;
  void Unlock() override;

 private:
  CRITICAL_SECTION section_;
};

class JovLockFactory : public jov_upload::IJovLockFactory {
 public:
  // Null when no lock could be made.
  jov_upload::IJovLock* CreateLock() override;
  void DestroyLock(jov_upload::IJovLock* lock) override;
};

}  // namespace valmora

#endif  // UPLOAD_JOV_LOCK_H_
