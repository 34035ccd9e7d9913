// Free functions for every file-system action that is not a stream:
// existence, directories, deletion, copying, moving, whole-file reads and
// writes, temporary and unique names, device paths.
//
// Failures are reported by the result only (false, -1, null or the empty
// path); the last Windows error is left as the failing call left it.

#ifndef BASE_FILE_UTIL_H_
#define BASE_FILE_UTIL_H_

#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

#include "base/file_path.h"
#include "base/platform_file.h"
#include "base/time.h"

// These names are ours in namespace base; the system's are reached through
// their W forms.
#undef CopyFile
#undef CreateDirectory
#undef GetCurrentDirectory
#undef ReplaceFile
#undef SetCurrentDirectory

namespace base {

// Paths of this many units or more are refused by the calls that say so.
const size_t kMaxPathLength = MAX_PATH;

// Existence and information ---------------------------------------------------

bool PathExists(const FilePath& path);
bool DirectoryExists(const FilePath& path);
bool PathIsWritable(const FilePath& path);
bool GetFileInfo(const FilePath& file_path, PlatformFileInfo* info);
bool GetFileSize(const FilePath& file_path, int64_t* file_size);
bool GetCurrentDirectory(FilePath* path);
bool SetCurrentDirectory(const FilePath& path);
bool GetTempDir(FilePath* path);
FilePath MakeAbsoluteFilePath(const FilePath& input);
// Longest component that can still be appended to |path|, or -1.
int GetMaximumPathComponentLength(const FilePath& path);
bool IsDirectoryEmpty(const FilePath& dir_path);
int64_t ComputeDirectorySize(const FilePath& root_path);

// Creating, deleting, copying, moving -----------------------------------------

// Creates every missing folder on the way.
bool CreateDirectory(const FilePath& full_path);
bool CreateDirectoryAndGetError(const FilePath& full_path,
                                PlatformFileError* error);

// A path with '*' or '?' is refused: the shell would expand it. A missing
// path counts as deleted. Without |recursive| a folder is removed only
// when it is empty.
bool Delete(const FilePath& path, bool recursive);
bool DeleteAfterReboot(const FilePath& path);

// Refuse paths with a ".." component.
bool CopyFile(const FilePath& from_path, const FilePath& to_path);
bool Move(const FilePath& from_path, const FilePath& to_path);

// Overwrites an existing target.
bool CopyFileUnsafe(const FilePath& from_path, const FilePath& to_path);
// A folder that cannot be moved is copied, and the source deleted only
// once the copy succeeded; true only when both steps did.
bool MoveUnsafe(const FilePath& from_path, const FilePath& to_path);
bool ReplaceFile(const FilePath& from_path, const FilePath& to_path,
                 PlatformFileError* error);
bool ShellCopy(const FilePath& from_path, const FilePath& to_path,
               bool recursive);
bool CopyDirectory(const FilePath& from_path, const FilePath& to_path,
                   bool recursive);
// Copy, then delete the source only after a successful copy.
bool CopyAndDeleteDirectory(const FilePath& from_path,
                            const FilePath& to_path);

// Reading and writing ---------------------------------------------------------

// |mode| as for fopen; the file stays shared for everyone.
FILE* OpenFile(const FilePath& filename, const char* mode);
bool CloseFile(FILE* file);
// Cuts the file at its current position (64-bit).
bool TruncateFile(FILE* file);

// Appends the whole file to |contents| (when given). False when the file
// cannot be opened, the path has a ".." component, or a read fails.
bool ReadFileToString(const FilePath& path, std::string* contents);

// Byte counts, or -1; a negative |size| is refused without I/O.
int ReadFile(const FilePath& filename, char* data, int size);
int WriteFile(const FilePath& filename, const char* data, int size);
// The file must exist.
int AppendToFile(const FilePath& filename, const char* data, int size);

bool ContentsEqual(const FilePath& filename1, const FilePath& filename2);
// Ignores "\r\n" versus "\n" line ends.
bool TextContentsEqual(const FilePath& filename1, const FilePath& filename2);

bool TouchFile(const FilePath& path, const Time& last_accessed,
               const Time& last_modified);
bool SetLastModifiedTime(const FilePath& path, const Time& last_modified);

// Temporary and unique names --------------------------------------------------

bool CreateTemporaryFile(FilePath* path);
bool CreateTemporaryFileInDir(const FilePath& dir, FilePath* temp_file);
FILE* CreateAndOpenTemporaryFile(FilePath* path);
FILE* CreateAndOpenTemporaryFileInDir(const FilePath& dir, FilePath* path);
bool CreateNewTempDirectory(const FilePath::StringType& prefix,
                            FilePath* new_temp_path);
bool CreateTemporaryDirInDir(const FilePath& base_dir,
                             const FilePath::StringType& prefix,
                             FilePath* new_dir);
// 0 when |path| is free, else the first n in 1..500 for which
// "name (n).ext" is free, else -1.
int GetUniquePathNumber(const FilePath& path,
                        const FilePath::StringType& suffix);

// Device paths ----------------------------------------------------------------

// The drive-letter path of an existing, non-empty file.
bool NormalizeFilePath(const FilePath& path, FilePath* real_path);
// The native device path ("\Device\...") of an existing, non-empty file.
bool NormalizeToNativeFilePath(const FilePath& path, FilePath* nt_path);

// A drive ("X:") and its device name, as QueryDosDeviceW reports it.
typedef std::vector<std::pair<FilePath::StringType, FilePath::StringType>>
    DriveDeviceTable;
DriveDeviceTable GetDriveDeviceTable();
bool DevicePathToDriveLetterPath(const FilePath& device_path,
                                 FilePath* drive_letter_path);
bool DevicePathToDriveLetterPathWithTable(const FilePath& device_path,
                                          const DriveDeviceTable& drives,
                                          FilePath* drive_letter_path);

}  // namespace base

#endif  // BASE_FILE_UTIL_H_
