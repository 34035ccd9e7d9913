// Cryptors: objects that transform bytes one by one with a key byte derived
// from key material. Type 0 copies; every other type mixes each byte's
// nibbles in four rounds keyed by the key byte and the substitution table.
// No byte depends on another, so any slice of an encrypted stream decrypts
// on its own and lengths never change.

#ifndef QZCRYPTO_CRYPTOR_H_
#define QZCRYPTO_CRYPTOR_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "qzcrypto/crypt_types.h"

namespace qzcrypto {

class ICryptoProvider {
 public:
  virtual ~ICryptoProvider() {}
  // Returns the key byte now in use.
  virtual uint32_t SetKey(const uint8_t* data, size_t length) = 0;
  virtual uint8_t GetKeyByte() = 0;
  // |in| and |out| may be the same buffer.
  virtual void Encrypt(const uint8_t* in, uint8_t* out, size_t length) = 0;
  virtual void Decrypt(const uint8_t* in, uint8_t* out, size_t length) = 0;
};

class PlainCryptor : public ICryptoProvider {
 public:
  uint32_t SetKey(const uint8_t* data, size_t length) override;
  uint8_t GetKeyByte() override;
  void Encrypt(const uint8_t* in, uint8_t* out, size_t length) override;
  void Decrypt(const uint8_t* in, uint8_t* out, size_t length) override;
};

class SingleByteCryptor : public ICryptoProvider {
 public:
  uint32_t SetKey(const uint8_t* data, size_t length) override;
  uint8_t GetKeyByte() override;
  void Encrypt(const uint8_t* in, uint8_t* out, size_t length) override;
  void Decrypt(const uint8_t* in, uint8_t* out, size_t length) override;

 private:
  uint8_t key_byte_ = 0;
};

// 0 gives a PlainCryptor, anything else a SingleByteCryptor; null when out
// of memory.
std::unique_ptr<ICryptoProvider> CreateCryptor(int32_t type);

// The XOR of all bytes of the key material; the default key byte when there
// is none.
uint8_t DeriveKeyByte(const uint8_t* data, size_t length);

// One round over the byte (hi, lo) with the low nibble of |round_key|:
// encrypting gives (lo, hi ^ lo ^ key); decrypting undoes it.
uint8_t EncryptRound(uint8_t x, uint8_t round_key);
uint8_t DecryptRound(uint8_t x, uint8_t round_key);

// The single-byte transform in place; nothing for null data or length 0.
void EncryptBytes(uint8_t* data, size_t length, uint8_t key_byte);
void DecryptBytes(uint8_t* data, size_t length, uint8_t key_byte);

// The four rounds over one byte, without the tables EncryptBytes uses.
uint8_t EncryptByteByRounds(uint8_t b, uint8_t key_byte);
uint8_t DecryptByteByRounds(uint8_t b, uint8_t key_byte);

// Transforms |length| bytes from |in| to |out| (which may be |in|) with a
// cryptor of |type| keyed by |key|. 0, -2 for missing key, buffers or
// length, -5 when no cryptor can be made.
int32_t EncryptBuffer(const CryptKey& key, int32_t type, const uint8_t* in,
                      uint8_t* out, size_t length);
int32_t DecryptBuffer(const CryptKey& key, int32_t type, const uint8_t* in,
                      uint8_t* out, size_t length);

}  // namespace qzcrypto

#endif  // QZCRYPTO_CRYPTOR_H_
