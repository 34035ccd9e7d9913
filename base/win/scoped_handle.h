// Owner of one Win32 kernel handle: closes it when the owner goes away.
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
  void Set(HANDLE handle) {
    if (handle == handle_) return;
    Close();
    if (IsHandleValid(handle)) handle_ = handle;
  }

  // Hands the handle out; the caller now owns it.
  HANDLE Take() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }

  void Close() {
    if (!IsValid()) return;
    HANDLE handle = Take();
    ::CloseHandle(handle);
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_H_
