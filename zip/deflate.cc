#include "zip/deflate.h"

#include <string.h>

// Placeholder until the compressor lands: stored blocks only, which any
// inflater reads. Replaced by the real compressor.
namespace zip {

DeflateOutcome DeflateEntry(const DeflateIo& io, uint8_t* out_buffer,
                            uint32_t out_size, uint16_t* internal_attr,
                            uint16_t* flags, int level) {
  (void)out_buffer;
  (void)out_size;
  (void)internal_attr;
  (void)level;
  *flags |= 2;
  DeflateOutcome outcome;
  uint8_t block[5 + 65535];
  bool done = false;
  while (!done) {
    uint32_t got = 0;
    while (got < 65535) {
      const uint32_t n = io.read(io.context, block + 5 + got, 65535 - got);
      if (n == kDeflateReadError) {
        outcome.status = DeflateStatus::kReadError;
        return outcome;
      }
      if (n == 0) {
        done = true;
        break;
      }
      got += n;
    }
    outcome.input_size += got;
    block[0] = done ? 1 : 0;
    block[1] = got & 0xFF;
    block[2] = got >> 8;
    block[3] = ~got & 0xFF;
    block[4] = (~got >> 8) & 0xFF;
    if (!io.write(io.context, block, 5 + got)) {
      outcome.status = DeflateStatus::kWriteError;
      return outcome;
    }
    outcome.compressed_size += 5 + got;
  }
  return outcome;
}

}  // namespace zip
