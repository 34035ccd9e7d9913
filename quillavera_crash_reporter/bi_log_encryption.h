// The BI log's encrypted form: the BI backup is the whole plain BI file
// encrypted with the wrapper's key material.

#ifndef QUILLAVERA_CRASH_REPORTER_BI_LOG_ENCRYPTION_H_
#define QUILLAVERA_CRASH_REPORTER_BI_LOG_ENCRYPTION_H_

#include <string>

// With log encryption on, writes |plain| encrypted to |backup|; the result
// is not needed: a failed backup is written again with the next record.
void EncryptBiLogToBackup(const std::wstring& plain, const std::wstring& backup);

// With log encryption on, appends |records| encrypted to |backup|. The
// cryptor works byte by byte without chaining, so the backup still decrypts
// as one file. False when they could not be appended.
bool AppendBiRecordsToBackup(const std::string& records,
                             const std::wstring& backup);

#endif  // QUILLAVERA_CRASH_REPORTER_BI_LOG_ENCRYPTION_H_
