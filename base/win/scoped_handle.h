// Owner of one Win32 kernel handle: closes it when the owner goes away.
//
// Every handle an owner holds is registered with the handle verifier, which
// stops the process when a handle is owned twice or given up by someone who
// does not own it, and a failed close is fatal: both mean a handle was
// closed behind its owner's back.
#ifndef BASE_WIN_SCOPED_HANDLE_H_
#define BASE_WIN_SCOPED_HANDLE_H_

#include <windows.h>

namespace base {
namespace win {

class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) { Set(handle); }
  ~ScopedHandle() { Close(); }

  ScopedHandle(ScopedHandle&& other) noexcept { Set(other.Take()); }
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Set(other.Take());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  // Both null and INVALID_HANDLE_VALUE mean "no handle".
  static bool IsHandleValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }

  bool IsValid() const { return IsHandleValid(handle_); }
  HANDLE Get() const { return handle_; }

  // Closes the current handle and owns |handle| instead.
  void Set(HANDLE handle);

  // Hands the handle out; the caller now owns it and the verifier forgets it,
  // so the same value may be owned again later.
  HANDLE Take();

  void Close();

 private:
  HANDLE handle_ = nullptr;
};

// The handle verifier. |owner| is the scoped handle's address; the two code
// addresses say where it was taken (kept for dumps).
void StartTracking(HANDLE handle, const void* owner, const void* pc1,
                   const void* pc2);
void StopTracking(HANDLE handle, const void* owner, const void* pc1,
                  const void* pc2);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_H_
