// The arguments and result codes shared by the encryption functions.

#ifndef QZCRYPTO_CRYPT_TYPES_H_
#define QZCRYPTO_CRYPT_TYPES_H_

#include <stddef.h>
#include <stdint.h>

namespace qzcrypto {

// Results of the library's functions; byte counts are positive.
enum CryptResult : int32_t {
  kCryptOk = 0,
  kCryptIoError = -1,
  kCryptBadArguments = -2,
  kCryptBadHeader = -3,
  kCryptWrongState = -4,
  kCryptNoCryptor = -5,
};

// Cryptor types: 0 copies bytes; any other value is the single-byte cryptor.
const int32_t kPlainCryptorType = 0;
const int32_t kSingleByteCryptorType = 1;

// Key material; not owned.
struct CryptKey {
  const uint8_t* data;
  size_t length;
};

struct CryptOptions {
  bool with_header;
  uint32_t cryptor_type;
};

}  // namespace qzcrypto

#endif  // QZCRYPTO_CRYPT_TYPES_H_
