// Logging and checks.
//
//   LOG(INFO) << "text";            records at a severity (INFO, WARNING, ERROR,
//                                   ERROR_REPORT, FATAL)
//   LOG_IF(ERROR, cond) << ...;
//   VLOG(2) << ...;                 verbose, driven by --v and --vmodule
//   PLOG(ERROR) << ...;             appends the text of GetLastError()
//   CHECK(cond) << ...;             FATAL "Check failed: cond. " when false
//   CHECK_EQ(a, b) / NE / LE / LT / GE / GT
//   DCHECK... / DLOG... / DVLOG...  as above in debug builds only
//
// A FATAL record is written and then stops the process at a breakpoint trap.

#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <ostream>
#include <sstream>
#include <string>

namespace base {

typedef int LogSeverity;
const LogSeverity LOG_VERBOSE = -1;
const LogSeverity LOG_INFO = 0;
const LogSeverity LOG_WARNING = 1;
const LogSeverity LOG_ERROR = 2;
const LogSeverity LOG_ERROR_REPORT = 3;
const LogSeverity LOG_FATAL = 4;
const LogSeverity LOG_NUM_SEVERITIES = 5;
// <windows.h> defines ERROR as 0, so LOG(ERROR) arrives here as LOG_0.
const LogSeverity LOG_0 = LOG_ERROR;

#if defined(NDEBUG)
const LogSeverity LOG_DFATAL = LOG_ERROR;
#else
const LogSeverity LOG_DFATAL = LOG_FATAL;
#endif

// Destination bits.
enum LoggingDestination {
  LOG_NONE = 0,
  LOG_TO_FILE = 1 << 0,
  LOG_TO_SYSTEM_DEBUG_LOG = 1 << 1,
};

enum LogLockingState { LOCK_LOG_FILE = 0, DONT_LOCK_LOG_FILE = 1 };

enum OldFileDeletionState { DELETE_OLD_LOG_FILE = 0, APPEND_TO_OLD_LOG_FILE = 1 };

enum DcheckState {
  DISABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS = 0,
  ENABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS = 1,
};

struct LoggingSettings {
  int logging_dest = LOG_TO_FILE;
  const wchar_t* log_file = nullptr;
  int lock_log = LOCK_LOG_FILE;
  int delete_old = APPEND_TO_OLD_LOG_FILE;
  int dcheck_state = DISABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS;
};

// Sets the destination, the log file and verbose logging from the process
// command line ("v", "vmodule"). Safe against records written at the same
// time from other threads. Returns whether the log file could be opened (true
// when the file is not a destination).
bool InitLogging(const LoggingSettings& settings);

// Which items precede each record: process id, thread id, local time
// (MMDD/HHMMSS) and tick count. Defaults: timestamp only.
void SetLogItems(bool enable_process_id, bool enable_thread_id,
                 bool enable_timestamp, bool enable_tickcount);

// Records below the minimum level are not built. SetMinLogLevel stores at most
// ERROR_REPORT, so FATAL records always pass.
int GetMinLogLevel();
void SetMinLogLevel(int level);

// The highest verbose level that passes everywhere (at least -1).
int GetVlogVerbosity();
// The verbose level for the source file named by the first N - 1 characters
// of |file| (N is sizeof of a literal).
int GetVlogLevelHelper(const char* file, size_t n);
template <size_t N>
int GetVlogLevel(const char (&file)[N]) {
  return GetVlogLevelHelper(file, N);
}

// Takes (severity, file, line, message_start, whole record text). Returning
// true swallows the record: nothing is written, not even for FATAL.
typedef bool (*LogMessageHandlerFunction)(int severity, const char* file,
                                          int line, size_t message_start,
                                          const std::string& str);
void SetLogMessageHandler(LogMessageHandlerFunction handler);
LogMessageHandlerFunction GetLogMessageHandler();

typedef void (*LogAssertHandlerFunction)(const std::string& str);
void SetLogAssertHandler(LogAssertHandlerFunction handler);
typedef void (*LogReportHandlerFunction)(const std::string& str);
void SetLogReportHandler(LogReportHandlerFunction handler);

void SetShowErrorDialogs(bool enable_dialogs);

DcheckState get_dcheck_state();
void set_dcheck_state(DcheckState state);

// Closes the log file under the log lock; the next record opens it again.
void CloseLogFile();

// The current log file's path; empty before one is known.
std::wstring GetLogFileFullPath();

// Writes |message| to standard error without building a record.
void RawLog(int level, const char* message);

// Starts "debug_message.exe" beside the executable with |str|, or shows a
// message box when that fails. Does nothing unless dialogs are switched on.
void DisplayDebugMessageInDialog(const std::string& str);

// Every record is passed through one transform on its way into the log file
// (never to the debugger output, standard error or the handlers). It changes
// the |length| bytes at |data| in place and keeps their count; when it
// returns false the record is not written at all, rather than half
// transformed. It runs under the log lock and must not log. The default,
// and null, is the identity. Set it before other threads log.
typedef bool (*LogRecordTransform)(char* data, size_t length);
void SetLogRecordTransform(LogRecordTransform transform);

uint32_t GetLastSystemErrorCode();

// One record: built on the caller's stack, emitted by the destructor.
class LogMessage {
 public:
  LogMessage(const char* file, int line);
  LogMessage(const char* file, int line, LogSeverity severity);
  // FATAL "Check failed: " followed by |result|.
  LogMessage(const char* file, int line, std::unique_ptr<std::string> result);
  LogMessage(const char* file, int line, LogSeverity severity,
             std::unique_ptr<std::string> result);
  ~LogMessage();

  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  std::ostream& stream() { return stream_; }

