// Reproducible inputs for the compressor's tests: the same bytes on every
// machine and every run (std::mt19937's raw output is fixed by the
// standard). Usage:
//
//   #include "testing/test_support/deflate_inputs.h"
//   const Bytes input = MixedBytes(1 << 20, 7);
#ifndef TESTING_TEST_SUPPORT_DEFLATE_INPUTS_H_
#define TESTING_TEST_SUPPORT_DEFLATE_INPUTS_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

using Bytes = std::vector<uint8_t>;

// |n| bytes of noise.
Bytes RandomBytes(size_t n, uint32_t seed);

// Text lines, binary records, runs and noise, like a crash archive's files.
Bytes MixedBytes(size_t n, uint32_t seed);

// Letters in which no three-byte string repeats (coded, not stored, for the
// small alphabet), with a probe of three other bytes repeated at |distance|:
// the only possible match is that one, of length 3.
Bytes OneThreeByteRepeat(uint32_t distance);

#endif  // TESTING_TEST_SUPPORT_DEFLATE_INPUTS_H_
