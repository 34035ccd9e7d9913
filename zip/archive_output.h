// Where an archive's bytes go: a duplicate of a caller's handle, a file the
// writer creates, or memory (a caller's buffer or a page-file mapping that
// doubles as it fills). The first failure is kept (sticky): once set, the
// writer takes no further entries.

#ifndef ZIP_ARCHIVE_OUTPUT_H_
#define ZIP_ARCHIVE_OUTPUT_H_

#include <windows.h>
#include <stdint.h>

#include "base/win/scoped_handle.h"
#include "zip/zip_result.h"

namespace zip {

class ArchiveOutput {
 public:
  ArchiveOutput() = default;
  ~ArchiveOutput();
  ArchiveOutput(const ArchiveOutput&) = delete;
  ArchiveOutput& operator=(const ArchiveOutput&) = delete;

  // Each returns 0 or the failure's code; only one may succeed.
  ZipResult OpenHandle(HANDLE handle);
  ZipResult OpenFile(const wchar_t* name);
  // |buffer| null: the output allocates |length| bytes itself.
  ZipResult OpenMemory(void* buffer, uint32_t length);

  bool is_open() const { return file_.IsValid() || memory_ != nullptr; }
  bool seekable() const { return seekable_; }
  bool is_memory() const { return memory_ != nullptr; }
  // The file position of a caller's handle at creation; stored offsets
  // count from the file's start.
  uint64_t initial_offset() const { return initial_offset_; }
  // The archive's length so far: every byte placed, even by a write that
  // failed half-way, so that later offsets stay true.
  uint64_t end() const { return end_; }
  ZipResult error() const { return error_; }

  // False (and the sticky error set) unless every byte was written.
  bool Write(const void* data, uint32_t size);
  // Moves to |position| from the archive's start.
  bool SeekTo(uint64_t position);
  // Drops everything from |position| on; seekable outputs only.
  bool TruncateTo(uint64_t position);
  const uint8_t* memory() const { return memory_; }

  // Releases the view, the mapping and the handle.
  void Close();

 private:
  bool WriteToMemory(const void* data, uint32_t size);
  bool GrowMemory(uint64_t needed);
  bool Fail(ZipResult code);

  base::win::ScopedHandle file_;
  // Only for memory the output allocated.
  base::win::ScopedHandle mapping_;
  uint8_t* memory_ = nullptr;
  uint64_t memory_size_ = 0;
  uint64_t position_ = 0;
  uint64_t end_ = 0;
  uint64_t initial_offset_ = 0;
  bool seekable_ = false;
  ZipResult error_ = kZipOk;
};

}  // namespace zip

#endif  // ZIP_ARCHIVE_OUTPUT_H_
