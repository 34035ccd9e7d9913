// An encrypted file stream: bytes are encrypted on their way to the store
// and decrypted on their way back, with a cryptor chosen by type and key.
// With the header flag on (and a type other than 0) the file starts with
// "KXQZ", 0 and the writer's key byte, so a reader needs no key material;
// positions and sizes then count payload bytes only.
//
// Order of use while closed: SetCryptoType, SetKey, SetWithHeader; then
// Open, Read or Write, Close. Results: 0 or a byte count, -1 I/O, -2 bad
// arguments, -3 bad header, -4 wrong state, -5 no cryptor.

#ifndef QZCRYPTO_ENCRYPT_FILE_IO_H_
#define QZCRYPTO_ENCRYPT_FILE_IO_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "qzcrypto/cryptor.h"
#include "qzcrypto/encrypt_file_io_provider.h"

namespace qzcrypto {

// Stream modes.
const uint32_t kOpenWrite = 0;
const uint32_t kOpenRead = 1;

// The header: magic "KXQZ", a zero byte, the key byte.
const size_t kHeaderSize = 6;
extern const uint8_t kHeaderMagic[4];

class EncryptFileIO {
 public:
  virtual ~EncryptFileIO() {}
  virtual int32_t SetKey(const uint8_t* data, size_t length) = 0;
  virtual int32_t SetCryptoType(uint32_t type) = 0;
  virtual void SetWithHeader(bool with_header) = 0;
  virtual int32_t Open(std::shared_ptr<IEncryptFileIOProvider> provider,
                       uint32_t mode) = 0;
  virtual int32_t Open(const char* path, uint32_t mode) = 0;
  // The count written.
  virtual int32_t Write(const uint8_t* data, size_t length) = 0;
  virtual int32_t GetSize() = 0;
  virtual int32_t Seek(int32_t offset) = 0;
  virtual int32_t Tell() = 0;
  // The count read; 0 at the end of the file.
  virtual int32_t Read(uint8_t* buffer, size_t length) = 0;
  // -1 when a written store did not close cleanly (its last writes may be
  // lost).
  virtual int32_t Close() = 0;
};

class EncryptFileIOImpl : public EncryptFileIO {
 public:
  EncryptFileIOImpl();
  ~EncryptFileIOImpl() override;

  EncryptFileIOImpl(const EncryptFileIOImpl&) = delete;
  EncryptFileIOImpl& operator=(const EncryptFileIOImpl&) = delete;

  int32_t SetKey(const uint8_t* data, size_t length) override;
  int32_t SetCryptoType(uint32_t type) override;
  void SetWithHeader(bool with_header) override;
  int32_t Open(std::shared_ptr<IEncryptFileIOProvider> provider,
               uint32_t mode) override;
  int32_t Open(const char* path, uint32_t mode) override;
  int32_t Write(const uint8_t* data, size_t length) override;
  int32_t GetSize() override;
  int32_t Seek(int32_t offset) override;
  int32_t Tell() override;
  int32_t Read(uint8_t* buffer, size_t length) override;
  int32_t Close() override;

 private:
  int32_t WriteHeader();
  int32_t ReadHeader();

  uint32_t mode_ = kOpenWrite;
  bool open_ = false;
  uint8_t key_byte_ = 0;
  std::shared_ptr<IEncryptFileIOProvider> provider_;
  std::unique_ptr<ICryptoProvider> cryptor_;
  std::vector<uint8_t> write_buffer_;
  bool with_header_ = false;
  uint32_t data_offset_ = 0;
  uint32_t cryptor_type_ = 0;
};

// Null when out of memory.
std::unique_ptr<EncryptFileIO> CreateEncryptFileIO();

}  // namespace qzcrypto

#endif  // QZCRYPTO_ENCRYPT_FILE_IO_H_
