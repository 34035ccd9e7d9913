// The one place where crash capture meets the log. Records go to the standard
// error stream and the debugger output until the base log is wired in here.
#ifndef CRASH_CAPTURE_CRASH_LOG_H_
#define CRASH_CAPTURE_CRASH_LOG_H_

#include <sstream>
#include <string>

namespace crash_capture {
namespace internal {

class CrashLogLine {
 public:
  CrashLogLine(const char* severity, const char* file, int line);
  ~CrashLogLine();
  CrashLogLine(const CrashLogLine&) = delete;
  CrashLogLine& operator=(const CrashLogLine&) = delete;

  std::ostream& stream() { return stream_; }

 private:
  std::ostringstream stream_;
};

}  // namespace internal
}  // namespace crash_capture

#define CRASH_LOG(severity) \
  ::crash_capture::internal::CrashLogLine(#severity, __FILE__, __LINE__).stream()

#endif  // CRASH_CAPTURE_CRASH_LOG_H_
