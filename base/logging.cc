#include "base/logging.h"

#include <string.h>
#include <time.h>
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "base/command_line.h"
#include "base/debugger.h"
#include "base/lazy_instance.h"
#include "base/utf_string_conversions.h"
#include "base/vlog.h"

namespace base {

namespace {

const char* const kLogSeverityNames[LOG_NUM_SEVERITIES] = {
    "INFO", "WARNING", "ERROR", "ERROR_REPORT", "FATAL"};

const wchar_t kDefaultLogFileName[] = L"debug.log";
const wchar_t kMutexNamePrefix[] = L"Global\\";
const wchar_t kDebugMessageProgram[] = L"debug_message.exe";

// Read by every LOG site without a lock.
std::atomic<int> g_min_log_level{LOG_INFO};
std::atomic<int> g_logging_destination{LOG_TO_FILE};
std::atomic<bool> g_log_process_id{false};
std::atomic<bool> g_log_thread_id{false};
std::atomic<bool> g_log_timestamp{true};
std::atomic<bool> g_log_tickcount{false};
std::atomic<bool> g_show_error_dialogs{false};
std::atomic<int> g_dcheck_state{DISABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS};
std::atomic<LogMessageHandlerFunction> g_log_message_handler{nullptr};
std::atomic<LogAssertHandlerFunction> g_log_assert_handler{nullptr};
std::atomic<LogReportHandlerFunction> g_log_report_handler{nullptr};
std::atomic<LogRecordTransform> g_log_record_transform{nullptr};
// Made once by InitLogging and never freed.
std::atomic<VlogInfo*> g_vlog_info{nullptr};
// The one an earlier set-up made: verbose logging is set up once.
std::atomic<VlogInfo*> g_vlog_info_prev{nullptr};

// The line log readers know the check on a second verbose set-up by.
const int kVlogSetUpCheckLine = 379;

// Guards the log lock's set-up and the file state below against records that
// thread-pool callbacks write while InitLogging runs. A critical section is
// recursive, so a record logged from inside the file path cannot deadlock.
// Never destroyed: records may be written while the process exits.
CRITICAL_SECTION* FileStateLock() {
  static CRITICAL_SECTION* lock = [] {
    static CRITICAL_SECTION section;
    InitializeCriticalSectionAndSpinCount(&section, 2000);
    return &section;
  }();
  return lock;
}

class AutoFileStateLock {
 public:
  AutoFileStateLock() { EnterCriticalSection(FileStateLock()); }
  ~AutoFileStateLock() { LeaveCriticalSection(FileStateLock()); }
  AutoFileStateLock(const AutoFileStateLock&) = delete;
  AutoFileStateLock& operator=(const AutoFileStateLock&) = delete;
};

// The file state; touched only under FileStateLock().
struct LogFileState {
  int lock_mode = LOCK_LOG_FILE;
  bool lock_initialized = false;
  HANDLE mutex = nullptr;
  std::wstring file_name;
  HANDLE file = nullptr;
};

// Leaky: records may be written while exit() runs the static destructors.
LazyInstance<LogFileState>::Leaky g_file_state = LAZY_INSTANCE_INITIALIZER;

LogFileState& FileState() { return g_file_state.Get(); }

// The executable's full path. The buffer grows until the path fits, so a
// long path is never cut silently.
std::wstring GetExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(
        nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

// The executable's folder with its trailing '\' (empty when it has none).
std::wstring GetExecutableFolder() {
  const std::wstring path = GetExecutablePath();
  const size_t last_backslash = path.rfind(L'\\');
  if (last_backslash == std::wstring::npos) return path;
  return path.substr(0, last_backslash + 1);
}

std::wstring GetDefaultLogFile() {
  return GetExecutableFolder() + kDefaultLogFileName;
}

// Once set up, the mutex (and with it its name) stays for the life of the
// process: whichever comes first, the first record or InitLogging, names it.
void InitLogLockLocked(int lock_mode, const wchar_t* new_log_file) {
  LogFileState& state = FileState();
  if (state.lock_initialized) return;
  state.lock_mode = lock_mode;
  if (lock_mode != LOCK_LOG_FILE || state.mutex) {
    state.lock_initialized = true;
    return;
  }
  std::wstring name = new_log_file ? new_log_file : GetDefaultLogFile();
  std::replace(name.begin(), name.end(), L'\\', L'/');
  state.mutex = CreateMutexW(nullptr, FALSE, (kMutexNamePrefix + name).c_str());
  // Without a mutex the record goes out unserialised; the next one retries.
  if (state.mutex) state.lock_initialized = true;
}

// Holds the cross-process mutex (lock mode 0) on top of the file-state lock.
class AutoLogFileLock {
 public:
  AutoLogFileLock() {
    const LogFileState& state = FileState();
    if (state.lock_mode == LOCK_LOG_FILE && state.mutex) {
      mutex_ = state.mutex;
      // An abandoned mutex is owned too.
      WaitForSingleObject(mutex_, INFINITE);
    }
  }
  ~AutoLogFileLock() {
    if (mutex_) ReleaseMutex(mutex_);
  }
  AutoLogFileLock(const AutoLogFileLock&) = delete;
  AutoLogFileLock& operator=(const AutoLogFileLock&) = delete;

 private:
  HANDLE mutex_ = nullptr;
};

bool InitializeLogFileHandleLocked() {
  LogFileState& state = FileState();
  if (state.file) return true;
  if (state.file_name.empty()) state.file_name = GetDefaultLogFile();
  if ((g_logging_destination & LOG_TO_FILE) == 0) return true;
  HANDLE file = CreateFileW(state.file_name.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == nullptr || file == INVALID_HANDLE_VALUE) return false;
  SetFilePointer(file, 0, nullptr, FILE_END);
  state.file = file;
  return true;
}

void CloseLogFileLocked() {
  LogFileState& state = FileState();
  if (!state.file) return;
  CloseHandle(state.file);
  state.file = nullptr;
}

void WriteToLogFile(const std::string& record) {
  AutoFileStateLock state_lock;
  LogFileState& state = FileState();
  // When the set-up could not make the mutex, retry under its file's name:
  // that is the name other processes writing the file use.
  InitLogLockLocked(LOCK_LOG_FILE, state.file_name.empty()
                                       ? nullptr
                                       : state.file_name.c_str());
  AutoLogFileLock file_lock;
  if (!InitializeLogFileHandleLocked()) return;

  SetFilePointer(state.file, 0, nullptr, FILE_END);
  // The handlers and other destinations keep the plain text.
  std::string copy = record;
  LogRecordTransform transform = g_log_record_transform;
  if (transform && !transform(&copy[0], copy.size())) return;
  DWORD written = 0;
  WriteFile(state.file, copy.data(), static_cast<DWORD>(copy.size()),
            &written, nullptr);
}

// Bytes as they are: no text-mode line-end translation.
void WriteToStandardError(const std::string& text) {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  const char* data = text.data();
  size_t remaining = text.size();
  while (remaining > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, data, static_cast<DWORD>(remaining), &written,
                   nullptr) ||
        written == 0) {
      return;
    }
    data += written;
    remaining -= written;
  }
}

const char* FileBaseName(const char* file) {
  const char* last_slash = nullptr;
  for (const char* p = file; *p; ++p) {
    if (*p == '\\' || *p == '/') last_slash = p;
  }
  return last_slash ? last_slash + 1 : file;
}

void WriteSeverityName(std::ostream& stream, LogSeverity severity) {
  if (severity < 0) {
    stream << "VERBOSE" << -static_cast<int64_t>(severity);
  } else if (severity < LOG_NUM_SEVERITIES) {
    stream << kLogSeverityNames[severity];
  } else {
    stream << "UNKNOWN";
  }
}

void WriteTwoDigits(char* out, int value) {
  out[0] = static_cast<char>('0' + (value / 10) % 10);
  out[1] = static_cast<char>('0' + value % 10);
}

// MMDD/HHMMSS in Windows' local time. Not the C runtime's: it reads the TZ
// variable, not the system's time zone.
void WriteTimestamp(std::ostream& stream) {
  SYSTEMTIME local_time = {};
  ::GetLocalTime(&local_time);
  char text[12] = {};
  WriteTwoDigits(text, local_time.wMonth);
  WriteTwoDigits(text + 2, local_time.wDay);
  text[4] = '/';
  WriteTwoDigits(text + 5, local_time.wHour);
  WriteTwoDigits(text + 7, local_time.wMinute);
  WriteTwoDigits(text + 9, local_time.wSecond);
  stream << text;
}

}  // namespace

