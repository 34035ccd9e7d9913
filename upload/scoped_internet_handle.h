// Owner of one WinINet handle; closes it with InternetCloseHandle.

#ifndef UPLOAD_SCOPED_INTERNET_HANDLE_H_
#define UPLOAD_SCOPED_INTERNET_HANDLE_H_

#include <windows.h>
#include <wininet.h>

namespace http_upload {

class ScopedInternetHandle {
 public:
  explicit ScopedInternetHandle(HINTERNET handle) : handle_(handle) {}
  ~ScopedInternetHandle() {
    if (handle_)
      InternetCloseHandle(handle_);
  }
  ScopedInternetHandle(const ScopedInternetHandle&) = delete;
  ScopedInternetHandle& operator=(const ScopedInternetHandle&) = delete;

  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

}  // namespace http_upload

#endif  // UPLOAD_SCOPED_INTERNET_HANDLE_H_
