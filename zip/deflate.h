#ifndef ZIP_DEFLATE_H_
#define ZIP_DEFLATE_H_

#include <stdint.h>

namespace zip {

// The source of one entry's data, pulled by the compressor.
// Returns the bytes placed in `buffer` (at most `size`), 0 at the end of the
// source, or kDeflateReadError when the source could not be read.
using DeflateReadFn = uint32_t (*)(void* context, uint8_t* buffer,
                                   uint32_t size);
constexpr uint32_t kDeflateReadError = 0xFFFFFFFFu;

// Writes `size` bytes of compressed output. False when they could not all be
// written; the compressor then stops the entry and writes nothing more.
using DeflateWriteFn = bool (*)(void* context, const uint8_t* data,
                                uint32_t size);

struct DeflateIo {
  void* context = nullptr;
  DeflateReadFn read = nullptr;
  DeflateWriteFn write = nullptr;
};

enum class DeflateStatus {
  kOk,
  kInternalError,  // An internal check failed; `error_text` names it.
  kReadError,      // The source reported kDeflateReadError.
  kWriteError,     // The write callback failed.
};

struct DeflateOutcome {
  DeflateStatus status = DeflateStatus::kOk;
  // Bytes handed to the write callback.
  uint64_t compressed_size = 0;
  // Bytes read from the source.
  uint64_t input_size = 0;
  // The text of the last internal check that failed, or null.
  const char* error_text = nullptr;
};

// The writer's level.
constexpr int kZipDeflateLevel = 8;

// Compresses one entry's data into a raw DEFLATE stream (RFC 1951).
// `out_buffer` (the writer's I/O buffer, `out_size` bytes) collects output
// between writes. `internal_attr` is the entry's internal-attribute word (a
// 0xFFFF preset asks for a text/binary guess); `flags` gets the level's
// compression-option bits ORed in.
DeflateOutcome DeflateEntry(const DeflateIo& io, uint8_t* out_buffer,
                            uint32_t out_size, uint16_t* internal_attr,
                            uint16_t* flags, int level = kZipDeflateLevel);

}  // namespace zip

#endif  // ZIP_DEFLATE_H_
