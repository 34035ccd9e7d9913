#include "base/threading/platform_thread.h"

#include <windows.h>

namespace base {

// static
PlatformThreadId PlatformThread::CurrentId() { return GetCurrentThreadId(); }

// static
void PlatformThread::YieldCurrentThread() { ::Sleep(0); }

uintptr_t WaitForInstance(std::atomic<uintptr_t>* state) {
  uintptr_t value;
  while ((value = state->load(std::memory_order_acquire)) == 1)
    PlatformThread::YieldCurrentThread();
  return value;
}

}  // namespace base
