#include "base/platform_file.h"

#include <fcntl.h>
#include <io.h>

#include "base/metrics/sparse_histogram.h"

// Missing from the mingw headers.
#ifndef ERROR_DISK_RESOURCES_LOST
#define ERROR_DISK_RESOURCES_LOST 314L
#endif

namespace base {

namespace {

DWORD DispositionFromFlags(int flags) {
  if (flags & PLATFORM_FILE_OPEN_TRUNCATED)
    return TRUNCATE_EXISTING;
  if (flags & PLATFORM_FILE_CREATE_ALWAYS)
    return CREATE_ALWAYS;
  if (flags & PLATFORM_FILE_OPEN_ALWAYS)
    return OPEN_ALWAYS;
  if (flags & PLATFORM_FILE_CREATE)
    return CREATE_NEW;
  if (flags & PLATFORM_FILE_OPEN)
    return OPEN_EXISTING;
  return 0;
}

DWORD AccessFromFlags(int flags) {
  DWORD access = 0;
  if (flags & PLATFORM_FILE_WRITE)
    access = GENERIC_WRITE;
  if (flags & PLATFORM_FILE_APPEND)
    access = FILE_APPEND_DATA;
  if (flags & PLATFORM_FILE_READ)
    access |= GENERIC_READ;
  if (flags & PLATFORM_FILE_WRITE_ATTRIBUTES)
    access |= FILE_WRITE_ATTRIBUTES;
  if (flags & PLATFORM_FILE_EXECUTE)
    access |= GENERIC_EXECUTE;
  return access;
}

DWORD SharingFromFlags(int flags) {
  DWORD sharing = 0;
  if (!(flags & PLATFORM_FILE_EXCLUSIVE_READ))
    sharing |= FILE_SHARE_READ;
  if (!(flags & PLATFORM_FILE_EXCLUSIVE_WRITE))
    sharing |= FILE_SHARE_WRITE;
  if (flags & PLATFORM_FILE_SHARE_DELETE)
    sharing |= FILE_SHARE_DELETE;
  return sharing;
}

DWORD CreateFlagsFromFlags(int flags) {
  DWORD create_flags = 0;
  if (flags & PLATFORM_FILE_ASYNC)
    create_flags |= FILE_FLAG_OVERLAPPED;
  if (flags & PLATFORM_FILE_TEMPORARY)
    create_flags |= FILE_ATTRIBUTE_TEMPORARY;
  if (flags & PLATFORM_FILE_HIDDEN)
    create_flags |= FILE_ATTRIBUTE_HIDDEN;
  if (flags & PLATFORM_FILE_DELETE_ON_CLOSE)
    create_flags |= FILE_FLAG_DELETE_ON_CLOSE;
  if (flags & PLATFORM_FILE_BACKUP_SEMANTICS)
    create_flags |= FILE_FLAG_BACKUP_SEMANTICS;
  return create_flags;
}

OVERLAPPED OverlappedAt(int64_t offset) {
  OVERLAPPED overlapped = {};
  overlapped.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

// On a handle opened for overlapped I/O the system may still be filling
// |overlapped| and the buffer after the call returns: wait for it here so
// that neither outlives the transfer.
bool FinishTransfer(PlatformFile file, BOOL started, OVERLAPPED* overlapped,
                    DWORD* transferred) {
  if (started)
    return true;
  if (::GetLastError() != ERROR_IO_PENDING)
    return false;
  return ::GetOverlappedResult(file, overlapped, transferred, TRUE) != 0;
}

}  // namespace

PlatformFileInfo::PlatformFileInfo()
    : size(0), is_directory(false), is_symbolic_link(false) {}

PlatformFileInfo::~PlatformFileInfo() {}

PlatformFile CreatePlatformFile(const FilePath& name, int flags,
                                bool* created, PlatformFileError* error) {
  if (name.ReferencesParent()) {
    if (created)
      *created = false;
    if (error)
      *error = PLATFORM_FILE_ERROR_ACCESS_DENIED;
    return kInvalidPlatformFileValue;
  }
  return CreatePlatformFileUnsafe(name, flags, created, error);
}

PlatformFile CreatePlatformFileUnsafe(const FilePath& name, int flags,
                                      bool* created,
                                      PlatformFileError* error) {
  if (created)
    *created = false;

  const DWORD disposition = DispositionFromFlags(flags);
  if (disposition == 0) {
    // A caller that forgot the disposition must see a failure, not a
    // handle value (0) that looks open.
    if (error)
      *error = PLATFORM_FILE_ERROR_FAILED;
    return kInvalidPlatformFileValue;
  }

  PlatformFile file = ::CreateFileW(
      name.value().c_str(), AccessFromFlags(flags), SharingFromFlags(flags),
      nullptr, disposition, CreateFlagsFromFlags(flags), nullptr);
  const DWORD last_error = ::GetLastError();

  // Judged by the disposition that was used, not by the flags: with
  // several disposition bits only the winning one says what happened.
  if (created && file != kInvalidPlatformFileValue) {
    if (disposition == OPEN_ALWAYS)
      *created = (last_error != ERROR_ALREADY_EXISTS);
    else if (disposition == CREATE_ALWAYS || disposition == CREATE_NEW)
      *created = true;
  }

  if (error) {
    *error = file != kInvalidPlatformFileValue
                 ? PLATFORM_FILE_OK
                 : LastErrorToPlatformFileError(last_error);
  }
  return file;
}

FILE* FdopenPlatformFile(PlatformFile file, const char* mode) {
  if (file == kInvalidPlatformFileValue)
    return nullptr;
  const int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(file), 0);
  if (descriptor < 0)
    return nullptr;
  return _fdopen(descriptor, mode);
}

bool ClosePlatformFile(PlatformFile file) { return ::CloseHandle(file) != 0; }

int64_t SeekPlatformFile(PlatformFile file, PlatformFileWhence whence,
                         int64_t offset) {
  if (file == kInvalidPlatformFileValue || offset < 0)
    return -1;
  LARGE_INTEGER distance;
  LARGE_INTEGER position;
  distance.QuadPart = offset;
  if (!::SetFilePointerEx(file, distance, &position,
                          static_cast<DWORD>(whence))) {
    return -1;
  }
  return position.QuadPart;
}

int ReadPlatformFile(PlatformFile file, int64_t offset, char* data,
                     int size) {
  if (file == kInvalidPlatformFileValue || offset < 0 || size < 0)
    return -1;
  OVERLAPPED overlapped = OverlappedAt(offset);
  DWORD bytes_read = 0;
  const BOOL started = ::ReadFile(file, data, static_cast<DWORD>(size),
                                  &bytes_read, &overlapped);
  if (FinishTransfer(file, started, &overlapped, &bytes_read))
    return static_cast<int>(bytes_read);
  if (::GetLastError() == ERROR_HANDLE_EOF)
    return 0;
  return -1;
}

int ReadPlatformFileAtStart(PlatformFile file, char* data, int size) {
  return ReadPlatformFile(file, 0, data, size);
}

int ReadPlatformFileAtStartNoBestEffort(PlatformFile file, char* data,
                                        int size) {
  return ReadPlatformFile(file, 0, data, size);
}

int WritePlatformFile(PlatformFile file, int64_t offset, const char* data,
                      int size) {
  if (file == kInvalidPlatformFileValue || offset < 0 || size < 0)
    return -1;
  OVERLAPPED overlapped = OverlappedAt(offset);
  DWORD bytes_written = 0;
  const BOOL started = ::WriteFile(file, data, static_cast<DWORD>(size),
                                   &bytes_written, &overlapped);
  if (FinishTransfer(file, started, &overlapped, &bytes_written))
    return static_cast<int>(bytes_written);
  return -1;
}

int WritePlatformFileAtStart(PlatformFile file, const char* data, int size) {
  return WritePlatformFile(file, 0, data, size);
}

int WritePlatformFileAtStartNoBestEffort(PlatformFile file, const char* data,
                                         int size) {
  return WritePlatformFile(file, 0, data, size);
}

bool TruncatePlatformFile(PlatformFile file, int64_t length) {
  if (file == kInvalidPlatformFileValue)
    return false;
  LARGE_INTEGER zero = {};
  LARGE_INTEGER original_position;
  if (!::SetFilePointerEx(file, zero, &original_position, FILE_CURRENT))
    return false;
  LARGE_INTEGER new_length;
  new_length.QuadPart = length;
  if (!::SetFilePointerEx(file, new_length, nullptr, FILE_BEGIN))
    return false;
  const bool truncated = ::SetEndOfFile(file) != 0;
  const bool restored =
      ::SetFilePointerEx(file, original_position, nullptr, FILE_BEGIN) != 0;
  return truncated && restored;
}

bool FlushPlatformFile(PlatformFile file) {
  return file != kInvalidPlatformFileValue && ::FlushFileBuffers(file);
}

bool TouchPlatformFile(PlatformFile file, const Time& last_access_time,
                       const Time& last_modified_time) {
  if (file == kInvalidPlatformFileValue)
    return false;
  FILETIME last_access_filetime = last_access_time.ToFileTime();
  FILETIME last_modified_filetime = last_modified_time.ToFileTime();
  return ::SetFileTime(file, nullptr, &last_access_filetime,
                       &last_modified_filetime) != 0;
}

bool GetPlatformFileInfo(PlatformFile file, PlatformFileInfo* info) {
  if (!info)
    return false;
  BY_HANDLE_FILE_INFORMATION file_info;
  if (!::GetFileInformationByHandle(file, &file_info))
    return false;
  ULARGE_INTEGER size;
  size.HighPart = file_info.nFileSizeHigh;
  size.LowPart = file_info.nFileSizeLow;
  info->size = static_cast<int64_t>(size.QuadPart);
  info->is_directory =
      (file_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->is_symbolic_link = false;
  info->last_modified = Time::FromFileTime(file_info.ftLastWriteTime);
  info->last_accessed = Time::FromFileTime(file_info.ftLastAccessTime);
  info->creation_time = Time::FromFileTime(file_info.ftCreationTime);
  return true;
}

PlatformFileError LastErrorToPlatformFileError(DWORD last_error) {
  switch (last_error) {
    case ERROR_SHARING_VIOLATION:
      return PLATFORM_FILE_ERROR_IN_USE;
    case ERROR_FILE_EXISTS:
      return PLATFORM_FILE_ERROR_EXISTS;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return PLATFORM_FILE_ERROR_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
      return PLATFORM_FILE_ERROR_ACCESS_DENIED;
    case ERROR_TOO_MANY_OPEN_FILES:
      return PLATFORM_FILE_ERROR_TOO_MANY_OPENED;
    case ERROR_OUTOFMEMORY:
    case ERROR_NOT_ENOUGH_MEMORY:
      return PLATFORM_FILE_ERROR_NO_MEMORY;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
    case ERROR_DISK_RESOURCES_LOST:
      return PLATFORM_FILE_ERROR_NO_SPACE;
    case ERROR_USER_MAPPED_FILE:
      return PLATFORM_FILE_ERROR_INVALID_OPERATION;
    case ERROR_NOT_READY:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_IO_DEVICE:
    case ERROR_FILE_CORRUPT:
    case ERROR_DISK_CORRUPT:
      return PLATFORM_FILE_ERROR_IO;
    default:
      SparseHistogram::FactoryGet("PlatformFile.UnknownErrors.Windows",
                                  HistogramBase::kUmaTargetedHistogramFlag)
          ->Add(static_cast<int>(last_error));
      return PLATFORM_FILE_ERROR_FAILED;
  }
}

}  // namespace base
