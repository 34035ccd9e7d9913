// The data of one archive entry, read piece by piece: stored bytes copied,
// deflated bytes through zlib's raw inflate, the CRC-32 kept as they come.

#ifndef ZIP_ENTRY_DATA_READER_H_
#define ZIP_ENTRY_DATA_READER_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "zlib.h"
#include "zip/archive_source.h"

namespace zip {

struct EntryData {
  uint64_t position = 0;  // of the first data byte in the source
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
};

class EntryDataReader {
 public:
  EntryDataReader(ArchiveSource* source, const EntryData& data);
  ~EntryDataReader();
  EntryDataReader(const EntryDataReader&) = delete;
  EntryDataReader& operator=(const EntryDataReader&) = delete;

  // False when the inflate stream cannot be made.
  bool Start();

  // Up to |length| bytes; 0 at the end of the data, or once the data
  // turned out bad (see Complete). -1 when the source cannot be read.
  int64_t Read(uint8_t* out, size_t length);

  // True once every byte came, the deflate stream was sound and the CRC
  // matched.
  bool Complete() const;

 private:
  size_t ReadStored(uint8_t* out, size_t length);
  size_t Inflate(uint8_t* out, size_t length);

  ArchiveSource* source_;
  EntryData data_;
  uint64_t next_input_ = 0;
  uint32_t compressed_left_ = 0;
  uint32_t uncompressed_left_ = 0;
  uint32_t crc_ = 0;
  bool read_failed_ = false;
  bool bad_data_ = false;
  bool inflating_ = false;
  z_stream stream_ = {};
  std::vector<uint8_t> input_;
};

}  // namespace zip

#endif  // ZIP_ENTRY_DATA_READER_H_
