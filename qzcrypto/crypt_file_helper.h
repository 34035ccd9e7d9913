// The product's one door to the encryption library: a process-wide object
// that holds the product's key material and file options (single-byte
// cryptor, no header) and encrypts or decrypts strings and files with them.
// The log writer encrypts every record through it; the crash flow decrypts
// the log and the BI backup with it.

#ifndef QZCRYPTO_CRYPT_FILE_HELPER_H_
#define QZCRYPTO_CRYPT_FILE_HELPER_H_

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include <string>

#include "qzcrypto/crypt_types.h"

// The Windows headers map these names onto their own functions; here they
// name the helper's.
#undef EncryptFile
#undef DecryptFile
#undef DeleteFile

// Names of the decrypted copies, relative to the data folder.
extern const wchar_t kDecryptedLogName[];    // "quillavera.log"
extern const wchar_t kDecryptedApmName[];    // "ad\apm.de"
extern const wchar_t kDecryptedBiLogName[];  // "Log\bilog.elogde"

// The log-encryption switch: on in this product.
bool IsLogEncryptionEnabled();

class CryptFileHelper {
 public:
  // Made on first use and never destroyed: thread-pool callbacks may still
  // log through it while the process exits.
  static CryptFileHelper* GetInstance();

  // The local application-data folder followed by "\Kestrix\QuillaVera\";
  // empty when that folder is unknown.
  static std::wstring GetDataFolder();

  const std::wstring& data_folder() const { return data_folder_; }
  const qzcrypto::CryptKey& key() const { return key_; }
  const qzcrypto::CryptOptions& options() const { return options_; }

  // In place, when the switch is on or |force| is set.
  void EncryptBuffer(std::string& data, bool force);
  void DecryptBuffer(std::string& data, bool force);
  // Whatever the switch; the library's result (-2 for an empty buffer).
  int32_t ForceEncryptBuffer(std::string& data);
  int32_t ForceDecryptBuffer(std::string& data);
  // In place when the switch is on; the library's result, 0 when off.
  int32_t DecryptBuffer(char* data, size_t length);

  // The library's result, 0 on success. A path is tried in the ANSI code
  // page when every character maps there exactly, then in UTF-8 through the
  // wide API. EncryptFile works whatever the switch; DecryptFile returns -1
  // when it is off.
  int32_t EncryptFile(const std::wstring& src, const std::wstring& dst);
  int32_t DecryptFile(const std::wstring& src, const std::wstring& dst);

  // DeleteFileW's result when the switch is on, else false.
  bool DeleteFile(const std::wstring& path);
  // Deletes the three decrypted copies in the data folder, where they
  // exist; the Async form on a thread of its own. Nothing when the switch
  // is off.
  void DeleteDecryptedCopiesAsync();
  void DeleteDecryptedCopies();

 private:
  CryptFileHelper();
  // Never destroyed (see GetInstance).
  ~CryptFileHelper() = delete;

  std::wstring data_folder_;
  qzcrypto::CryptKey key_;
  qzcrypto::CryptOptions options_;
};

// Deletes the three decrypted copies that exist in |data_folder| (which
// ends with a backslash).
void DeleteDecryptedCopiesIn(const std::wstring& data_folder);

// The log writer's record transform: encrypts a record in place while the
// switch is on. False when it could not, so that nothing is written. It
// never logs: it runs under the log's lock.
bool EncryptLogRecord(char* data, size_t length);

// Has the logging facility encrypt every record it writes to its file.
void InstallLogRecordEncryption();

#endif  // QZCRYPTO_CRYPT_FILE_HELPER_H_
