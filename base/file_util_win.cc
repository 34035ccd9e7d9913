#include "base/file_util.h"

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <io.h>
#include <share.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <string>

#include "base/file_enumerator.h"
#include "base/rand_util.h"
#include "base/string_number_conversions.h"
#include "base/stringprintf.h"
#include "base/sys_info_windows_version.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

bool IsTooLong(const FilePath& path) {
  return path.value().length() >= kMaxPathLength;
}

// A zeroed buffer of MAX_PATH + 1 units holding |path|, so that the shell
// sees the double NUL it needs at the end of its list.
std::vector<wchar_t> DoubleNulTerminated(const FilePath& path) {
  std::vector<wchar_t> buffer(kMaxPathLength + 1, L'\0');
  memcpy(buffer.data(), path.value().c_str(),
         path.value().length() * sizeof(wchar_t));
  return buffer;
}

bool HasShellWildcard(const FilePath& path) {
  return path.value().find_first_of(L"*?") != FilePath::StringType::npos;
}

std::wstring WidenMode(const char* mode) {
  std::wstring wide;
  for (; *mode; ++mode)
    wide.push_back(static_cast<unsigned char>(*mode));
  return wide;
}

// True when every folder and file under |from| has its counterpart under
// |copy| (files of the same size). The shell can report success for a copy
// it did not make, so a source is deleted only after this check.
bool IsCompleteCopy(const FilePath& from, const FilePath& copy) {
  if (!DirectoryExists(copy))
    return false;
  FileEnumerator walk(from, true,
                      FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  for (FilePath entry = walk.Next(); !entry.empty(); entry = walk.Next()) {
    FilePath counterpart = copy;
    if (!from.AppendRelativePath(entry, &counterpart))
      return false;
    PlatformFileInfo copied;
    if (!GetFileInfo(counterpart, &copied))
      return false;
    const FileEnumerator::FileInfo original = walk.GetInfo();
    if (copied.is_directory != original.IsDirectory())
      return false;
    if (!copied.is_directory && copied.size != original.GetSize())
      return false;
  }
  return true;
}

// Where ShellCopy(from, to, true) puts the copy: inside |to| when that is
// a folder already, else at |to|.
FilePath ShellCopyTarget(const FilePath& from, const FilePath& to) {
  if (DirectoryExists(to))
    return to.Append(from.StripTrailingSeparators().BaseName());
  return to;
}

// Which file or folder a path names, whatever its spelling ("x\.", "x\",
// another case, a link).
struct FileIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index_high == other.index_high &&
           index_low == other.index_low;
  }
};

