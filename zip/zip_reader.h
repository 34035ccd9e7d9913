// Reads a zip archive from a file, a handle or memory: lists its entries,
// finds one by name and extracts one to memory (piece by piece), to a
// handle, or to a file below the reader's base folder. Deflated data goes
// through zlib's raw inflate.
//
// Archives are untrusted input: every size, count and offset is checked
// against the archive's bytes (corrupt ones give kZipCorrupt), every
// extraction checks the CRC, extraction to a file never writes outside
// the base folder, and what one reader extracts in all is bounded (an
// entry never yields more than its stated size, and an entry whose size
// would take the total past the limit is refused before a byte is written).

#ifndef ZIP_ZIP_READER_H_
#define ZIP_ZIP_READER_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "zip/archive_source.h"
#include "zip/zip_result.h"
#include "zip/zip_source_kind.h"

namespace zip {

// One entry as a caller sees it.
struct EntryInfo {
  int32_t index = -1;
  std::string name;  // as stored
  bool utf8_name = false;  // flag bit 11: |name| is UTF-8, else ANSI
  uint32_t attributes = 0;  // Windows file attributes
  // Local times, for describing the entry.
  FILETIME accessed = {};
  FILETIME created = {};
  FILETIME modified = {};
  // The same times in UTC, set on extracted files.
  FILETIME utc_accessed = {};
  FILETIME utc_created = {};
  FILETIME utc_modified = {};
  int32_t compressed_size = 0;
  int32_t uncompressed_size = 0;

  bool is_folder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

// The default bound on what one reader extracts in all: as much as one
// entry can hold.
const uint64_t kDefaultExtractionLimit = 0xFFFFFFFFu;

class ZipReader {
 public:
  ZipReader();
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  // |kind| kZipHandle, kZipFileName or kZipMemory (|length| bytes at
  // |target|). |base_folder| null means the current folder.
  ZipResult Open(const void* target, uint32_t length, ZipSourceKind kind,
                 const wchar_t* base_folder);

  int entry_count() const;

  // Index -1 describes the archive: its entry count as the index.
  ZipResult Describe(int index, EntryInfo* info);

  // Exact, or with a-z and A-Z taken as equal. kZipNotFound and -1 when
  // no entry has the name.
  ZipResult Find(const std::wstring& name, bool ignore_case, int* index);

  // Bytes this reader may extract from now on, counting what it already
  // did; extraction past it gives kZipExtractionLimit.
  void set_extraction_limit(uint64_t bytes) { extraction_limit_ = bytes; }

  // Up to |length| bytes of entry |index| per call: kZipMoreData while
  // bytes come, then kZipOk once the whole entry came with a good CRC.
  ZipResult UnzipToMemory(int index, void* buffer, uint32_t length);
  ZipResult UnzipToHandle(int index, HANDLE target);
  // |target| is relative to the base folder. A folder entry makes its
  // folders (its name taken in |code_page|) and writes no file.
  ZipResult UnzipToFile(int index, const std::wstring& target,
                        UINT code_page);

 private:
  struct CentralEntry;
  class OpenEntry;

  ZipResult FindEndRecord(uint64_t* position);
  ZipResult ReadDirectory(uint64_t end_position);
  ZipResult DescribeUncached(int index, EntryInfo* info,
                             uint64_t* data_position);
  bool FitsExtractionLimit(int index) const;
  ZipResult OpenEntryData(int index);
  // Reads the open entry, counting what it gives towards the limit.
  int64_t ReadOpenEntry(uint8_t* out, size_t length);
  void CloseEntry();
  ZipResult CopyEntryTo(int index, HANDLE target);

  ArchiveSource source_;
  bool opened_ = false;
  std::wstring base_folder_;
  uint64_t offset_correction_ = 0;
  std::vector<CentralEntry> entries_;
  std::unique_ptr<OpenEntry> open_entry_;
  std::unique_ptr<EntryInfo> cached_;
  uint64_t extraction_limit_ = kDefaultExtractionLimit;
  uint64_t extracted_ = 0;
};

}  // namespace zip

#endif  // ZIP_ZIP_READER_H_
