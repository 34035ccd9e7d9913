// A file on disk as the upload client's byte source.

#ifndef UPLOAD_JOV_FILE_STREAM_H_
#define UPLOAD_JOV_FILE_STREAM_H_

#include <windows.h>

#include <string>

#include "upload/jov_upload/jov_upload_interfaces.h"

namespace valmora {

// Results of Seek and Size before the file is open.
const int64_t kJovStreamNotOpen = -2;

class JovFileStream : public jov_upload::IJovUploadStream {
 public:
  explicit JovFileStream(const std::wstring& path);
  ~JovFileStream() override;
  JovFileStream(const JovFileStream&) = delete;
  JovFileStream& operator=(const JovFileStream&) = delete;

  // 0, or the system's error code.
  int32_t Open() override;
  void Close() override;
  // Reads at most 4 GiB - 1 bytes at a time.
  int64_t Read(void* buffer, uint64_t count) override;
  int64_t Seek(int64_t position) override;
  int64_t Size() override;
  int32_t LastError() override;

 private:
  std::wstring path_;
  bool opened_ = false;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  int32_t last_error_ = 0;
};

}  // namespace valmora

#endif  // UPLOAD_JOV_FILE_STREAM_H_