 private:
  void Init(const char* file, int line);

  LogSeverity severity_;
  std::ostringstream stream_;
  size_t message_start_ = 0;
  const char* file_;
  int line_;
  uint32_t last_error_;
};

// Ends a record with ": " and the system's text for an error code.
class Win32ErrorLogMessage {
 public:
  Win32ErrorLogMessage(const char* file, int line, LogSeverity severity,
                       uint32_t err);
  Win32ErrorLogMessage(const char* file, int line, LogSeverity severity,
                       uint32_t err, const char* module);
  ~Win32ErrorLogMessage();

  Win32ErrorLogMessage(const Win32ErrorLogMessage&) = delete;
  Win32ErrorLogMessage& operator=(const Win32ErrorLogMessage&) = delete;

  std::ostream& stream() { return log_message_.stream(); }

 private:
  uint32_t err_;
  const char* module_;
  LogMessage log_message_;
};

// Lets the LOG macros form one expression of type void.
class LogMessageVoidify {
 public:
  LogMessageVoidify() {}
  void operator&(std::ostream&) {}
};

template <class T1, class T2>
std::unique_ptr<std::string> MakeCheckOpString(const T1& v1, const T2& v2,
                                               const char* names) {
  std::ostringstream ss;
  ss << names << " (" << v1 << " vs. " << v2 << ")";
  return std::make_unique<std::string>(ss.str());
}

#define QV_DEFINE_CHECK_OP_IMPL(name, op)                                    \
  template <class T1, class T2>                                              \
  inline std::unique_ptr<std::string> Check##name##Impl(                     \
      const T1& v1, const T2& v2, const char* names) {                       \
    if (v1 op v2) return nullptr;                                            \
    return MakeCheckOpString(v1, v2, names);                                 \
  }
QV_DEFINE_CHECK_OP_IMPL(EQ, ==)
QV_DEFINE_CHECK_OP_IMPL(NE, !=)
QV_DEFINE_CHECK_OP_IMPL(LE, <=)
QV_DEFINE_CHECK_OP_IMPL(LT, <)
QV_DEFINE_CHECK_OP_IMPL(GE, >=)
QV_DEFINE_CHECK_OP_IMPL(GT, >)
#undef QV_DEFINE_CHECK_OP_IMPL

}  // namespace base

// Wide text goes into the narrow record as UTF-8. These live in std so that
// argument-dependent lookup finds them from every namespace; otherwise an
// operator<< of the calling namespace would hide them and the stream would
// print the pointer.
namespace std {
std::ostream& operator<<(std::ostream& out, const wchar_t* wstr);
inline std::ostream& operator<<(std::ostream& out, const std::wstring& wstr) {
  return out << wstr.c_str();
}
}  // namespace std

#define LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::base::LogMessageVoidify() & (stream)

