// Thread-local slots with destructors. All slots share one Windows TLS index
// whose per-thread value is a vector of kThreadLocalStorageSize entries; when
// a thread ends, the destructor of every slot it set runs (through the
// program's TLS callback), repeatedly while destructors set further slots.

#ifndef BASE_THREADING_THREAD_LOCAL_STORAGE_H_
#define BASE_THREADING_THREAD_LOCAL_STORAGE_H_

#include <cstdint>

namespace base {

class ThreadLocalStorage {
 public:
  typedef void (*TLSDestructorFunc)(void* value);

  // Slots 1 to kThreadLocalStorageSize - 1 exist; 0 is never handed out.
  static const int kThreadLocalStorageSize = 64;

  class Slot {
   public:
    // An unused slot, ready for Initialize (constant-initialised, so it may
    // be a namespace-scope variable).
    constexpr Slot() : initialized_(false), slot_(0) {}
    explicit Slot(TLSDestructorFunc destructor);
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

    // Takes the next slot number; false when all are taken or the process
    // has no TLS index to spare. |destructor| may be null.
    bool Initialize(TLSDestructorFunc destructor);
    // Forgets the destructor; the number is not reused.
    void Free();

    // The calling thread's value (null until set).
    void* Get() const;
    void Set(void* value);

    bool initialized() const { return initialized_; }

   private:
    bool initialized_;
    int32_t slot_;
  };
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_STORAGE_H_
