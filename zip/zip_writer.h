// Writes a zip archive entry by entry (stored, or deflated at level 8) to a
// file, a caller's handle or memory, and its central directory once at the
// end. 32-bit fields only: what would not fit is refused up front.

#ifndef ZIP_ZIP_WRITER_H_
#define ZIP_ZIP_WRITER_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "zip/archive_output.h"
#include "zip/entry_format.h"
#include "zip/entry_name.h"
#include "zip/zip_result.h"

namespace zip {

class EntrySource;

class ZipWriter {
 public:
  ZipWriter() = default;
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Opens the output; |target| and |length| as ZipCreate takes them.
  ZipResult Create(const void* target, uint32_t length, uint32_t kind);
  // |name| is the entry's name as it is stored.
  ZipResult Add(const StoredName& name, const void* source, uint32_t length,
                uint32_t kind);
  // Both write the central directory when no one has yet, and end the
  // archive; both report the directory's failure.
  ZipResult GetMemory(const void** data, uint32_t* length);
  ZipResult Close();

 private:
  struct EntryIo;

  ZipResult WriteCentralDirectory();
  ZipResult EndArchive();
  // Bytes the central directory and end record will need with one more
  // entry of |name_length|.
  uint64_t DirectoryReserve(size_t name_length) const;
  bool Fits(uint64_t entry_bytes, size_t name_length) const;
  ZipResult WriteData(EntrySource* source, EntryRecord* record);
  ZipResult CopyStored(EntryIo* io);
  ZipResult Deflate(EntryIo* io, EntryRecord* record);
  ZipResult FinishEntry(EntryRecord* record, uint64_t entry_start,
                        uint32_t announced_compressed);
  ZipResult ErrorOr(ZipResult code) const;

  ArchiveOutput output_;
  bool ended_ = false;
  ZipResult directory_result_ = kZipOk;
  std::vector<EntryRecord> records_;
  uint64_t directory_bytes_ = 0;
  uint8_t buffer_[16384];
};

}  // namespace zip

#endif  // ZIP_ZIP_WRITER_H_
