#include "quillavera_crash_reporter/bi_log_encryption.h"

#include "qzcrypto/crypt_file_helper.h"

void EncryptBiLogToBackup(const std::wstring& plain, const std::wstring& backup) {
  if (!IsLogEncryptionEnabled()) return;
  CryptFileHelper::GetInstance()->EncryptFile(plain, backup);
}