bool InitLogging(const LoggingSettings& settings) {
  g_dcheck_state = settings.dcheck_state;

  const CommandLine* command_line = CommandLine::ForCurrentProcess();
  if (command_line &&
      (command_line->HasSwitch("v") || command_line->HasSwitch("vmodule"))) {
    if (g_vlog_info_prev) {
      LogMessage(__FILE__, kVlogSetUpCheckLine, LOG_FATAL).stream()
          << "Check failed: !g_vlog_info_prev. ";
    }
    // Lives until the process ends: other threads may read it at any time.
    g_vlog_info = new VlogInfo(command_line->GetSwitchValueASCII("v"),
                               command_line->GetSwitchValueASCII("vmodule"),
                               &g_min_log_level);
    g_vlog_info_prev = g_vlog_info.load();
  }

  g_logging_destination = settings.logging_dest;
  if ((settings.logging_dest & LOG_TO_FILE) == 0) return true;

  AutoFileStateLock state_lock;
  InitLogLockLocked(settings.lock_log, settings.log_file);
  AutoLogFileLock file_lock;
  CloseLogFileLocked();
  LogFileState& state = FileState();
  state.file_name = settings.log_file ? settings.log_file : L"";
  if (settings.delete_old == DELETE_OLD_LOG_FILE && !state.file_name.empty())
    DeleteFileW(state.file_name.c_str());
  return InitializeLogFileHandleLocked();
}

