#include "quillavera_crash_reporter/bi_log_encryption.h"

#include <stdio.h>

#include "qzcrypto/crypt_file_helper.h"

void EncryptBiLogToBackup(const std::wstring& plain, const std::wstring& backup) {
  if (!IsLogEncryptionEnabled()) return;
  CryptFileHelper::GetInstance()->EncryptFile(plain, backup);
}

bool AppendBiRecordsToBackup(const std::string& records,
                             const std::wstring& backup) {
  if (!IsLogEncryptionEnabled()) return true;
  std::string encrypted = records;
  if (CryptFileHelper::GetInstance()->ForceEncryptBuffer(encrypted) != 0)
    return false;
  FILE* file = _wfopen(backup.c_str(), L"ab");
  if (!file) return false;
  const bool written =
      fwrite(encrypted.data(), 1, encrypted.size(), file) == encrypted.size();
  return fclose(file) == 0 && written;
}
