#include "player/common/log_file_rotation.h"

#include <windows.h>

#include <algorithm>

#include "base/file_util.h"

namespace {

// How long rotation waits for a writer that holds the log's mutex.
const DWORD kLogMutexWaitMs = 5000;

const size_t kCopyBlockSize = 4096;

// Holds the logging facility's machine-wide mutex for one log file.
class ScopedLogFileMutex {
 public:
  explicit ScopedLogFileMutex(const base::FilePath& log_file)
      : mutex_(::CreateMutexW(nullptr, FALSE,
                              LogFileMutexName(log_file).c_str())),
        owned_(false) {
    if (!mutex_) return;
    DWORD wait = ::WaitForSingleObject(mutex_, kLogMutexWaitMs);
    // An abandoned mutex is ours now: its owner died mid-write.
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  ~ScopedLogFileMutex() {
    if (owned_) ::ReleaseMutex(mutex_);
    if (mutex_) ::CloseHandle(mutex_);
  }
  ScopedLogFileMutex(const ScopedLogFileMutex&) = delete;
  ScopedLogFileMutex& operator=(const ScopedLogFileMutex&) = delete;

  bool owned() const { return owned_; }

 private:
  HANDLE mutex_;
  bool owned_;
};

bool CopyToEnd(FILE* source, const base::FilePath& target) {
  FILE* out = base::OpenFile(target, "wb");
  if (!out) return false;
  char buffer[kCopyBlockSize];
  bool ok = true;
  while (ok) {
    size_t read = fread(buffer, 1, sizeof(buffer), source);
    if (read > 0 && fwrite(buffer, 1, read, out) != read) ok = false;
    if (read < sizeof(buffer)) {
      if (ferror(source)) ok = false;
      break;
    }
  }
  if (fflush(out) != 0) ok = false;
  if (!base::CloseFile(out)) ok = false;
  return ok;
}

// Copies the tail of |old_file| into a new |log_file|.
bool CopyTail(const base::FilePath& old_file, const base::FilePath& log_file,
              LogTailCopier copier) {
  FILE* old = base::OpenFile(old_file, "rb");
  if (!old) return false;
  bool ok = _fseeki64(old, -kRotatedLogTailSize, SEEK_END) == 0 &&
            copier(old, log_file);
  base::CloseFile(old);
  return ok;
}

}  // namespace

std::wstring LogFileMutexName(const base::FilePath& log_file) {
  std::wstring name = L"Global\\" + log_file.value();
  std::replace(name.begin() + 7, name.end(), L'\\', L'/');
  return name;
}

void RotateLogFile(const base::FilePath& log_file) {
  RotateLogFileWithCopier(log_file, &CopyToEnd);
}

void RotateLogFileWithCopier(const base::FilePath& log_file,
                             LogTailCopier copier) {
  int64_t size = 0;
  if (!base::GetFileSize(log_file, &size) || size <= kMaxLogFileSize) return;

  // Another process may be appending to the same log.
  ScopedLogFileMutex mutex(log_file);
  if (!mutex.owned()) return;

  base::FilePath old_file = log_file.InsertBeforeExtension(L".old");
  if (old_file.empty() || !base::Move(log_file, old_file)) return;

  if (CopyTail(old_file, log_file, copier)) {
    base::Delete(old_file, false);
    return;
  }
  // The tail could not be written: put the whole log back. Should even that
  // fail, the moved file stays so that no record is lost.
  base::Move(old_file, log_file);
}
