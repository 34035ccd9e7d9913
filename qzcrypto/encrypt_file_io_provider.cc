#include "qzcrypto/encrypt_file_io_provider.h"

#include <errno.h>

namespace qzcrypto {

namespace {

const char* ModeText(uint32_t mode) {
  switch (mode) {
    case 0:
      return "wb+";
    case 2:
      return "ab+";
    default:
      return "rb";
  }
}

int SeekOrigin(uint32_t origin) {
  switch (origin) {
    case kSeekSet:
      return SEEK_SET;
    case kSeekCur:
      return SEEK_CUR;
    default:
      return SEEK_END;
  }
}

}  // namespace

EncryptFileIOProvider::EncryptFileIOProvider(const char* path,
                                             PathCodePage code_page)
    : path_(path ? path : ""), code_page_(code_page) {}

EncryptFileIOProvider::~EncryptFileIOProvider() { Close(); }

int32_t EncryptFileIOProvider::Open(uint32_t mode) {
  Close();
  file_ = OpenPath(path_.c_str(), ModeText(mode), code_page_);
  if (file_) return 0;
  return errno ? errno : EIO;
}

size_t EncryptFileIOProvider::Write(const void* data, size_t length) {
  if (!file_) return 0;
  return fwrite(data, 1, length, file_);
}

size_t EncryptFileIOProvider::Read(void* buffer, size_t length) {
  if (!file_) return 0;
  return fread(buffer, 1, length, file_);
}

bool EncryptFileIOProvider::Eof() { return !file_ || feof(file_); }

int32_t EncryptFileIOProvider::Seek(int32_t offset, uint32_t origin) {
  if (!file_) return -5;
  return fseek(file_, offset, SeekOrigin(origin));
}

int32_t EncryptFileIOProvider::Tell() {
  if (!file_) return -1;
  return static_cast<int32_t>(ftell(file_));
}

int32_t EncryptFileIOProvider::Close() {
  if (!file_) return -1;
  FILE* file = file_;
  file_ = nullptr;
  return fclose(file);
}

}  // namespace qzcrypto
