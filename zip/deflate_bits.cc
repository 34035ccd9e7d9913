#include "zip/deflate_bits.h"

namespace zip {
namespace deflate_internal {

void BitsInit(DeflateState& s, uint8_t* buffer, uint32_t size) {
  s.out = buffer;
  s.out_size = size;
  s.fill = 0;
  s.bit_buffer = 0;
  s.bit_count = 0;
  s.bytes_written = 0;
}

void FlushOutput(DeflateState& s) {
  const uint32_t size = s.fill;
  s.fill = 0;
  if (size == 0 || Stopped(s)) return;
  if (!s.io->write(s.io->context, s.out, size)) {
    s.status = DeflateStatus::kWriteError;
    return;
  }
  s.bytes_written += size;
}

void AlignToByte(DeflateState& s) {
  while (s.bit_count > 0) {
    if (s.fill == s.out_size) FlushOutput(s);
    s.out[s.fill++] = static_cast<uint8_t>(s.bit_buffer);
    s.bit_buffer >>= 8;
    s.bit_count = s.bit_count > 8 ? s.bit_count - 8 : 0;
  }
  s.bit_buffer = 0;
  FlushOutput(s);
}

void WriteStoredBytes(DeflateState& s, const uint8_t* data, uint32_t len) {
  AlignToByte(s);  // leaves the buffer empty
  const uint8_t header[4] = {
      static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
      static_cast<uint8_t>(~len), static_cast<uint8_t>(~len >> 8)};
  memcpy(s.out, header, 4);
  s.fill = 4;
  FlushOutput(s);
  if (len == 0 || Stopped(s)) return;
  if (!s.io->write(s.io->context, data, len)) {
    s.status = DeflateStatus::kWriteError;
    return;
  }
  s.bytes_written += len;
}

}  // namespace deflate_internal
}  // namespace zip
