#include "qzcrypto/cryptor.h"

#include <string.h>
#include <tmmintrin.h>

#include <mutex>
#include <new>

#include "qzcrypto/format_constants.h"

namespace qzcrypto {

namespace {

// Each byte's result depends only on the byte and the key byte, so a table
// per key byte, built once from the rounds, replaces them.
struct ByteTable {
  uint8_t full[256];
  // The rounds only swap and XOR whole nibbles, so every entry is
  // high[x >> 4] ^ low[x & 15]: two 16-entry tables that one vector
  // shuffle each looks up 16 bytes at a time. Checked when built; the full
  // table serves alone when it does not hold.
  bool split;
  uint8_t high[16];
  uint8_t low[16];
};

struct ByteTables {
  ByteTable encrypt;
  ByteTable decrypt;
};

void SplitTable(ByteTable* table) {
  for (int n = 0; n < 16; ++n) {
    table->high[n] = table->full[n << 4];
    table->low[n] = static_cast<uint8_t>(table->full[n] ^ table->full[0]);
  }
  table->split = true;
  for (int x = 0; x < 256; ++x) {
    if (table->full[x] != (table->high[x >> 4] ^ table->low[x & 15]))
      table->split = false;
  }
}

// Constant storage: nothing here is destroyed while other threads may
// still encrypt during the process's exit.
const ByteTables& TablesFor(uint8_t key_byte) {
  static std::once_flag built[256];
  static ByteTables tables[256];
  ByteTables& entry = tables[key_byte];
  std::call_once(built[key_byte], [&entry, key_byte] {
    for (int b = 0; b < 256; ++b) {
      const uint8_t byte = static_cast<uint8_t>(b);
      entry.encrypt.full[b] = EncryptByteByRounds(byte, key_byte);
      entry.decrypt.full[b] = DecryptByteByRounds(byte, key_byte);
    }
    SplitTable(&entry.encrypt);
    SplitTable(&entry.decrypt);
  });
  return entry;
}

// Eight bytes per step: the loads and stores of whole words keep the
// table lookups the only per-byte work.
void ApplyFullTable(const uint8_t* table, const uint8_t* in, uint8_t* out,
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

// 16 bytes per step with two nibble shuffles; returns how many bytes it
// did (a multiple of 16).
__attribute__((target("ssse3"))) size_t ApplySplitTable(const ByteTable& table,
                                                        const uint8_t* in,
                                                        uint8_t* out,
                                                        size_t length) {
  const __m128i high =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.high));
  const __m128i low =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.low));
  const __m128i nibble = _mm_set1_epi8(0x0f);
  size_t i = 0;
  for (; i + 16 <= length; i += 16) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i his = _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble);
    const __m128i los = _mm_and_si128(bytes, nibble);
    const __m128i result =
        _mm_xor_si128(_mm_shuffle_epi8(high, his), _mm_shuffle_epi8(low, los));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), result);
  }
  return i;
}

bool HasNibbleShuffle() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return has;
}

void ApplyTable(const ByteTable& table, const uint8_t* in, uint8_t* out,
                size_t length) {
  size_t done = 0;
  if (table.split && HasNibbleShuffle())
    done = ApplySplitTable(table, in, out, length);
  ApplyFullTable(table.full, in + done, out + done, length - done);
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
void Transform(const ByteTable& table, const uint8_t* in, uint8_t* out,
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
