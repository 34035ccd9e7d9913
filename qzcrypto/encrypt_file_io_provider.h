// The byte store under an encrypted file stream, and its implementation
// over a stdio file.

#ifndef QZCRYPTO_ENCRYPT_FILE_IO_PROVIDER_H_
#define QZCRYPTO_ENCRYPT_FILE_IO_PROVIDER_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "qzcrypto/path_open.h"

namespace qzcrypto {

// Seek origins.
const uint32_t kSeekSet = 0;
const uint32_t kSeekCur = 1;
const uint32_t kSeekEnd = 2;

class IEncryptFileIOProvider {
 public:
  // Mode 0 writes (truncating), 1 reads, 2 appends. 0 or an errno value.
  virtual int32_t Open(uint32_t mode) = 0;
  virtual size_t Write(const void* data, size_t length) = 0;
  virtual size_t Read(void* buffer, size_t length) = 0;
  virtual bool Eof() = 0;
  virtual int32_t Seek(int32_t offset, uint32_t origin) = 0;
  virtual int32_t Tell() = 0;
  virtual int32_t Close() = 0;
  virtual ~IEncryptFileIOProvider() {}
};

class EncryptFileIOProvider : public IEncryptFileIOProvider {
 public:
  explicit EncryptFileIOProvider(const char* path,
                                 PathCodePage code_page = PathCodePage::kAnsi);
  ~EncryptFileIOProvider() override;

  EncryptFileIOProvider(const EncryptFileIOProvider&) = delete;
  EncryptFileIOProvider& operator=(const EncryptFileIOProvider&) = delete;

  int32_t Open(uint32_t mode) override;
  size_t Write(const void* data, size_t length) override;
  size_t Read(void* buffer, size_t length) override;
  bool Eof() override;
  // -5 without an open file.
  int32_t Seek(int32_t offset, uint32_t origin) override;
  // -1 without an open file.
  int32_t Tell() override;
  // -1 without an open file.
  int32_t Close() override;

 private:
  std::string path_;
  PathCodePage code_page_;
  FILE* file_ = nullptr;
};

}  // namespace qzcrypto

#endif  // QZCRYPTO_ENCRYPT_FILE_IO_PROVIDER_H_
