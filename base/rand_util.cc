#include "base/rand_util.h"

#include <math.h>
#include <string.h>

#include <limits>

#include "base/logging.h"

namespace base {

uint64_t RandUint64() {
  const uint64_t high = RandUint32();
  const uint64_t low = RandUint32();
  return (high << 32) | low;
}

int RandInt(int min, int max) {
  CHECK_LE(min, max);
  // In 64 bits: max - min + 1 overflows int for wide ranges.
  const uint64_t range =
      static_cast<uint64_t>(static_cast<int64_t>(max) - min + 1);
  const int64_t result =
      static_cast<int64_t>(min) + static_cast<int64_t>(RandGenerator(range));
  DCHECK_GE(result, min);
  DCHECK_LE(result, max);
  return static_cast<int>(result);
}

uint64_t RandGenerator(uint64_t range) {
  CHECK_GT(range, 0u);
  // Draws above the last whole multiple of |range| are thrown away so that
  // every result is equally likely.
  const uint64_t max_acceptable =
      std::numeric_limits<uint64_t>::max() -
      (std::numeric_limits<uint64_t>::max() % range) - 1;
  uint64_t value;
  do {
    value = RandUint64();
  } while (value > max_acceptable);
  return value % range;
}

double RandDouble() {
  const uint64_t random_bits = RandUint64() & ((UINT64_C(1) << 53) - 1);
  return ldexp(static_cast<double>(random_bits), -53);
}

void RandBytes(void* output, size_t output_length) {
  unsigned char* out = static_cast<unsigned char*>(output);
  while (output_length > 0) {
    const uint64_t value = RandUint64();
    const size_t piece =
        output_length < sizeof(value) ? output_length : sizeof(value);
    memcpy(out, &value, piece);
    out += piece;
    output_length -= piece;
  }
}

std::string RandBytesAsString(size_t length) {
  std::string result(length, '\0');
  if (length)
    RandBytes(&result[0], length);
  return result;
}

}  // namespace base
