// Cryptographically strong random numbers from the runtime's rand_s.

#ifndef BASE_RAND_UTIL_H_
#define BASE_RAND_UTIL_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace base {

uint32_t RandUint32();
uint64_t RandUint64();

// Uniform in [min, max]; min must not exceed max.
int RandInt(int min, int max);

// Uniform in [0, range - 1]; range must be at least 1.
uint64_t RandGenerator(uint64_t range);

// Uniform in [0, 1).
double RandDouble();

// Each 8 bytes come from a fresh RandUint64().
void RandBytes(void* output, size_t output_length);
std::string RandBytesAsString(size_t length);

}  // namespace base

#endif  // BASE_RAND_UTIL_H_
