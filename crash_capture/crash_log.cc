#include "crash_capture/crash_log.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace crash_capture {
namespace internal {

namespace {

const char* BaseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  return name;
}

}  // namespace

CrashLogLine::CrashLogLine(const char* severity, const char* file, int line) {
  stream_ << "[" << GetCurrentProcessId() << ":" << GetCurrentThreadId() << ":"
          << severity << ":" << BaseName(file) << "(" << line << ")] ";
}

CrashLogLine::~CrashLogLine() {
  DWORD saved_error = GetLastError();
  stream_ << "\n";
  const std::string text = stream_.str();
  OutputDebugStringA(text.c_str());
  fputs(text.c_str(), stderr);
  fflush(stderr);
  SetLastError(saved_error);
}

}  // namespace internal
}  // namespace crash_capture
