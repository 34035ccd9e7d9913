#include "quillavera_crash_reporter/bi_log_encryption.h"

// TEMPORARY until the encryption wrapper is on main.
void EncryptBiLogToBackup(const std::wstring&, const std::wstring&) {}
