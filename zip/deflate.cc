#include "zip/deflate.h"

#include <memory>

#include "zip/deflate_bits.h"
#include "zip/deflate_state.h"

namespace zip {

DeflateOutcome DeflateEntry(const DeflateIo& io, uint8_t* out_buffer,
                            uint32_t out_size, uint16_t* internal_attr,
                            uint16_t* flags, int level) {
  using namespace deflate_internal;
  DeflateOutcome outcome;
  // The bit writer stores four bytes at a time.
  if (io.read == nullptr || io.write == nullptr || out_buffer == nullptr ||
      out_size < 16 || internal_attr == nullptr || flags == nullptr) {
    outcome.status = DeflateStatus::kInternalError;
    outcome.error_text = "bad compressor arguments";
    return outcome;
  }
  // About 400 KB, zero-filled: the window's unread bytes read as zeros.
  auto state = std::make_unique<DeflateState>();
  DeflateState& s = *state;
  s.io = &io;
  s.level = level;
  BitsInit(s, out_buffer, out_size);
  TreesInit(s, internal_attr);
  MatcherInit(s, level, flags);
  if (!Stopped(s)) DeflateLoop(s);

  outcome.status = s.status;
  outcome.error_text = s.error_text;
  outcome.compressed_size = s.bytes_written;
  outcome.input_size = s.input_read;
  return outcome;
}

}  // namespace zip
