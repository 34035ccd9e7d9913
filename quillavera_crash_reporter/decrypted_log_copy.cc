#include "quillavera_crash_reporter/decrypted_log_copy.h"

#include <windows.h>

#include "quillavera_crash_reporter/reporter_paths.h"
#include "qzcrypto/crypt_file_helper.h"

namespace {

const wchar_t kMainLogName[] = L"\\quillavera.elog";

// The size of |path| when it opens as a file; -1 otherwise (a folder, a
// missing file).
int64_t SizeIfFileOpens(const std::wstring& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER size;
  const bool known = GetFileSizeEx(file, &size) != FALSE;
  CloseHandle(file);
  return known ? size.QuadPart : -1;
}

}  // namespace

std::wstring GetMainLogPath() {
  const std::wstring data = GetLocalDataFolder();
  return data.empty() ? data : data + kMainLogName;
}

std::wstring GetDecryptedLogPath() {
  const std::wstring data = GetLocalDataFolder();
  return data.empty() ? data : data + L"\\" + kDecryptedLogName;
}

std::wstring DecryptLogForPacking() {
  const std::wstring log = GetMainLogPath();
  const int64_t size = SizeIfFileOpens(log);
  if (size < 0 || size >= GetMaxCollectedLogSize()) return std::wstring();
  if (!IsLogEncryptionEnabled()) return log;
  const std::wstring copy = GetDecryptedLogPath();
  // A failure leaves no copy or a partial one; either is listed, and the
  // archive skips a missing file.
  CryptFileHelper::GetInstance()->DecryptFile(log, copy);
  return copy;
}

void DeleteDecryptedLogCopy() {
  if (!IsLogEncryptionEnabled()) return;
  DeleteFileW(GetDecryptedLogPath().c_str());
}
