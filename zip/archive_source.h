// The bytes of an archive being read: a duplicated file handle (from its
// position when opened to its end) or a caller's memory. Every read names
// its offset and is refused when it would pass the end, so corrupt sizes
// and offsets never read outside the archive.

#ifndef ZIP_ARCHIVE_SOURCE_H_
#define ZIP_ARCHIVE_SOURCE_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include "zip/zip_result.h"

namespace zip {

class ArchiveSource {
 public:
  ArchiveSource() = default;
  ~ArchiveSource();
  ArchiveSource(const ArchiveSource&) = delete;
  ArchiveSource& operator=(const ArchiveSource&) = delete;

  // kZipSeekUnseekable for a handle that is not a disk file,
  // kZipDuplicateFailed when it cannot be duplicated.
  ZipResult OpenHandle(HANDLE handle);
  // Opened for reading, sharing reading; kZipOpenFailed when it cannot be.
  ZipResult OpenFile(const wchar_t* path);
  void OpenMemory(const void* data, uint32_t length);

  uint64_t size() const { return size_; }

  // False when [offset, offset + length) is not inside the archive or the
  // read fails.
  bool Contains(uint64_t offset, uint64_t length) const;
  bool ReadAt(uint64_t offset, void* buffer, size_t length);

 private:
  ZipResult TakeFile(HANDLE file);

  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t start_ = 0;  // where the archive begins in the file
  const uint8_t* memory_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace zip

#endif  // ZIP_ARCHIVE_SOURCE_H_