void SetLogItems(bool enable_process_id, bool enable_thread_id,
                 bool enable_timestamp, bool enable_tickcount) {
  g_log_process_id = enable_process_id;
  g_log_thread_id = enable_thread_id;
  g_log_timestamp = enable_timestamp;
  g_log_tickcount = enable_tickcount;
}

int GetMinLogLevel() { return g_min_log_level; }

void SetMinLogLevel(int level) {
  g_min_log_level = std::min(LOG_ERROR_REPORT, level);
}

int GetVlogVerbosity() { return std::max(-1, LOG_INFO - GetMinLogLevel()); }

int GetVlogLevelHelper(const char* file, size_t n) {
  if (const VlogInfo* vlog_info = g_vlog_info.load())
    return vlog_info->GetVlogLevel(std::string_view(file, n > 0 ? n - 1 : 0));
  return GetVlogVerbosity();
}

void SetLogMessageHandler(LogMessageHandlerFunction handler) {
  g_log_message_handler = handler;
}

LogMessageHandlerFunction GetLogMessageHandler() {
  return g_log_message_handler;
}

void SetLogAssertHandler(LogAssertHandlerFunction handler) {
  g_log_assert_handler = handler;
}

void SetLogReportHandler(LogReportHandlerFunction handler) {
  g_log_report_handler = handler;
}

void SetShowErrorDialogs(bool enable_dialogs) {
  g_show_error_dialogs = enable_dialogs;
}

DcheckState get_dcheck_state() {
  return static_cast<DcheckState>(g_dcheck_state.load());
}

void set_dcheck_state(DcheckState state) { g_dcheck_state = state; }

void CloseLogFile() {
  AutoFileStateLock state_lock;
  AutoLogFileLock file_lock;
  CloseLogFileLocked();
}

std::wstring GetLogFileFullPath() {
  AutoFileStateLock state_lock;
  return FileState().file_name;
}

void SetLogRecordTransform(LogRecordTransform transform) {
  g_log_record_transform = transform;
}

void RawLog(int level, const char* message) {
  if (level < GetMinLogLevel()) return;
  const size_t length = strlen(message);
  WriteToStandardError(std::string(message, length));
  if (length == 0 || message[length - 1] != '\n') WriteToStandardError("\n");
  if (level == LOG_FATAL) BreakDebugger();
}

void DisplayDebugMessageInDialog(const std::string& str) {
  if (str.empty() || !g_show_error_dialogs) return;

  const std::wstring program = GetExecutableFolder() + kDebugMessageProgram;
  std::wstring command_line = UTF8ToWide(str);
  if (command_line.empty()) return;

  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_info = {};
  if (CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr,
                     FALSE, 0, nullptr, nullptr, &startup_info,
                     &process_info)) {
    WaitForSingleObject(process_info.hProcess, INFINITE);
    CloseHandle(process_info.hThread);
    CloseHandle(process_info.hProcess);
    return;
  }
  MessageBoxW(nullptr, command_line.c_str(), L"Fatal error",
              MB_OK | MB_ICONHAND | MB_TOPMOST);
}

