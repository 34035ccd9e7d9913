#ifndef BASE_DTOA_POOL_H_
#define BASE_DTOA_POOL_H_

// The memory pool behind the floating-point conversions: records of size
// class k hold 2^k 32-bit words. Classes 0 to 7 are carved from a private
// static area while it lasts and recycled through free lists; larger ones
// come from and go back to the heap. Thread-safe.

#include <cstdint>

namespace base {
namespace float_text {

struct PoolRecord {
  PoolRecord* next;
  int k;
  int maxwds;
  int sign;
  int wds;
  uint32_t x[1];
};

PoolRecord* PoolAllocate(int k);
void PoolFree(PoolRecord* record);

// Whether a record was carved from the private area (for tests).
bool PoolOwnsRecord(const PoolRecord* record);

}  // namespace float_text
}  // namespace base

#endif  // BASE_DTOA_POOL_H_
