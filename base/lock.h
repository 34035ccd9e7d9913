#ifndef BASE_LOCK_H_
#define BASE_LOCK_H_

#include <windows.h>

namespace base {

// The in-process lock: one critical section with a spin count of 2000. It is
// recursive for the owning thread, as a critical section is.
class LockImpl {
 public:
  LockImpl();
  ~LockImpl();
  LockImpl(const LockImpl&) = delete;
  LockImpl& operator=(const LockImpl&) = delete;

  void Lock();
  bool Try();
  void Unlock();

 private:
  CRITICAL_SECTION section_;
};

// Holds a LockImpl for the length of a scope.
class AutoLock {
 public:
  explicit AutoLock(LockImpl& lock) : lock_(lock) { lock_.Lock(); }
  ~AutoLock() { lock_.Unlock(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  LockImpl& lock_;
};

}  // namespace base

#endif  // BASE_LOCK_H_