uint32_t GetLastSystemErrorCode() { return GetLastError(); }

LogMessage::LogMessage(const char* file, int line)
    : severity_(LOG_INFO), file_(file), line_(line) {
  Init(file, line);
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity), file_(file), line_(line) {
  Init(file, line);
}

LogMessage::LogMessage(const char* file, int line,
                       std::unique_ptr<std::string> result)
    : LogMessage(file, line, LOG_FATAL, std::move(result)) {}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity,
                       std::unique_ptr<std::string> result)
    : severity_(severity), file_(file), line_(line) {
  Init(file, line);
  stream_ << "Check failed: " << *result;
}

void LogMessage::Init(const char* file, int line) {
  last_error_ = GetLastError();

  stream_ << '[';
  if (g_log_process_id) stream_ << GetCurrentProcessId() << ':';
  if (g_log_thread_id) stream_ << GetCurrentThreadId() << ':';
  if (g_log_timestamp) {
    WriteTimestamp(stream_);
    stream_ << ':';
  }
  if (g_log_tickcount) stream_ << GetTickCount() << ':';
  WriteSeverityName(stream_, severity_);
  stream_ << ':' << FileBaseName(file) << '(' << line << ")] ";
  message_start_ = static_cast<size_t>(stream_.tellp());
}

LogMessage::~LogMessage() {
  stream_ << '\n';
  const std::string str_newline(stream_.str());

  LogMessageHandlerFunction handler = g_log_message_handler;
  if (handler && handler(severity_, file_, line_, message_start_, str_newline)) {
    SetLastError(last_error_);
    return;
  }

  const int destination = g_logging_destination;
  if (destination & LOG_TO_SYSTEM_DEBUG_LOG) {
    OutputDebugStringA(str_newline.c_str());
    WriteToStandardError(str_newline);
  } else if (severity_ >= LOG_ERROR) {
    WriteToStandardError(str_newline);
  }

  if (destination & LOG_TO_FILE) WriteToLogFile(str_newline);

  if (severity_ == LOG_FATAL) {
    // In the dump, the record sits on this frame.
    char str_stack[1024];
    const size_t length = std::min(str_newline.size(), sizeof(str_stack) - 1);
    memcpy(str_stack, str_newline.data(), length);
    str_stack[length] = '\0';
    Alias(str_stack);

    LogAssertHandlerFunction assert_handler = g_log_assert_handler;
    if (BeingDebugged() || !assert_handler) BreakDebugger();
    assert_handler(str_newline);
  } else if (severity_ == LOG_ERROR_REPORT) {
    if (LogReportHandlerFunction report_handler = g_log_report_handler) {
      report_handler(str_newline);
    } else {
      DisplayDebugMessageInDialog(str_newline);
    }
  }

  SetLastError(last_error_);
}

Win32ErrorLogMessage::Win32ErrorLogMessage(const char* file, int line,
                                           LogSeverity severity, uint32_t err)
    : Win32ErrorLogMessage(file, line, severity, err, nullptr) {}

Win32ErrorLogMessage::Win32ErrorLogMessage(const char* file, int line,
                                           LogSeverity severity, uint32_t err,
                                           const char* module)
    : err_(err), module_(module), log_message_(file, line, severity) {}

Win32ErrorLogMessage::~Win32ErrorLogMessage() {
  const int kErrorMessageBufferSize = 256;
  char msgbuf[kErrorMessageBufferSize];
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE hmod = nullptr;
  if (module_) {
    hmod = GetModuleHandleA(module_);
    if (hmod) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  }
  const DWORD len = FormatMessageA(flags, hmod, err_, 0, msgbuf,
                                   sizeof(msgbuf) / sizeof(msgbuf[0]),
                                   nullptr);
  if (len) {
    std::string text(msgbuf, len);
    const size_t end = text.find_last_not_of(" \t\r\n\v\f");
    text.resize(end == std::string::npos ? 0 : end + 1);
    stream() << ": " << text;
  } else {
    stream() << ": Error " << GetLastError() << " while retrieving error "
             << err_;
  }
  uint32_t err_on_stack = err_;
  Alias(&err_on_stack);
}

}  // namespace base

namespace std {

std::ostream& operator<<(std::ostream& out, const wchar_t* wstr) {
  if (!wstr) return out;
  std::string utf8;
  base::WideToUTF8(wstr, wcslen(wstr), &utf8);
  return out << utf8;
}

}  // namespace std
