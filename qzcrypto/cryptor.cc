#include "qzcrypto/cryptor.h"

#include <string.h>

#include <mutex>
#include <new>

#include "qzcrypto/format_constants.h"

namespace qzcrypto {

namespace {

// Each byte's result depends only on the byte and the key byte, so a table
// per key byte, built once from the rounds, replaces them.
struct ByteTables {
  uint8_t encrypt[256];
  uint8_t decrypt[256];
};

// Constant storage: nothing here is destroyed while other threads may
// still encrypt during the process's exit.
const ByteTables& TablesFor(uint8_t key_byte) {
  static std::once_flag built[256];
  static ByteTables tables[256];
  ByteTables& entry = tables[key_byte];
  std::call_once(built[key_byte], [&entry, key_byte] {
    for (int b = 0; b < 256; ++b) {
      const uint8_t byte = static_cast<uint8_t>(b);
      entry.encrypt[b] = EncryptByteByRounds(byte, key_byte);
      entry.decrypt[b] = DecryptByteByRounds(byte, key_byte);
    }
  });
  return entry;
}

// Eight bytes per step: the loads and stores of whole words keep the
// table lookups the only per-byte work.
void ApplyTable(const uint8_t* table, const uint8_t* in, uint8_t* out,
                size_t length) {
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    memcpy(&word, in + i, 8);
    uint64_t result = 0;
    for (int shift = 0; shift < 64; shift += 8)
      result |= static_cast<uint64_t>(table[(word >> shift) & 0xff]) << shift;
    memcpy(out + i, &result, 8);
  }
  for (; i < length; ++i) out[i] = table[in[i]];
}

void CopyUnlessSame(const uint8_t* in, uint8_t* out, size_t length) {
  if (in != out && length) memmove(out, in, length);
}

bool PartlyOverlap(const uint8_t* in, const uint8_t* out, size_t length) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(in);
  const uintptr_t b = reinterpret_cast<uintptr_t>(out);
  return a != b && a < b + length && b < a + length;
}

// One pass from |in| to |out|; a copy first when the two overlap in part,
// as the table pass reads each byte only before it writes it in place.
void Transform(const uint8_t* table, const uint8_t* in, uint8_t* out,
               size_t length) {
  if (!in || !out || !length) return;
  if (PartlyOverlap(in, out, length)) {
    memmove(out, in, length);
    in = out;
  }
  ApplyTable(table, in, out, length);
}

}  // namespace

uint32_t PlainCryptor::SetKey(const uint8_t*, size_t) { return 0; }

uint8_t PlainCryptor::GetKeyByte() { return 0; }

void PlainCryptor::Encrypt(const uint8_t* in, uint8_t* out, size_t length) {
  CopyUnlessSame(in, out, length);
}

void PlainCryptor::Decrypt(const uint8_t* in, uint8_t* out, size_t length) {
  CopyUnlessSame(in, out, length);
}

uint32_t SingleByteCryptor::SetKey(const uint8_t* data, size_t length) {
  key_byte_ = DeriveKeyByte(data, length);
  return key_byte_;
}

uint8_t SingleByteCryptor::GetKeyByte() { return key_byte_; }

void SingleByteCryptor::Encrypt(const uint8_t* in, uint8_t* out,
                                size_t length) {
  Transform(TablesFor(key_byte_).encrypt, in, out, length);
}

void SingleByteCryptor::Decrypt(const uint8_t* in, uint8_t* out,
                                size_t length) {
  Transform(TablesFor(key_byte_).decrypt, in, out, length);
}

std::unique_ptr<ICryptoProvider> CreateCryptor(int32_t type) {
  if (type == kPlainCryptorType)
    return std::unique_ptr<ICryptoProvider>(new (std::nothrow) PlainCryptor);
  return std::unique_ptr<ICryptoProvider>(new (std::nothrow) SingleByteCryptor);
}

uint8_t DeriveKeyByte(const uint8_t* data, size_t length) {
  if (!data || !length) return kDefaultKeyByte;
  uint8_t key_byte = 0;
  for (size_t i = 0; i < length; ++i) key_byte ^= data[i];
  return key_byte;
}

uint8_t EncryptRound(uint8_t x, uint8_t round_key) {
  const uint8_t hi = x >> 4;
  const uint8_t lo = x & 0x0f;
  return static_cast<uint8_t>((lo << 4) | (hi ^ lo ^ (round_key & 0x0f)));
}

uint8_t DecryptRound(uint8_t x, uint8_t round_key) {
  const uint8_t hi = x >> 4;
  const uint8_t lo = x & 0x0f;
  return static_cast<uint8_t>(((hi ^ lo ^ (round_key & 0x0f)) << 4) | hi);
}

uint8_t EncryptByteByRounds(uint8_t b, uint8_t key_byte) {
  const uint8_t s = kSubstitutionTable[key_byte];
  b = EncryptRound(b, key_byte >> 4);
  b = EncryptRound(b, s >> 4);
  b = EncryptRound(b, s);
  return EncryptRound(b, key_byte);
}

uint8_t DecryptByteByRounds(uint8_t b, uint8_t key_byte) {
  const uint8_t s = kSubstitutionTable[key_byte];
  b = DecryptRound(b, key_byte);
  b = DecryptRound(b, s);
  b = DecryptRound(b, s >> 4);
  return DecryptRound(b, key_byte >> 4);
}

void EncryptBytes(uint8_t* data, size_t length, uint8_t key_byte) {
  if (!data || !length) return;
  ApplyTable(TablesFor(key_byte).encrypt, data, data, length);
}

void DecryptBytes(uint8_t* data, size_t length, uint8_t key_byte) {
  if (!data || !length) return;
  ApplyTable(TablesFor(key_byte).decrypt, data, data, length);
}

namespace {

int32_t TransformBuffer(bool encrypt, const CryptKey& key, int32_t type,
                        const uint8_t* in, uint8_t* out, size_t length) {
  if (!key.data || !key.length || !in || !out || !length)
    return kCryptBadArguments;
  std::unique_ptr<ICryptoProvider> cryptor = CreateCryptor(type);
  if (!cryptor) return kCryptNoCryptor;
  cryptor->SetKey(key.data, key.length);
  if (encrypt) {
    cryptor->Encrypt(in, out, length);
  } else {
    cryptor->Decrypt(in, out, length);
  }
  return kCryptOk;
}

}  // namespace

int32_t EncryptBuffer(const CryptKey& key, int32_t type, const uint8_t* in,
                      uint8_t* out, size_t length) {
  return TransformBuffer(true, key, type, in, out, length);
}

int32_t DecryptBuffer(const CryptKey& key, int32_t type, const uint8_t* in,
                      uint8_t* out, size_t length) {
  return TransformBuffer(false, key, type, in, out, length);
}

}  // namespace qzcrypto
