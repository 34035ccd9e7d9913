// A raw Windows file handle opened from a set of flags, with positional
// I/O, file facts and the mapping of Win32 errors to our own codes.

#ifndef BASE_PLATFORM_FILE_H_
#define BASE_PLATFORM_FILE_H_

#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include "base/file_path.h"
#include "base/time.h"

namespace base {

typedef HANDLE PlatformFile;
const PlatformFile kInvalidPlatformFileValue = INVALID_HANDLE_VALUE;

enum PlatformFileFlags {
  PLATFORM_FILE_OPEN = 1 << 0,            // OPEN_EXISTING
  PLATFORM_FILE_CREATE = 1 << 1,          // CREATE_NEW
  PLATFORM_FILE_OPEN_ALWAYS = 1 << 2,     // OPEN_ALWAYS
  PLATFORM_FILE_CREATE_ALWAYS = 1 << 3,   // CREATE_ALWAYS
  PLATFORM_FILE_OPEN_TRUNCATED = 1 << 4,  // TRUNCATE_EXISTING, wins
  PLATFORM_FILE_READ = 1 << 5,
  PLATFORM_FILE_WRITE = 1 << 6,
  PLATFORM_FILE_APPEND = 1 << 7,  // instead of plain write access
  PLATFORM_FILE_EXCLUSIVE_READ = 1 << 8,
  PLATFORM_FILE_EXCLUSIVE_WRITE = 1 << 9,
  PLATFORM_FILE_ASYNC = 1 << 10,
  PLATFORM_FILE_TEMPORARY = 1 << 11,
  PLATFORM_FILE_HIDDEN = 1 << 12,
  PLATFORM_FILE_DELETE_ON_CLOSE = 1 << 13,
  PLATFORM_FILE_WRITE_ATTRIBUTES = 1 << 14,
  PLATFORM_FILE_SHARE_DELETE = 1 << 16,
  PLATFORM_FILE_BACKUP_SEMANTICS = 1 << 18,
  PLATFORM_FILE_EXECUTE = 1 << 19,
};

enum PlatformFileError {
  PLATFORM_FILE_OK = 0,
  PLATFORM_FILE_ERROR_FAILED = -1,
  PLATFORM_FILE_ERROR_IN_USE = -2,
  PLATFORM_FILE_ERROR_EXISTS = -3,
  PLATFORM_FILE_ERROR_NOT_FOUND = -4,
  PLATFORM_FILE_ERROR_ACCESS_DENIED = -5,
  PLATFORM_FILE_ERROR_TOO_MANY_OPENED = -6,
  PLATFORM_FILE_ERROR_NO_MEMORY = -7,
  PLATFORM_FILE_ERROR_NO_SPACE = -8,
  PLATFORM_FILE_ERROR_NOT_A_DIRECTORY = -9,
  PLATFORM_FILE_ERROR_INVALID_OPERATION = -10,
  PLATFORM_FILE_ERROR_IO = -16,
};

// Passed to SetFilePointerEx unchanged.
enum PlatformFileWhence {
  PLATFORM_FILE_FROM_BEGIN = 0,
  PLATFORM_FILE_FROM_CURRENT = 1,
  PLATFORM_FILE_FROM_END = 2,
};

struct PlatformFileInfo {
  PlatformFileInfo();
  ~PlatformFileInfo();

  int64_t size;
  bool is_directory;
  bool is_symbolic_link;  // never set on this platform
  Time last_modified;
  Time last_accessed;
  Time creation_time;
};

PlatformFileError LastErrorToPlatformFileError(DWORD last_error);

// Refuses a |name| with a ".." component (ACCESS_DENIED).
PlatformFile CreatePlatformFile(const FilePath& name, int flags,
                                bool* created, PlatformFileError* error);
// Without a disposition flag nothing is opened and the result is
// kInvalidPlatformFileValue with FAILED.
PlatformFile CreatePlatformFileUnsafe(const FilePath& name, int flags,
                                      bool* created,
                                      PlatformFileError* error);

FILE* FdopenPlatformFile(PlatformFile file, const char* mode);

bool ClosePlatformFile(PlatformFile file);

// The new position, or -1 (also for a negative offset).
int64_t SeekPlatformFile(PlatformFile file, PlatformFileWhence whence,
                         int64_t offset);

// Positional I/O: the byte count, 0 at or past the end for reads, -1 on
// failure or for a negative offset or size. Works on handles opened for
// overlapped I/O too: the call waits for the transfer to finish.
int ReadPlatformFile(PlatformFile file, int64_t offset, char* data, int size);
// The two entry points of each pair below are the same call at offset 0.
int ReadPlatformFileAtStart(PlatformFile file, char* data, int size);
int ReadPlatformFileAtStartNoBestEffort(PlatformFile file, char* data,
                                        int size);
int WritePlatformFile(PlatformFile file, int64_t offset, const char* data,
                      int size);
int WritePlatformFileAtStart(PlatformFile file, const char* data, int size);
int WritePlatformFileAtStartNoBestEffort(PlatformFile file, const char* data,
                                         int size);

// Sets the length and keeps the current position.
bool TruncatePlatformFile(PlatformFile file, int64_t length);
bool FlushPlatformFile(PlatformFile file);
bool TouchPlatformFile(PlatformFile file, const Time& last_access_time,
                       const Time& last_modified_time);
bool GetPlatformFileInfo(PlatformFile file, PlatformFileInfo* info);

}  // namespace base

#endif  // BASE_PLATFORM_FILE_H_
