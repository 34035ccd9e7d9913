#include "qzcrypto/crypt_file_helper.h"

#include <shlobj.h>

#include <new>

#include "base/logging.h"
#include "base/utf_string_conversions.h"
#include "qzcrypto/cryptor.h"
#include "qzcrypto/encrypt_file.h"
#include "qzcrypto/format_constants.h"

const wchar_t kDecryptedLogName[] = L"quillavera.log";
const wchar_t kDecryptedApmName[] = L"ad\\apm.de";
const wchar_t kDecryptedBiLogName[] = L"Log\\bilog.elogde";

namespace {

// Compiled in; nothing changes them.
const bool kLogEncryptionOn = true;
const bool kLogEncryptionDisabled = false;

const wchar_t kProductFolder[] = L"\\Kestrix\\QuillaVera\\";

// The ANSI form of |wide| when every character has an exact one there: a
// best-fit stand-in ("S" for "Ŝ") could name another, existing file.
bool ToAnsiExactly(const std::wstring& wide, std::string* ansi) {
  ansi->clear();
  if (wide.empty()) return true;
  const int wide_length = static_cast<int>(wide.size());
  BOOL used_default = FALSE;
  const int length =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                          wide_length, nullptr, 0, nullptr, &used_default);
  if (length <= 0 || used_default) return false;
  ansi->resize(length);
  if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                          wide_length, &(*ansi)[0], length, nullptr,
                          &used_default) != length ||
      used_default) {
    ansi->clear();
    return false;
  }
  return true;
}

typedef int32_t (*FileFunction)(const qzcrypto::CryptKey&,
                                const qzcrypto::CryptOptions&, const char*,
                                const char*);

// The ANSI attempt first, as files were always named; then UTF-8, which
// reaches every name.
int32_t RunOnPaths(const qzcrypto::CryptKey& key,
                   const qzcrypto::CryptOptions& options,
                   const std::wstring& src, const std::wstring& dst,
                   FileFunction ansi_function, FileFunction utf8_function) {
  std::string ansi_src;
  std::string ansi_dst;
  if (ToAnsiExactly(src, &ansi_src) && ToAnsiExactly(dst, &ansi_dst)) {
    const int32_t result =
        ansi_function(key, options, ansi_src.c_str(), ansi_dst.c_str());
    if (result == qzcrypto::kCryptOk) return result;
  }
  return utf8_function(key, options, base::WideToUTF8(src).c_str(),
                       base::WideToUTF8(dst).c_str());
}

int32_t EncryptInPlace(const qzcrypto::CryptKey& key,
                       const qzcrypto::CryptOptions& options, uint8_t* data,
                       size_t length) {
  return qzcrypto::EncryptBuffer(
      key, static_cast<int32_t>(options.cryptor_type), data, data, length);
}

int32_t DecryptInPlace(const qzcrypto::CryptKey& key,
                       const qzcrypto::CryptOptions& options, uint8_t* data,
                       size_t length) {
  return qzcrypto::DecryptBuffer(
      key, static_cast<int32_t>(options.cryptor_type), data, data, length);
}

uint8_t* Bytes(std::string& data) {
  return data.empty() ? nullptr : reinterpret_cast<uint8_t*>(&data[0]);
}

DWORD WINAPI DeleteDecryptedCopiesThread(void* helper) {
  static_cast<CryptFileHelper*>(helper)->DeleteDecryptedCopies();
  return 0;
}

}  // namespace

bool IsLogEncryptionEnabled() {
  return kLogEncryptionOn && !kLogEncryptionDisabled;
}

CryptFileHelper* CryptFileHelper::GetInstance() {
  static CryptFileHelper* const instance = new CryptFileHelper;
  return instance;
}

std::wstring CryptFileHelper::GetDataFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr,
                              SHGFP_TYPE_CURRENT, folder))) {
    return std::wstring();
  }
  return std::wstring(folder) + kProductFolder;
}

CryptFileHelper::CryptFileHelper()
    : data_folder_(GetDataFolder()),
      key_{qzcrypto::kProductKeyMaterial, qzcrypto::kProductKeyLength},
      options_{false, static_cast<uint32_t>(qzcrypto::kSingleByteCryptorType)} {
}

void CryptFileHelper::EncryptBuffer(std::string& data, bool force) {
  if (IsLogEncryptionEnabled() || force) ForceEncryptBuffer(data);
}

void CryptFileHelper::DecryptBuffer(std::string& data, bool force) {
  if (IsLogEncryptionEnabled() || force) ForceDecryptBuffer(data);
}

int32_t CryptFileHelper::ForceEncryptBuffer(std::string& data) {
  return EncryptInPlace(key_, options_, Bytes(data), data.size());
}

int32_t CryptFileHelper::ForceDecryptBuffer(std::string& data) {
  return DecryptInPlace(key_, options_, Bytes(data), data.size());
}

int32_t CryptFileHelper::DecryptBuffer(char* data, size_t length) {
  if (!IsLogEncryptionEnabled()) return qzcrypto::kCryptOk;
  return DecryptInPlace(key_, options_, reinterpret_cast<uint8_t*>(data),
                        length);
}

int32_t CryptFileHelper::EncryptFile(const std::wstring& src,
                                     const std::wstring& dst) {
  return RunOnPaths(key_, options_, src, dst, &qzcrypto::EncryptFile,
                    &qzcrypto::EncryptFileUtf8);
}

int32_t CryptFileHelper::DecryptFile(const std::wstring& src,
                                     const std::wstring& dst) {
  if (!IsLogEncryptionEnabled()) return qzcrypto::kCryptIoError;
  return RunOnPaths(key_, options_, src, dst, &qzcrypto::DecryptFile,
                    &qzcrypto::DecryptFileUtf8);
}

bool CryptFileHelper::DeleteFile(const std::wstring& path) {
  if (!IsLogEncryptionEnabled()) return false;
  return DeleteFileW(path.c_str()) != FALSE;
}

void CryptFileHelper::DeleteDecryptedCopiesAsync() {
  if (!IsLogEncryptionEnabled()) return;
  HANDLE thread =
      CreateThread(nullptr, 0, &DeleteDecryptedCopiesThread, this, 0, nullptr);
  if (thread) CloseHandle(thread);
}

void CryptFileHelper::DeleteDecryptedCopies() {
  if (!IsLogEncryptionEnabled()) return;
  DeleteDecryptedCopiesIn(data_folder_);
}

void DeleteDecryptedCopiesIn(const std::wstring& data_folder) {
  for (const wchar_t* name :
       {kDecryptedLogName, kDecryptedApmName, kDecryptedBiLogName}) {
    const std::wstring path = data_folder + name;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(path.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) continue;
    FindClose(find);
    DeleteFileW(path.c_str());
  }
}

bool EncryptLogRecord(char* data, size_t length) {
  if (!IsLogEncryptionEnabled() || !length) return true;
  const CryptFileHelper* helper = CryptFileHelper::GetInstance();
  return EncryptInPlace(helper->key(), helper->options(),
                        reinterpret_cast<uint8_t*>(data),
                        length) == qzcrypto::kCryptOk;
}

void InstallLogRecordEncryption() {
  base::SetLogRecordTransform(&EncryptLogRecord);
}