// FATAL is never filtered by the minimum level.
#define LOG_IS_ON(severity)                                  \
  ((::base::LOG_##severity) >= ::base::GetMinLogLevel() ||   \
   (::base::LOG_##severity) >= ::base::LOG_FATAL)

#define LOG_STREAM(severity) \
  ::base::LogMessage(__FILE__, __LINE__, ::base::LOG_##severity).stream()

#define LOG(severity) LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity))
#define LOG_IF(severity, condition) \
  LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity) && (condition))

#define VLOG_IS_ON(verboselevel) \
  ((verboselevel) <= ::base::GetVlogLevel(__FILE__))
#define VLOG_STREAM(verbose_level) \
  ::base::LogMessage(__FILE__, __LINE__, -(verbose_level)).stream()
#define VLOG(verbose_level) \
  LAZY_STREAM(VLOG_STREAM(verbose_level), VLOG_IS_ON(verbose_level))
#define VLOG_IF(verbose_level, condition) \
  LAZY_STREAM(VLOG_STREAM(verbose_level),  \
              VLOG_IS_ON(verbose_level) && (condition))

#define PLOG_STREAM(severity)                                          \
  ::base::Win32ErrorLogMessage(__FILE__, __LINE__, ::base::LOG_##severity, \
                               ::base::GetLastSystemErrorCode())           \
      .stream()
#define PLOG(severity) LAZY_STREAM(PLOG_STREAM(severity), LOG_IS_ON(severity))
#define PLOG_IF(severity, condition) \
  LAZY_STREAM(PLOG_STREAM(severity), LOG_IS_ON(severity) && (condition))

// Checks are never filtered and never compiled out.
#define CHECK(condition)                                       \
  LAZY_STREAM(LOG_STREAM(FATAL), !(condition))                 \
      << "Check failed: " #condition ". "

#define PCHECK(condition)                                      \
  LAZY_STREAM(PLOG_STREAM(FATAL), !(condition))                \
      << "Check failed: " #condition ". "

// The switch absorbs a caller's "else"; the stream stays last so that text
// can be appended.
#define CHECK_OP(name, op, val1, val2)                                      \
  switch (0)                                                                \
  case 0:                                                                   \
  default:                                                                  \
    if (std::unique_ptr<std::string> qv_check_result =                      \
            ::base::Check##name##Impl((val1), (val2),                       \
                                      #val1 " " #op " " #val2);             \
        !qv_check_result) {                                                 \
    } else                                                                  \
      ::base::LogMessage(__FILE__, __LINE__, std::move(qv_check_result))    \
          .stream()

#define CHECK_EQ(val1, val2) CHECK_OP(EQ, ==, val1, val2)
#define CHECK_NE(val1, val2) CHECK_OP(NE, !=, val1, val2)
#define CHECK_LE(val1, val2) CHECK_OP(LE, <=, val1, val2)
#define CHECK_LT(val1, val2) CHECK_OP(LT, <, val1, val2)
#define CHECK_GE(val1, val2) CHECK_OP(GE, >=, val1, val2)
#define CHECK_GT(val1, val2) CHECK_OP(GT, >, val1, val2)

#if defined(NDEBUG)
#define DCHECK_IS_ON() 0
#else
#define DCHECK_IS_ON() 1
#endif

#if DCHECK_IS_ON()
#define DLOG(severity) LOG(severity)
#define DLOG_IF(severity, condition) LOG_IF(severity, condition)
#define DVLOG(verbose_level) VLOG(verbose_level)
#define DPLOG(severity) PLOG(severity)
#define DCHECK(condition) CHECK(condition)
#define DPCHECK(condition) PCHECK(condition)
#define DCHECK_OP(name, op, val1, val2) CHECK_OP(name, op, val1, val2)
#else
#define DLOG(severity) LAZY_STREAM(LOG_STREAM(severity), false)
#define DLOG_IF(severity, condition) \
  LAZY_STREAM(LOG_STREAM(severity), false && (condition))
#define DVLOG(verbose_level) LAZY_STREAM(VLOG_STREAM(verbose_level), false)
#define DPLOG(severity) LAZY_STREAM(PLOG_STREAM(severity), false)
#define DCHECK(condition) LAZY_STREAM(LOG_STREAM(FATAL), false && !(condition))
#define DPCHECK(condition) DCHECK(condition)
#define DCHECK_OP(name, op, val1, val2) \
  LAZY_STREAM(LOG_STREAM(FATAL), false && !((val1)op(val2)))
#endif

#define DCHECK_EQ(val1, val2) DCHECK_OP(EQ, ==, val1, val2)
#define DCHECK_NE(val1, val2) DCHECK_OP(NE, !=, val1, val2)
#define DCHECK_LE(val1, val2) DCHECK_OP(LE, <=, val1, val2)
#define DCHECK_LT(val1, val2) DCHECK_OP(LT, <, val1, val2)
#define DCHECK_GE(val1, val2) DCHECK_OP(GE, >=, val1, val2)
#define DCHECK_GT(val1, val2) DCHECK_OP(GT, >, val1, val2)

#define NOTREACHED() DCHECK(false)
#define NOTIMPLEMENTED() DLOG(ERROR) << "Not implemented reached in " << __func__

#endif  // BASE_LOGGING_H_
