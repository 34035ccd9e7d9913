#ifndef ZIP_DEFLATE_BITS_H_
#define ZIP_DEFLATE_BITS_H_

// The bit writer: codes enter from the least significant bit and leave as
// little-endian bytes into the output buffer, which goes to the write
// callback when it is nearly full and at every byte alignment.

#include <string.h>

#include "zip/deflate_state.h"

namespace zip {
namespace deflate_internal {

void BitsInit(DeflateState& s, uint8_t* buffer, uint32_t size);
// Hands the buffer's bytes to the write callback and empties it, whether
// the write succeeded or not; a failed write stops the entry.
void FlushOutput(DeflateState& s);
// Pads the bit stream to a byte boundary and flushes the buffer.
void AlignToByte(DeflateState& s);
// A stored block's body: aligned LEN and NLEN, then the bytes, written
// straight through the callback.
void WriteStoredBytes(DeflateState& s, const uint8_t* data, uint32_t len);

// Bits written so far, padding included.
inline uint64_t BitsSent(const DeflateState& s) {
  return (s.bytes_written + s.fill) * 8 + s.bit_count;
}

inline void EmitWord(DeflateState& s) {
  if (s.out_size - s.fill < 4) FlushOutput(s);
  const uint32_t word = static_cast<uint32_t>(s.bit_buffer);
  memcpy(s.out + s.fill, &word, 4);  // little-endian target
  s.fill += 4;
  s.bit_buffer >>= 32;
  s.bit_count -= 32;
}

// Sends the `length` low bits of `value` (1 to 15 bits for a code, extra
// bits up to 13).
inline void SendBits(DeflateState& s, uint32_t value, uint32_t length) {
  if (length - 1 > 14) {
    FailCheck(s, "invalid length");
    return;
  }
  s.bit_buffer |= static_cast<uint64_t>(value) << s.bit_count;
  s.bit_count += length;
  if (s.bit_count >= 32) EmitWord(s);
}

inline void SendCode(DeflateState& s, int code, const TreeNode* tree) {
  SendBits(s, tree[code].code, tree[code].len);
}

}  // namespace deflate_internal
}  // namespace zip

#endif  // ZIP_DEFLATE_BITS_H_
