// The upload client's own byte sources: a window over another stream (one
// part of the file) and bytes held in memory.

#ifndef UPLOAD_JOV_UPLOAD_JOV_STREAMS_H_
#define UPLOAD_JOV_UPLOAD_JOV_STREAMS_H_

#include <stdint.h>

#include <string>

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace jov_upload {

// Bytes [offset, offset + length) of |inner|, which its owner opens and
// closes.
class JovPartFileStream : public IJovUploadStream {
 public:
  JovPartFileStream(IJovUploadStream* inner, int64_t offset, int64_t length);

  int32_t Open() override;
  void Close() override;
  // Advances by the bytes the inner stream actually gave.
  int64_t Read(void* buffer, uint64_t count) override;
  // Negative positions and positions past the window are refused.
  int64_t Seek(int64_t position) override;
  int64_t Size() override;
  int32_t LastError() override;
  virtual int64_t Position();

 private:
  int64_t offset_;
  int64_t length_;
  int64_t position_ = 0;
  int32_t last_error_ = 0;
  IJovUploadStream* inner_;
};

class JovDataStream : public IJovUploadStream {
 public:
  explicit JovDataStream(const std::string& data);

  int32_t Open() override;
  void Close() override;
  int64_t Read(void* buffer, uint64_t count) override;
  int64_t Seek(int64_t position) override;
  int64_t Size() override;
  int32_t LastError() override;
  virtual int64_t Position();

 private:
  int64_t position_ = 0;
  std::string data_;
};

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_JOV_STREAMS_H_
