#ifndef BASE_THREADING_PLATFORM_THREAD_H_
#define BASE_THREADING_PLATFORM_THREAD_H_

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace base {

class TimeDelta;

typedef uint32_t PlatformThreadId;

// A started joinable thread: its handle (owned by whoever joins it) and an
// id, which is 0 in handles made here.
struct PlatformThreadHandle {
  PlatformThreadHandle() : handle(nullptr), id(0) {}
  PlatformThreadHandle(HANDLE h, PlatformThreadId i) : handle(h), id(i) {}
  bool is_null() const { return handle == nullptr; }

  HANDLE handle;
  PlatformThreadId id;
};

enum ThreadPriority {
  kThreadPriority_Normal,
  // THREAD_PRIORITY_TIME_CRITICAL.
  kThreadPriority_RealtimeAudio,
};

class PlatformThread {
 public:
  // The body of a started thread.
  class Delegate {
   public:
    virtual void ThreadMain() = 0;

   protected:
    virtual ~Delegate() {}
  };

  PlatformThread() = delete;

  // The calling thread's id (GetCurrentThreadId).
  static PlatformThreadId CurrentId();
  // Not available here: logs so and returns a null handle.
  static PlatformThreadHandle CurrentHandle();

  // Gives up the rest of the time slice (Sleep(0)).
  static void YieldCurrentThread();
  // Sleeps at least |duration| by the tick clock.
  static void Sleep(TimeDelta duration);

  // Names the calling thread for the name registry, the task tracker and,
  // when one is attached, the debugger.
  static void SetName(const char* name);
  // The calling thread's name; "" when it has none.
  static const char* GetName();

  // Starts a thread running |delegate|->ThreadMain(). |stack_size| 0 means
  // the default. The caller must give |thread_handle| and later Join it;
  // false when it is null or the thread could not start.
  static bool Create(size_t stack_size, Delegate* delegate,
                     PlatformThreadHandle* thread_handle);
  static bool CreateWithPriority(size_t stack_size, Delegate* delegate,
                                 PlatformThreadHandle* thread_handle,
                                 ThreadPriority priority);
  // A thread nobody joins; its handle is closed at once.
  static bool CreateNonJoinable(size_t stack_size, Delegate* delegate);

  // Waits for the thread to end and closes its handle.
  static void Join(PlatformThreadHandle thread_handle);
};

// Waits, yielding, while a lazy instance's state word reads 1 (being made)
// and returns the word's final value.
uintptr_t WaitForInstance(std::atomic<uintptr_t>* state);

}  // namespace base

#endif  // BASE_THREADING_PLATFORM_THREAD_H_
