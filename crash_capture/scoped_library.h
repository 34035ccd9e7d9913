// Owner of one loaded library: frees it when the owner goes away.
#ifndef CRASH_CAPTURE_SCOPED_LIBRARY_H_
#define CRASH_CAPTURE_SCOPED_LIBRARY_H_

#include <windows.h>

namespace crash_capture {

class ScopedLibrary {
 public:
  explicit ScopedLibrary(const wchar_t* name) : module_(LoadLibraryW(name)) {}
  ~ScopedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;

  HMODULE get() const { return module_; }

  // The named entry point, or null.
  template <typename Function>
  Function GetFunction(const char* name) const {
    if (!module_) return nullptr;
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

}  // namespace crash_capture

#endif  // CRASH_CAPTURE_SCOPED_LIBRARY_H_
