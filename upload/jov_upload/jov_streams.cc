#include "upload/jov_upload/jov_streams.h"

#include <string.h>

#include <algorithm>

namespace jov_upload {

JovPartFileStream::JovPartFileStream(IJovUploadStream* inner, int64_t offset,
                                     int64_t length)
    : offset_(offset), length_(length), inner_(inner) {}

int32_t JovPartFileStream::Open() { return 0; }

void JovPartFileStream::Close() {}

int64_t JovPartFileStream::Read(void* buffer, uint64_t count) {
  if (!inner_) return -1;
  if (position_ >= length_) return 0;
  const uint64_t rest = static_cast<uint64_t>(length_ - position_);
  const uint64_t wanted = std::min(count, rest);
  const int64_t sought = inner_->Seek(offset_ + position_);
  if (sought < 0) {
    last_error_ = inner_->LastError();
    return sought;
  }
  const int64_t read = inner_->Read(buffer, wanted);
  if (read < 0) {
    last_error_ = inner_->LastError();
    return read;
  }
  // An inner stream that claims more than it was asked for is not trusted
  // past the window.
  position_ += std::min(static_cast<uint64_t>(read), wanted);
  return std::min(read, static_cast<int64_t>(wanted));
}

int64_t JovPartFileStream::Seek(int64_t position) {
  if (!inner_ || position < 0 || position > length_) return -1;
  const int64_t sought = inner_->Seek(offset_ + position);
  if (sought < 0) {
    last_error_ = inner_->LastError();
    return sought;
  }
  position_ = position;
  return position;
}

int64_t JovPartFileStream::Size() { return length_; }

int32_t JovPartFileStream::LastError() { return last_error_; }

int64_t JovPartFileStream::Position() { return position_; }

JovDataStream::JovDataStream(const std::string& data) : data_(data) {}

int32_t JovDataStream::Open() { return 0; }

void JovDataStream::Close() {}

int64_t JovDataStream::Read(void* buffer, uint64_t count) {
  const uint64_t size = data_.size();
  const uint64_t position = static_cast<uint64_t>(position_);
  if (position >= size) return 0;
  const uint64_t n = std::min(count, size - position);
  memcpy(buffer, data_.data() + position, static_cast<size_t>(n));
  position_ += static_cast<int64_t>(n);
  return static_cast<int64_t>(n);
}

int64_t JovDataStream::Seek(int64_t position) {
  if (position < 0 || static_cast<uint64_t>(position) > data_.size())
    return -1;
  position_ = position;
  return position_;
}

int64_t JovDataStream::Size() { return static_cast<int64_t>(data_.size()); }

int32_t JovDataStream::LastError() { return 0; }

int64_t JovDataStream::Position() { return position_; }

}  // namespace jov_upload
