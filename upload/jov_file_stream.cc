#include "upload/jov_file_stream.h"

#include <algorithm>

namespace valmora {

JovFileStream::JovFileStream(const std::wstring& path) : path_(path) {}

JovFileStream::~JovFileStream() { Close(); }

int32_t JovFileStream::Open() {
  Close();
  file_ = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                      OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) {
    last_error_ = static_cast<int32_t>(GetLastError());
    // Never 0, which would read as opened.
    return last_error_ ? last_error_ : -1;
  }
  opened_ = true;
  return 0;
}

void JovFileStream::Close() {
  if (!opened_ || file_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  opened_ = false;
}

int64_t JovFileStream::Read(void* buffer, uint64_t count) {
  // ReadFile takes 32 bits: a larger request reads what fits, never a
  // truncated count that could be 0.
  const DWORD wanted =
      static_cast<DWORD>(std::min<uint64_t>(count, MAXDWORD));
  DWORD read = 0;
  if (!ReadFile(file_, buffer, wanted, &read, nullptr)) {
    last_error_ = static_cast<int32_t>(GetLastError());
    return -1;
  }
  return read;
}

int64_t JovFileStream::Seek(int64_t position) {
  if (file_ == INVALID_HANDLE_VALUE) return kJovStreamNotOpen;
  LARGE_INTEGER distance;
  distance.QuadPart = position;
  LARGE_INTEGER now;
  if (!SetFilePointerEx(file_, distance, &now, FILE_BEGIN)) {
    last_error_ = static_cast<int32_t>(GetLastError());
    return -1;
  }
  return now.QuadPart;
}

int64_t JovFileStream::Size() {
  if (file_ == INVALID_HANDLE_VALUE) return kJovStreamNotOpen;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file_, &size)) {
    last_error_ = static_cast<int32_t>(GetLastError());
    return -1;
  }
  return size.QuadPart;
}

int32_t JovFileStream::LastError() { return last_error_; }

}  // namespace valmora
