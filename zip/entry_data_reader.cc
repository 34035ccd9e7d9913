#include "zip/entry_data_reader.h"

#include <algorithm>

#include "zip/crc32.h"
#include "zip/entry_format.h"

namespace zip {
namespace {

const size_t kInputPiece = 16384;

}  // namespace

EntryDataReader::EntryDataReader(ArchiveSource* source, const EntryData& data)
    : source_(source),
      data_(data),
      next_input_(data.position),
      compressed_left_(data.compressed_size),
      uncompressed_left_(data.uncompressed_size) {}

EntryDataReader::~EntryDataReader() {
  if (inflating_) inflateEnd(&stream_);
}

bool EntryDataReader::Start() {
  if (data_.method != kMethodDeflated) return true;
  input_.resize(kInputPiece);
  // Negative window bits: raw deflate data, no zlib header or trailer.
  if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) return false;
  inflating_ = true;
  return true;
}

int64_t EntryDataReader::Read(uint8_t* out, size_t length) {
  if (read_failed_) return -1;
  if (bad_data_) return 0;
  const size_t produced = data_.method == kMethodDeflated
                              ? Inflate(out, length)
                              : ReadStored(out, length);
  if (read_failed_) return -1;
  crc_ = UpdateCrc32(crc_, out, produced);
  return static_cast<int64_t>(produced);
}

size_t EntryDataReader::ReadStored(uint8_t* out, size_t length) {
  const size_t take = std::min<size_t>(
      length, std::min(compressed_left_, uncompressed_left_));
  if (take == 0) {
    // Sizes that disagree are caught here rather than by a short file.
    if (compressed_left_ != uncompressed_left_) bad_data_ = true;
    return 0;
  }
  if (!source_->ReadAt(next_input_, out, take)) {
    read_failed_ = true;
    return 0;
  }
  next_input_ += take;
  compressed_left_ -= static_cast<uint32_t>(take);
  uncompressed_left_ -= static_cast<uint32_t>(take);
  return take;
}

size_t EntryDataReader::Inflate(uint8_t* out, size_t length) {
  size_t produced = 0;
  while (produced < length && uncompressed_left_ > 0) {
    if (stream_.avail_in == 0) {
      if (compressed_left_ == 0) {
        bad_data_ = true;  // the deflate stream ends before the data does
        break;
      }
      const uint32_t piece =
          std::min<uint32_t>(compressed_left_, kInputPiece);
      if (!source_->ReadAt(next_input_, input_.data(), piece)) {
        read_failed_ = true;
        break;
      }
      next_input_ += piece;
      compressed_left_ -= piece;
      stream_.next_in = input_.data();
      stream_.avail_in = piece;
    }
    const uInt room = static_cast<uInt>(std::min<size_t>(
        std::min<size_t>(length - produced, uncompressed_left_), 1u << 30));
    stream_.next_out = out + produced;
    stream_.avail_out = room;
    const int status = inflate(&stream_, Z_SYNC_FLUSH);
    const size_t made = room - stream_.avail_out;
    produced += made;
    uncompressed_left_ -= static_cast<uint32_t>(made);
    if (status == Z_STREAM_END) {
      if (uncompressed_left_ != 0) bad_data_ = true;
      break;
    }
    if (status != Z_OK) {
      bad_data_ = true;
      break;
    }
  }
  return produced;
}

bool EntryDataReader::Complete() const {
  return !read_failed_ && !bad_data_ && uncompressed_left_ == 0 &&
         crc_ == data_.crc;
}

}  // namespace zip
