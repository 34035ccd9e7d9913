#include "base/lock.h"

namespace base {

namespace {
const DWORD kSpinCount = 2000;
}  // namespace

LockImpl::LockImpl() {
  InitializeCriticalSectionAndSpinCount(&section_, kSpinCount);
}

LockImpl::~LockImpl() { DeleteCriticalSection(&section_); }

void LockImpl::Lock() { EnterCriticalSection(&section_); }

bool LockImpl::Try() { return TryEnterCriticalSection(&section_) != FALSE; }

void LockImpl::Unlock() { LeaveCriticalSection(&section_); }

}  // namespace base
