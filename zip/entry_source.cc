#include "zip/entry_source.h"

#include <string.h>

#include "zip/crc32.h"
#include "zip/entry_format.h"

namespace zip {
namespace {

// The Windows attribute bits an entry keeps: read-only, hidden, system,
// directory, archive.
const DWORD kKeptAttributes = 0x37;
// Image signatures: "MZ", "NE", "LE", "PE".
const uint16_t kImageSignatures[] = {0x5A4D, 0x454E, 0x454C, 0x4550};
const uint32_t kImageHeaderOffsetAt = 0x3C;

bool ReadAt(HANDLE file, uint64_t offset, void* data, DWORD size) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  DWORD got = 0;
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
         ReadFile(file, data, size, &got, nullptr) && got == size;
}

bool IsImageSignature(uint16_t word) {
  for (uint16_t signature : kImageSignatures) {
    if (word == signature) return true;
  }
  return false;
}

}  // namespace

ZipResult EntrySource::Open(const void* source, uint32_t length,
                            uint32_t kind) {
  switch (kind) {
    case kZipFileName: {
      if (!source) return kZipBadArguments;
      // Read in place even while another process writes, renames or
      // deletes it: the logs that matter most are the ones still open.
      HANDLE file = CreateFileW(
          static_cast<const wchar_t*>(source), GENERIC_READ,
          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) return kZipOpenFailed;
      owned_.Set(file);
      return OpenHandle(file, 0);
    }
    case kZipHandle:
      if (!source || source == INVALID_HANDLE_VALUE) return kZipBadArguments;
      return OpenHandle(const_cast<HANDLE>(source), length);
    case kZipMemory:
      if (!source || length == 0) return kZipBadArguments;
      memory_ = static_cast<const uint8_t*>(source);
      memory_length_ = length;
      attributes_ = kUnixRegularFile;
      size_ = length;
      times_ = CurrentEntryTimes();
      return kZipOk;
    case kZipFolder:
      attributes_ = kFolderEntryAttributes;
      size_ = 0;
      times_ = CurrentEntryTimes();
      return kZipOk;
    default:
      return kZipBadArguments;
  }
}

ZipResult EntrySource::OpenHandle(HANDLE handle, uint32_t length) {
  handle_ = handle;
  if (GetFileType(handle) == FILE_TYPE_DISK) return OpenDiskFile();
  attributes_ = kUnixRegularFile;
  size_ = length ? length : kUnknownSize;
  times_ = CurrentEntryTimes();
  return kZipOk;
}

ZipResult EntrySource::OpenDiskFile() {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle_, &info)) return kZipOpenFailed;
  const uint64_t size =
      static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  attributes_ = info.dwFileAttributes & kKeptAttributes;
  attributes_ |= (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                     ? kUnixDirectory
                     : kUnixRegularFile;
  attributes_ |= kUnixOwnerRead;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
    attributes_ |= kUnixOwnerWrite;
  if (IsExecutableImage(size)) attributes_ |= kUnixOwnerExecute;
  times_ = TimesFromFileTimes(info.ftCreationTime, info.ftLastAccessTime,
                              info.ftLastWriteTime);
  // The whole size: a file past 4 GiB must not pass for its low 32 bits.
  size_ = static_cast<int64_t>(size);
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN))
    return kZipOpenFailed;
  return kZipOk;
}

// An image starts with "MZ", and when it is long enough, the header that the
// word at 0x3C points at starts with one of the image signatures.
bool EntrySource::IsExecutableImage(uint64_t size) {
  if (size <= 40) return false;
  uint16_t start = 0;
  if (!ReadAt(handle_, 0, &start, sizeof(start)) || start != 0x5A4D)
    return false;
  uint32_t header_offset = 0;
  if (size <= kImageHeaderOffsetAt + sizeof(header_offset) ||
      !ReadAt(handle_, kImageHeaderOffsetAt, &header_offset,
              sizeof(header_offset)) ||
      size <= static_cast<uint64_t>(header_offset) + 52) {
    return true;  // a plain DOS program
  }
  uint16_t signature = 0;
  return ReadAt(handle_, header_offset, &signature, sizeof(signature)) &&
         IsImageSignature(signature);
}

int64_t EntrySource::Read(uint8_t* buffer, uint32_t size) {
  uint32_t got = 0;
  if (memory_) {
    const uint32_t left = memory_length_ - memory_position_;
    got = left < size ? left : size;
    memcpy(buffer, memory_ + memory_position_, got);
    memory_position_ += got;
  } else if (handle_) {
    DWORD read = 0;
    if (!ReadFile(handle_, buffer, size, &read, nullptr)) {
      const DWORD error = GetLastError();
      // The far end of a pipe closing is its end of data.
      if (error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF)
        return kReadError;
    }
    got = read;
  }
  bytes_read_ += got;
  crc_ = UpdateCrc32(crc_, buffer, got);
  return got;
}

}  // namespace zip
