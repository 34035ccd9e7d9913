#include "zip/archive_source.h"

#include <string.h>

namespace zip {

ArchiveSource::~ArchiveSource() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

ZipResult ArchiveSource::OpenHandle(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return kZipSeekUnseekable;
  HANDLE duplicate = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(),
                       &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return kZipDuplicateFailed;
  }
  return TakeFile(duplicate);
}

ZipResult ArchiveSource::OpenFile(const wchar_t* path) {
  if (!path) return kZipBadArguments;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kZipOpenFailed;
  return TakeFile(file);
}

ZipResult ArchiveSource::TakeFile(HANDLE file) {
  file_ = file;
  LARGE_INTEGER zero = {};
  LARGE_INTEGER position = {};
  LARGE_INTEGER size = {};
  if (!SetFilePointerEx(file, zero, &position, FILE_CURRENT) ||
      !GetFileSizeEx(file, &size)) {
    return kZipReadFailed;
  }
  start_ = static_cast<uint64_t>(position.QuadPart);
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  size_ = total > start_ ? total - start_ : 0;
  return kZipOk;
}

void ArchiveSource::OpenMemory(const void* data, uint32_t length) {
  memory_ = static_cast<const uint8_t*>(data);
  size_ = memory_ ? length : 0;
}

bool ArchiveSource::Contains(uint64_t offset, uint64_t length) const {
  return offset <= size_ && length <= size_ - offset;
}

bool ArchiveSource::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (!Contains(offset, length)) return false;
  if (length == 0) return true;
  if (memory_) {
    memcpy(buffer, memory_ + offset, length);
    return true;
  }
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(start_ + offset);
  if (!SetFilePointerEx(file_, position, nullptr, FILE_BEGIN)) return false;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    const DWORD want = length > 0x10000000 ? 0x10000000 : static_cast<DWORD>(length);
    DWORD got = 0;
    if (!ReadFile(file_, out, want, &got, nullptr) || got == 0) return false;
    out += got;
    length -= got;
  }
  return true;
}

}  // namespace zip
