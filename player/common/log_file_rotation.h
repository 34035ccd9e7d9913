// Cuts a log file back to its tail once it has grown too large.

#ifndef PLAYER_COMMON_LOG_FILE_ROTATION_H_
#define PLAYER_COMMON_LOG_FILE_ROTATION_H_

#include <stdint.h>
#include <stdio.h>

#include <string>

#include "base/file_path.h"

// Past this size the log is cut back at start-up ...
const int64_t kMaxLogFileSize = 10485760;
// ... to its last this many bytes.
const int64_t kRotatedLogTailSize = 5242880;

// Moves a log over kMaxLogFileSize aside (<name>.old<ext>), copies its last
// kRotatedLogTailSize bytes back into a new log and deletes the moved file.
// Runs under the log's machine-wide mutex. A log that cannot be rotated is
// left as it was, byte for byte.
void RotateLogFile(const base::FilePath& log_file);

// Copies |source| from its current position to the end into a new file
// |target|; false on any read, write or close failure.
typedef bool (*LogTailCopier)(FILE* source, const base::FilePath& target);
void RotateLogFileWithCopier(const base::FilePath& log_file,
                             LogTailCopier copier);

// The name of the mutex that the logging facility takes for |log_file|.
std::wstring LogFileMutexName(const base::FilePath& log_file);

#endif  // PLAYER_COMMON_LOG_FILE_ROTATION_H_