bool GetFileIdentity(const FilePath& path, FileIdentity* identity) {
  win::ScopedHandle file(::CreateFileW(
      path.value().c_str(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.IsValid() || !::GetFileInformationByHandle(file.Get(), &info))
    return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index_high = info.nFileIndexHigh;
  identity->index_low = info.nFileIndexLow;
  return true;
}

// |path| made absolute (as given when that fails), without trailing
// separators.
FilePath AbsoluteOrAsGiven(const FilePath& path) {
  const FilePath absolute = MakeAbsoluteFilePath(path);
  return (absolute.empty() ? path : absolute).StripTrailingSeparators();
}

// True when |target| is |source| itself or lies somewhere inside it: a copy
// there would copy the source onto or into itself, and deleting the source
// afterwards would delete the copy with it.
bool IsSourceOrInside(const FilePath& source, const FilePath& target) {
  FileIdentity source_identity;
  // Nothing there, nothing to lose.
  if (!GetFileIdentity(source, &source_identity))
    return false;
  for (FilePath path = AbsoluteOrAsGiven(target);; path = path.DirName()) {
    FileIdentity identity;
    if (GetFileIdentity(path, &identity) && identity == source_identity)
      return true;
    if (path.DirName() == path)
      return false;
  }
}

// True when |to| names |from| itself, in the same folder, with other letter
// cases in its last component: a rename in place, not a move onto itself.
bool IsCaseOnlyRename(const FilePath& from, const FilePath& to) {
  const FilePath from_name = from.StripTrailingSeparators().BaseName();
  const FilePath to_name = to.StripTrailingSeparators().BaseName();
  if (from_name.value() == to_name.value() ||
      FilePath::CompareIgnoreCase(from_name.value(), to_name.value()) != 0)
    return false;
  FileIdentity from_identity, to_identity, from_folder, to_folder;
  return GetFileIdentity(from, &from_identity) &&
         GetFileIdentity(to, &to_identity) && from_identity == to_identity &&
         GetFileIdentity(AbsoluteOrAsGiven(from).DirName(), &from_folder) &&
         GetFileIdentity(AbsoluteOrAsGiven(to).DirName(), &to_folder) &&
         from_folder == to_folder;
}

// Gives |from| the letter cases of |to| by way of a free name beside it:
// Wine reports a direct rename of that kind as done and keeps the old name.
// On failure the entry keeps its old name.
bool RenameCaseOnly(const FilePath& from, const FilePath& to) {
  const FilePath step(from.StripTrailingSeparators().value() + L".rename-" +
                      std::to_wstring(::GetCurrentProcessId()) + L"-" +
                      std::to_wstring(::GetTickCount64()));
  if (IsTooLong(step) ||
      !::MoveFileExW(from.value().c_str(), step.value().c_str(), 0)) {
    return false;
  }
  if (::MoveFileExW(step.value().c_str(), to.value().c_str(), 0))
    return true;
  const DWORD last_error = ::GetLastError();
  ::MoveFileExW(step.value().c_str(), from.value().c_str(), 0);
  ::SetLastError(last_error);
  return false;
}

// Also where a folder lands when |to| is a folder already.
bool WouldLandOnItself(const FilePath& from, const FilePath& to) {
  return IsSourceOrInside(from, to) ||
         IsSourceOrInside(from, ShellCopyTarget(from, to));
}

// Copies the folder |from| and deletes it only once the copy is complete;
// true only when both steps succeeded.
bool CopyThenDeleteFolder(const FilePath& from, const FilePath& to) {
  if (WouldLandOnItself(from, to))
    return false;
  const FilePath target = ShellCopyTarget(from, to);
  if (!ShellCopy(from, to, true) || !IsCompleteCopy(from, target))
    return false;
  return Delete(from, true);
}

bool IsDirectoryLink(DWORD attributes) {
  const DWORD kLinkedFolder = FILE_ATTRIBUTE_DIRECTORY |
                              FILE_ATTRIBUTE_REPARSE_POINT;
  return (attributes & kLinkedFolder) == kLinkedFolder;
}

// Removes a folder link itself, never what it points to.
bool RemoveDirectoryLink(const FilePath& link) {
  if (::RemoveDirectoryW(link.value().c_str()) ||
      ::DeleteFileW(link.value().c_str())) {
    return true;
  }
  return !PathExists(link);
}

// The shell's recursive delete walks into folder links and empties the
// folders they point to, wherever those are. So the links in the tree go
// first, each as a link; the walk does not enter them.
bool RemoveDirectoryLinksIn(const FilePath& root) {
  std::vector<FilePath> links;
  FileEnumerator walk(root, true, FileEnumerator::DIRECTORIES);
  for (FilePath entry = walk.Next(); !entry.empty(); entry = walk.Next()) {
    if (IsDirectoryLink(walk.GetInfo().find_data().dwFileAttributes))
      links.push_back(entry);
  }
  for (const FilePath& link : links) {
    if (!RemoveDirectoryLink(link))
      return false;
  }
  return true;
}

bool IsEmptyOrRoot(const FilePath& path) {
  const FilePath stripped = path.StripTrailingSeparators();
  return stripped.empty() || stripped.DirName() == stripped;
}

}  // namespace

// Existence and information ---------------------------------------------------

bool PathExists(const FilePath& path) {
  return ::GetFileAttributesW(path.value().c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathIsWritable(const FilePath& path) {
  win::ScopedHandle dir(::CreateFileW(
      path.value().c_str(), FILE_ADD_FILE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return dir.IsValid();
}

bool GetFileInfo(const FilePath& file_path, PlatformFileInfo* results) {
  WIN32_FILE_ATTRIBUTE_DATA attr;
  if (!::GetFileAttributesExW(file_path.value().c_str(), GetFileExInfoStandard,
                              &attr)) {
    return false;
  }
  ULARGE_INTEGER size;
  size.HighPart = attr.nFileSizeHigh;
  size.LowPart = attr.nFileSizeLow;
  results->size = static_cast<int64_t>(size.QuadPart);
  results->is_directory =
      (attr.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  results->last_modified = Time::FromFileTime(attr.ftLastWriteTime);
  results->last_accessed = Time::FromFileTime(attr.ftLastAccessTime);
  results->creation_time = Time::FromFileTime(attr.ftCreationTime);
  return true;
}

bool GetFileSize(const FilePath& file_path, int64_t* file_size) {
  PlatformFileInfo info;
  if (!GetFileInfo(file_path, &info))
    return false;
  *file_size = info.size;
  return true;
}

bool GetCurrentDirectory(FilePath* dir) {
  wchar_t system_buffer[MAX_PATH];
  system_buffer[0] = 0;
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, system_buffer);
  if (length == 0 || length > MAX_PATH)
    return false;
  *dir = FilePath(FilePath::StringType(system_buffer)).StripTrailingSeparators();
  return true;
}

bool SetCurrentDirectory(const FilePath& directory) {
  return ::SetCurrentDirectoryW(directory.value().c_str()) != 0;
}

bool GetTempDir(FilePath* path) {
  wchar_t temp_path[MAX_PATH + 1];
  const DWORD path_length = ::GetTempPathW(MAX_PATH, temp_path);
  if (path_length >= MAX_PATH || path_length <= 0)
    return false;
  *path = FilePath(FilePath::StringType(temp_path)).StripTrailingSeparators();
  return true;
}

FilePath MakeAbsoluteFilePath(const FilePath& input) {
  wchar_t file_path[MAX_PATH];
  if (!_wfullpath(file_path, input.value().c_str(), MAX_PATH))
    return FilePath();
  return FilePath(FilePath::StringType(file_path));
}

int GetMaximumPathComponentLength(const FilePath& path) {
  wchar_t volume_path[MAX_PATH];
  if (!::GetVolumePathNameW(path.NormalizePathSeparators().value().c_str(),
                            volume_path, MAX_PATH)) {
    return -1;
  }
  DWORD max_length = 0;
  if (!::GetVolumeInformationW(volume_path, nullptr, 0, nullptr, &max_length,
                               nullptr, nullptr, 0)) {
    return -1;
  }
  // The room left in MAX_PATH after "path\" and the terminating NUL.
  const int prefix =
      static_cast<int>(path.StripTrailingSeparators().value().length()) + 1;
  int whole_path_limit = static_cast<int>(MAX_PATH) - 1 - prefix;
  if (whole_path_limit < 0)
    whole_path_limit = 0;
  return whole_path_limit < static_cast<int>(max_length)
             ? whole_path_limit
             : static_cast<int>(max_length);
}

bool IsDirectoryEmpty(const FilePath& dir_path) {
  FileEnumerator files(dir_path, false,
                       FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  return files.Next().empty();
}

int64_t ComputeDirectorySize(const FilePath& root_path) {
  int64_t running_size = 0;
  FileEnumerator file_iter(root_path, true, FileEnumerator::FILES);
  while (!file_iter.Next().empty())
    running_size += file_iter.GetInfo().GetSize();
  return running_size;
}

// Creating, deleting, copying, moving -----------------------------------------

bool CreateDirectory(const FilePath& full_path) {
  return CreateDirectoryAndGetError(full_path, nullptr);
}

bool CreateDirectoryAndGetError(const FilePath& full_path,
                                PlatformFileError* error) {
  const DWORD fileattr = ::GetFileAttributesW(full_path.value().c_str());
  if (fileattr != INVALID_FILE_ATTRIBUTES) {
    if ((fileattr & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return true;
    if (error)
      *error = PLATFORM_FILE_ERROR_NOT_A_DIRECTORY;
    return false;
  }

  // Reaching the root without an existing folder on the way means the
  // drive or share itself is missing.
  const FilePath parent_path(full_path.DirName());
  if (parent_path.value() == full_path.value()) {
    if (error)
      *error = PLATFORM_FILE_ERROR_NOT_FOUND;
    return false;
  }
  if (!CreateDirectoryAndGetError(parent_path, error))
    return false;

  if (!::CreateDirectoryW(full_path.value().c_str(), nullptr)) {
    const DWORD error_code = ::GetLastError();
    if (error_code == ERROR_ALREADY_EXISTS && DirectoryExists(full_path))
      return true;  // another process made it first
    if (error)
      *error = LastErrorToPlatformFileError(error_code);
    return false;
  }
  return true;
}

bool Delete(const FilePath& path, bool recursive) {
  if (IsTooLong(path))
    return false;
  // The shell expands wildcards: "delete this file" must never become
  // "delete what matches".
  if (HasShellWildcard(path))
    return false;
  // An empty path or a drive root would hand the current folder or a whole
  // drive to the shell.
  if (IsEmptyOrRoot(path))
    return false;

  WIN32_FILE_ATTRIBUTE_DATA attr;
  const bool exists = ::GetFileAttributesExW(
      path.value().c_str(), GetFileExInfoStandard, &attr) != 0;
  if (exists && IsDirectoryLink(attr.dwFileAttributes))
    return RemoveDirectoryLink(path);

  if (!recursive) {
    if (exists && (attr.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return ::RemoveDirectoryW(path.value().c_str()) != 0;
    if (::DeleteFileW(path.value().c_str()) != 0)
      return true;
  } else if (exists && (attr.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
             !RemoveDirectoryLinksIn(path)) {
    return false;
  }

  std::vector<wchar_t> double_terminated = DoubleNulTerminated(path);
  SHFILEOPSTRUCTW file_operation = {};
  file_operation.wFunc = FO_DELETE;
  file_operation.pFrom = double_terminated.data();
  file_operation.fFlags = FOF_NOERRORUI | FOF_SILENT | FOF_NOCONFIRMATION;
  if (!recursive)
    file_operation.fFlags |= FOF_NORECURSION | FOF_FILESONLY;
  const int err = ::SHFileOperationW(&file_operation);

  if (file_operation.fAnyOperationsAborted)
    return false;
  // A path that is not there counts as deleted.
  return err == 0 || err == ERROR_FILE_NOT_FOUND || err == 0x402;
}

bool DeleteAfterReboot(const FilePath& path) {
  if (IsTooLong(path))
    return false;
  return ::MoveFileExW(path.value().c_str(), nullptr,
                       MOVEFILE_DELAY_UNTIL_REBOOT |
                           MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CopyFile(const FilePath& from_path, const FilePath& to_path) {
  if (from_path.ReferencesParent() || to_path.ReferencesParent())
    return false;
  return CopyFileUnsafe(from_path, to_path);
}

bool CopyFileUnsafe(const FilePath& from_path, const FilePath& to_path) {
  if (IsTooLong(from_path) || IsTooLong(to_path))
    return false;
  if (IsSourceOrInside(from_path, to_path))
    return false;
  return ::CopyFileW(from_path.value().c_str(), to_path.value().c_str(),
                     FALSE) != 0;
}

bool Move(const FilePath& from_path, const FilePath& to_path) {
  if (from_path.ReferencesParent() || to_path.ReferencesParent())
    return false;
  return MoveUnsafe(from_path, to_path);
}

bool MoveUnsafe(const FilePath& from_path, const FilePath& to_path) {
  if (IsTooLong(from_path) || IsTooLong(to_path))
    return false;
  // A new letter case for the same name is a rename, not a move onto itself.
  if (IsCaseOnlyRename(from_path, to_path))
    return RenameCaseOnly(from_path, to_path);
  // Moving a folder into its own parent or into itself ends with the copy
  // and the source being one and the same, and the source is then deleted.
  if (WouldLandOnItself(from_path, to_path)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (::MoveFileExW(from_path.value().c_str(), to_path.value().c_str(),
                    MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING) != 0) {
    return true;
  }

  // Folders cannot be moved across volumes: copy, then delete the source,
  // but only once the copy is complete.
  const DWORD last_error = ::GetLastError();
  if (DirectoryExists(from_path) && CopyThenDeleteFolder(from_path, to_path))
    return true;
  ::SetLastError(last_error);
  return false;
}

bool ReplaceFile(const FilePath& from_path, const FilePath& to_path,
                 PlatformFileError* error) {
  // Works when |to_path| does not exist yet.
  if (::MoveFileW(from_path.value().c_str(), to_path.value().c_str()))
    return true;
  if (::ReplaceFileW(to_path.value().c_str(), from_path.value().c_str(),
                     nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
    return true;
  }
  if (error)
    *error = LastErrorToPlatformFileError(::GetLastError());
  return false;
}

bool ShellCopy(const FilePath& from_path, const FilePath& to_path,
               bool recursive) {
  const FilePath from = from_path.StripTrailingSeparators();
  const FilePath to = to_path.StripTrailingSeparators();
  if (IsTooLong(from) || IsTooLong(to))
    return false;
  if (recursive && WouldLandOnItself(from, to))
    return false;

  std::vector<wchar_t> double_terminated_from = DoubleNulTerminated(from);
  std::vector<wchar_t> double_terminated_to = DoubleNulTerminated(to);
  SHFILEOPSTRUCTW file_operation = {};
  file_operation.wFunc = FO_COPY;
  file_operation.pFrom = double_terminated_from.data();
  file_operation.pTo = double_terminated_to.data();
  file_operation.fFlags = FOF_NOERRORUI | FOF_SILENT | FOF_NOCONFIRMATION |
                          FOF_NOCONFIRMMKDIR;
  if (!recursive)
    file_operation.fFlags |= FOF_NORECURSION | FOF_FILESONLY;
  return ::SHFileOperationW(&file_operation) == 0;
}

bool CopyDirectory(const FilePath& from_path, const FilePath& to_path,
                   bool recursive) {
  if (recursive)
    return ShellCopy(from_path, to_path, true);

  // The shell cannot copy a folder's files without recursing when the
  // target does not exist yet.
  if (!PathExists(to_path)) {
    if (GetWindowsVersion() < VERSION_VISTA)
      ShellCopy(from_path, to_path, false);
    else
      CreateDirectory(to_path);
  }
  return ShellCopy(from_path.Append(L"*.*"), to_path, false);
}

bool CopyAndDeleteDirectory(const FilePath& from_path,
                            const FilePath& to_path) {
  return CopyThenDeleteFolder(from_path, to_path);
}

// Reading and writing ---------------------------------------------------------

FILE* OpenFile(const FilePath& filename, const char* mode) {
  return _wfsopen(filename.value().c_str(), WidenMode(mode).c_str(),
                  _SH_DENYNO);
}

bool CloseFile(FILE* file) {
  if (!file)
    return true;
  return fclose(file) == 0;
}

bool TruncateFile(FILE* file) {
  if (!file)
    return false;
  // 64-bit positions: files beyond 2 GiB are cut where they stand.
  const __int64 current_offset = _ftelli64(file);
  if (current_offset == -1)
    return false;
  return _chsize_s(_fileno(file), current_offset) == 0;
}

bool ReadFileToString(const FilePath& path, std::string* contents) {
  if (path.ReferencesParent())
    return false;
  FILE* file = OpenFile(path, "rb");
  if (!file)
    return false;

  char buf[1 << 16];
  size_t len;
  while ((len = fread(buf, 1, sizeof(buf), file)) > 0) {
    if (contents)
      contents->append(buf, len);
  }
  // A failing read must not pass for the end of the file.
  const bool read_ok = !ferror(file);
  CloseFile(file);
  return read_ok;
}

int ReadFile(const FilePath& filename, char* data, int size) {
  if (size < 0)
    return -1;
  win::ScopedHandle file(::CreateFileW(
      filename.value().c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid())
    return -1;
  DWORD read;
  if (::ReadFile(file.Get(), data, static_cast<DWORD>(size), &read, nullptr) &&
      static_cast<int>(read) == size) {
    return static_cast<int>(read);
  }
  return -1;
}

namespace {

// Writes all of |data| to |filename| opened with |access| and |disposition|:
// |size|, or -1 when the file cannot be opened or not every byte is written.
int WriteWholeBuffer(const FilePath& filename, DWORD access, DWORD disposition,
                     const char* data, int size) {
  if (size < 0)
    return -1;
  win::ScopedHandle file(::CreateFileW(filename.value().c_str(), access, 0,
                                       nullptr, disposition, 0, nullptr));
  if (!file.IsValid())
    return -1;
  DWORD written;
  const BOOL result = ::WriteFile(file.Get(), data, static_cast<DWORD>(size),
                                  &written, nullptr);
  if (result && static_cast<int>(written) == size)
    return static_cast<int>(written);
  return -1;
}

}  // namespace

int WriteFile(const FilePath& filename, const char* data, int size) {
  return WriteWholeBuffer(filename, GENERIC_WRITE, CREATE_ALWAYS, data, size);
}

int AppendToFile(const FilePath& filename, const char* data, int size) {
  return WriteWholeBuffer(filename, FILE_APPEND_DATA, OPEN_EXISTING, data,
                          size);
}

bool ContentsEqual(const FilePath& filename1, const FilePath& filename2) {
  std::ifstream file1(filename1.value().c_str(),
                      std::ios::in | std::ios::binary);
  std::ifstream file2(filename2.value().c_str(),
                      std::ios::in | std::ios::binary);
  if (!file1.is_open() || !file2.is_open())
    return false;

  const int kBufferSize = 2056;
  char buffer1[kBufferSize];
  char buffer2[kBufferSize];
  do {
    file1.read(buffer1, kBufferSize);
    file2.read(buffer2, kBufferSize);
    if ((file1.eof() != file2.eof()) || (file1.gcount() != file2.gcount()) ||
        memcmp(buffer1, buffer2, static_cast<size_t>(file1.gcount()))) {
      return false;
    }
  } while (!file1.eof() || !file2.eof());
  return true;
}

bool TextContentsEqual(const FilePath& filename1, const FilePath& filename2) {
  std::ifstream file1(filename1.value().c_str(), std::ios::in);
  std::ifstream file2(filename2.value().c_str(), std::ios::in);
  if (!file1.is_open() || !file2.is_open())
    return false;

  do {
    std::string line1;
    std::string line2;
    std::getline(file1, line1);
    std::getline(file2, line2);
    if ((file1.eof() != file2.eof()) || file1.bad() || file2.bad())
      return false;
    const std::string::size_type end1 = line1.find_last_not_of("\r\n");
    line1.erase(end1 == std::string::npos ? 0 : end1 + 1);
    const std::string::size_type end2 = line2.find_last_not_of("\r\n");
    line2.erase(end2 == std::string::npos ? 0 : end2 + 1);
    if (line1 != line2)
      return false;
  } while (!file1.eof() || !file2.eof());
  return true;
}

bool TouchFile(const FilePath& path, const Time& last_accessed,
               const Time& last_modified) {
  int flags = PLATFORM_FILE_OPEN | PLATFORM_FILE_WRITE_ATTRIBUTES;
  // Folders open only with backup semantics.
  if (DirectoryExists(path))
    flags |= PLATFORM_FILE_BACKUP_SEMANTICS;
  PlatformFile file = CreatePlatformFile(path, flags, nullptr, nullptr);
  if (file == kInvalidPlatformFileValue)
    return false;
  const bool result = TouchPlatformFile(file, last_accessed, last_modified);
  ClosePlatformFile(file);
  return result;
}

bool SetLastModifiedTime(const FilePath& path, const Time& last_modified) {
  return TouchFile(path, last_modified, last_modified);
}

// Temporary and unique names --------------------------------------------------

bool CreateTemporaryFile(FilePath* path) {
  // |path| is written only on success: on failure it must not be left
  // naming the temporary folder itself.
  FilePath temp_dir;
  FilePath temp_file;
  if (!GetTempDir(&temp_dir) || !CreateTemporaryFileInDir(temp_dir, &temp_file))
    return false;
  *path = temp_file;
  return true;
}

bool CreateTemporaryFileInDir(const FilePath& dir, FilePath* temp_file) {
  wchar_t temp_name[MAX_PATH + 1];
  if (!::GetTempFileNameW(dir.value().c_str(), L"", 0, temp_name))
    return false;
  wchar_t long_temp_name[MAX_PATH + 1];
  const DWORD long_name_len =
      ::GetLongPathNameW(temp_name, long_temp_name, MAX_PATH);
  if (long_name_len > MAX_PATH || long_name_len == 0) {
    // The short name still names the file the system made.
    *temp_file = FilePath(FilePath::StringType(temp_name));
    return true;
  }
  *temp_file = FilePath(FilePath::StringType(long_temp_name, long_name_len));
  return true;
}

FILE* CreateAndOpenTemporaryFile(FilePath* path) {
  FilePath directory;
  if (!GetTempDir(&directory))
    return nullptr;
  return CreateAndOpenTemporaryFileInDir(directory, path);
}

FILE* CreateAndOpenTemporaryFileInDir(const FilePath& dir, FilePath* path) {
  if (!CreateTemporaryFileInDir(dir, path))
    return nullptr;
  return _wfsopen(path->value().c_str(), L"wb+", _SH_DENYNO);
}

bool CreateNewTempDirectory(const FilePath::StringType& prefix,
                            FilePath* new_temp_path) {
  FilePath system_temp_dir;
  if (!GetTempDir(&system_temp_dir))
    return false;
  return CreateTemporaryDirInDir(system_temp_dir, prefix, new_temp_path);
}

bool CreateTemporaryDirInDir(const FilePath& base_dir,
                             const FilePath::StringType& prefix,
                             FilePath* new_dir) {
  const int kMaxTries = 50;
  for (int count = 0; count < kMaxTries; ++count) {
    const FilePath::StringType new_dir_name =
        prefix + IntToString16(static_cast<int>(::GetCurrentProcessId())) +
        L"_" + IntToString16(RandInt(0, 32767));
    const FilePath path_to_create = base_dir.Append(new_dir_name);
    if (::CreateDirectoryW(path_to_create.value().c_str(), nullptr)) {
      *new_dir = path_to_create;
      return true;
    }
  }
  return false;
}

int GetUniquePathNumber(const FilePath& path,
                        const FilePath::StringType& suffix) {
  const bool have_suffix = !suffix.empty();
  if (!PathExists(path) &&
      (!have_suffix || !PathExists(FilePath(path.value() + suffix)))) {
    return 0;
  }
  const int kMaxUniqueFiles = 500;
  for (int count = 1; count <= kMaxUniqueFiles; ++count) {
    const FilePath candidate =
        path.InsertBeforeExtensionASCII(StringPrintf(" (%d)", count));
    if (!PathExists(candidate) &&
        (!have_suffix || !PathExists(FilePath(candidate.value() + suffix)))) {
      return count;
    }
  }
  return -1;
}

// Device paths ----------------------------------------------------------------

bool NormalizeFilePath(const FilePath& path, FilePath* real_path) {
  FilePath mapped_file;
  if (!NormalizeToNativeFilePath(path, &mapped_file))
    return false;
  return DevicePathToDriveLetterPath(mapped_file, real_path);
}

bool NormalizeToNativeFilePath(const FilePath& path, FilePath* nt_path) {
  win::ScopedHandle file_handle(::CreateFileW(
      path.value().c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_handle.IsValid())
    return false;

  // An empty file cannot be mapped; one byte is enough to name it.
  const DWORD kFileSizeHigh = 0;
  const DWORD kFileSizeLow = 1;
  win::ScopedHandle file_map_handle(::CreateFileMappingW(
      file_handle.Get(), nullptr, PAGE_READONLY, kFileSizeHigh, kFileSizeLow,
      nullptr));
  if (!file_map_handle.IsValid())
    return false;

  void* file_view =
      ::MapViewOfFile(file_map_handle.Get(), FILE_MAP_READ, 0, 0, 1);
  if (!file_view)
    return false;

  const DWORD kMaxPathWithDevice = MAX_PATH + 10;
  wchar_t mapped_file_path[kMaxPathWithDevice];
  const DWORD length = ::GetMappedFileNameW(
      ::GetCurrentProcess(), file_view, mapped_file_path, kMaxPathWithDevice);
  ::UnmapViewOfFile(file_view);
  if (length == 0)
    return false;
  *nt_path = FilePath(FilePath::StringType(mapped_file_path, length));
  return true;
}

DriveDeviceTable GetDriveDeviceTable() {
  DriveDeviceTable table;
  const int kDriveMappingSize = 1024;
  wchar_t drive_mapping[kDriveMappingSize] = {};
  if (!::GetLogicalDriveStringsW(kDriveMappingSize - 1, drive_mapping))
    return table;

  // The drives come as "X:\" strings, one after another, ended by an
  // empty one.
  for (const wchar_t* drive = drive_mapping; *drive; drive += wcslen(drive) + 1) {
    const FilePath::StringType drive_letter(drive, 2);
    wchar_t device_name[MAX_PATH];
    if (::QueryDosDeviceW(drive_letter.c_str(), device_name, MAX_PATH))
      table.emplace_back(drive_letter, device_name);
  }
  return table;
}

bool DevicePathToDriveLetterPath(const FilePath& device_path,
                                 FilePath* drive_letter_path) {
  return DevicePathToDriveLetterPathWithTable(
      device_path, GetDriveDeviceTable(), drive_letter_path);
}

bool DevicePathToDriveLetterPathWithTable(const FilePath& device_path,
                                          const DriveDeviceTable& drives,
                                          FilePath* drive_letter_path) {
  const FilePath::StringType& device_text = device_path.value();
  for (const auto& drive : drives) {
    const FilePath device(drive.second);
    if (device == device_path || device.IsParent(device_path)) {
      *drive_letter_path = FilePath(
          drive.first + device_text.substr(drive.second.length()));
      return true;
    }
  }
  return false;
}

}  // namespace base
