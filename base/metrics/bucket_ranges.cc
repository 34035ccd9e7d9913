#include "base/metrics/bucket_ranges.h"

#include "base/logging.h"

namespace base {

namespace {

// The reflected CRC-32 (polynomial 0xEDB88320) table, built once.
const uint32_t* Crc32Table() {
  static const struct Table {
    uint32_t entries[256];
    Table() {
      for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        entries[i] = c;
      }
    }
  } table;
  return table.entries;
}

}  // namespace

BucketRanges::BucketRanges(size_t num_ranges)
    : ranges_(num_ranges, 0), checksum_(0) {}

void BucketRanges::set_range(size_t i, HistogramSample value) {
  CHECK(value >= 0);
  ranges_[i] = value;
}

uint32_t BucketRanges::CalculateChecksum() const {
  // Seeded with the number of ranges; no inversion at either end.
  const uint32_t* table = Crc32Table();
  uint32_t sum = static_cast<uint32_t>(ranges_.size());
  for (HistogramSample range : ranges_) {
    uint32_t value = static_cast<uint32_t>(range);
    for (int byte = 0; byte < 4; ++byte, value >>= 8)
      sum = table[(sum ^ value) & 0xFF] ^ (sum >> 8);
  }
  return sum;
}

bool BucketRanges::Equals(const BucketRanges* other) const {
  return checksum_ == other->checksum_ && ranges_ == other->ranges_;
}

}  // namespace base
