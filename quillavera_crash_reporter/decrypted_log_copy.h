// The reporter's log is written encrypted record by record; the crash data
// carries a plain copy of it, "quillavera.log" in the data folder, made
// just before the archive is packed and deleted right after.

#ifndef QUILLAVERA_CRASH_REPORTER_DECRYPTED_LOG_COPY_H_
#define QUILLAVERA_CRASH_REPORTER_DECRYPTED_LOG_COPY_H_

#include <string>

// The log's entry for the crash-data archive. When data\quillavera.elog
// opens as a file and is smaller than GetMaxCollectedLogSize: with log
// encryption on, decrypts it into data\quillavera.log and returns that
// path, also when the decryption failed (the archive skips a missing
// file); with encryption off, returns the log's own path. Otherwise "".
std::wstring DecryptLogForPacking();

// With log encryption on, deletes data\quillavera.log.
void DeleteDecryptedLogCopy();

// data + "\quillavera.elog" and data + "\quillavera.log"; "" when the data
// folder is unknown.
std::wstring GetMainLogPath();
std::wstring GetDecryptedLogPath();

#endif  // QUILLAVERA_CRASH_REPORTER_DECRYPTED_LOG_COPY_H_
