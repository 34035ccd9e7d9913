#include "upload/jov_lock.h"

#include <new>

namespace valmora {

JovLock::JovLock() { InitializeCriticalSection(&section_); }

JovLock::~JovLock() { DeleteCriticalSection(&section_); }

void JovLock::Lock() { EnterCriticalSection(&section_); }

void JovLock::Unlock() { LeaveCriticalSection(&section_); }

jov_upload::IJovLock* JovLockFactory::CreateLock() {
  return new (std::nothrow) JovLock();
}

void JovLockFactory::DestroyLock(jov_upload::IJovLock* lock) { delete lock; }

}  // namespace valmora
