#include "base/dtoa_pool.h"

#include <cstddef>
#include <cstdlib>

#include "base/lazy_instance.h"
#include "base/lock.h"

namespace base {
namespace float_text {

namespace {

const int kMaxPooledClass = 7;
const size_t kPrivateAreaDoubles = 288;

double g_private_area[kPrivateAreaDoubles];
double* g_private_next = g_private_area;
PoolRecord* g_free_lists[kMaxPooledClass + 1];

// Guards the free lists and the private area. Made on first use and never
// destroyed, so conversions stay usable during and after exit callbacks.
LazyInstance<LockImpl>::Leaky g_pool_lock = LAZY_INSTANCE_INITIALIZER;

size_t RecordBytes(int k) {
  return offsetof(PoolRecord, x) + (static_cast<size_t>(1) << k) *
                                       sizeof(uint32_t);
}

// Size in whole doubles, the unit of the private area.
size_t RecordDoubles(int k) {
  return (RecordBytes(k) + sizeof(double) - 1) / sizeof(double);
}

PoolRecord* HeapRecord(int k) {
  return static_cast<PoolRecord*>(std::malloc(RecordDoubles(k) *
                                              sizeof(double)));
}

}  // namespace

PoolRecord* PoolAllocate(int k) {
  PoolRecord* record = nullptr;
  if (k > kMaxPooledClass) {
    record = HeapRecord(k);
  } else {
    AutoLock lock(g_pool_lock.Get());
    if ((record = g_free_lists[k]) != nullptr) {
      g_free_lists[k] = record->next;
    } else {
      const size_t doubles = RecordDoubles(k);
      const size_t used = static_cast<size_t>(g_private_next - g_private_area);
      if (kPrivateAreaDoubles - used >= doubles) {
        record = reinterpret_cast<PoolRecord*>(g_private_next);
        g_private_next += doubles;
      } else {
        record = HeapRecord(k);
      }
    }
  }
  if (!record) return nullptr;
  record->next = nullptr;
  record->k = k;
  record->maxwds = 1 << k;
  record->sign = 0;
  record->wds = 0;
  return record;
}

void PoolFree(PoolRecord* record) {
  if (!record) return;
  if (record->k > kMaxPooledClass) {
    std::free(record);
    return;
  }
  AutoLock lock(g_pool_lock.Get());
  record->next = g_free_lists[record->k];
  g_free_lists[record->k] = record;
}

bool PoolOwnsRecord(const PoolRecord* record) {
  const double* p = reinterpret_cast<const double*>(record);
  return p >= g_private_area && p < g_private_area + kPrivateAreaDoubles;
}

}  // namespace float_text
}  // namespace base
