// The zip format's CRC-32 (reflected polynomial 0xEDB88320, inverted at the
// start and the end), computed piece by piece.

#ifndef ZIP_CRC32_H_
#define ZIP_CRC32_H_

#include <stddef.h>
#include <stdint.h>

namespace zip {

// Continues |crc| (0 to start) over |size| bytes.
uint32_t UpdateCrc32(uint32_t crc, const uint8_t* data, size_t size);

}  // namespace zip

#endif  // ZIP_CRC32_H_
