// The data of one entry being added: a file the writer opens, a caller's
// handle, caller memory, or nothing (a folder entry). Opening gathers what
// the entry records (attributes, times, size); reading keeps the count and
// the CRC-32 of what was read.

#ifndef ZIP_ENTRY_SOURCE_H_
#define ZIP_ENTRY_SOURCE_H_

#include <windows.h>
#include <stdint.h>

#include "base/win/scoped_handle.h"
#include "zip/entry_times.h"
#include "zip/zip_result.h"
#include "zip/zip_source_kind.h"

namespace zip {

class EntrySource {
 public:
  static const int64_t kUnknownSize = -1;
  // Read's result for a source that could not be read.
  static const int64_t kReadError = -1;

  EntrySource() = default;
  ~EntrySource() = default;
  EntrySource(const EntrySource&) = delete;
  EntrySource& operator=(const EntrySource&) = delete;

  // |source| and |length| as ZipAddEntry takes them for |kind|.
  ZipResult Open(const void* source, uint32_t length, uint32_t kind);

  // Bytes placed in |buffer|, 0 at the end, kReadError on failure.
  int64_t Read(uint8_t* buffer, uint32_t size);

  uint32_t external_attributes() const { return attributes_; }
  const EntryTimes& times() const { return times_; }
  // The size announced before reading (a disk file's whole 64-bit size),
  // or kUnknownSize.
  int64_t size() const { return size_; }
  uint64_t bytes_read() const { return bytes_read_; }
  uint32_t crc() const { return crc_; }

 private:
  ZipResult OpenHandle(HANDLE handle, uint32_t length);
  ZipResult OpenDiskFile();
  bool IsExecutableImage(uint64_t size);

  // The handle read from; |owned_| holds it when the source opened it.
  HANDLE handle_ = nullptr;
  base::win::ScopedHandle owned_;
  const uint8_t* memory_ = nullptr;
  uint32_t memory_length_ = 0;
  uint32_t memory_position_ = 0;
  uint32_t attributes_ = 0;
  EntryTimes times_;
  int64_t size_ = kUnknownSize;
  uint64_t bytes_read_ = 0;
  uint32_t crc_ = 0;
};

}  // namespace zip

#endif  // ZIP_ENTRY_SOURCE_H_
