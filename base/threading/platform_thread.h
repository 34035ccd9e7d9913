#ifndef BASE_THREADING_PLATFORM_THREAD_H_
#define BASE_THREADING_PLATFORM_THREAD_H_

#include <atomic>
#include <cstdint>

namespace base {

typedef uint32_t PlatformThreadId;

class PlatformThread {
 public:
  PlatformThread() = delete;

  // The calling thread's id (GetCurrentThreadId).
  static PlatformThreadId CurrentId();

  // Gives up the rest of the time slice (Sleep(0)).
  static void YieldCurrentThread();
};

// Waits, yielding, while a lazy instance's state word reads 1 (being made)
// and returns the word's final value.
uintptr_t WaitForInstance(std::atomic<uintptr_t>* state);

}  // namespace base

#endif  // BASE_THREADING_PLATFORM_THREAD_H_
