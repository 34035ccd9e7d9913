// The bucket boundaries of a classic histogram: bucket count + 1 ascending
// samples, bucket i holding [range(i), range(i + 1)), and a checksum that
// identifies equal tables.

#ifndef BASE_METRICS_BUCKET_RANGES_H_
#define BASE_METRICS_BUCKET_RANGES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/metrics/histogram_samples.h"

namespace base {

class BucketRanges {
 public:
  explicit BucketRanges(size_t num_ranges);

  size_t size() const { return ranges_.size(); }
  HistogramSample range(size_t i) const { return ranges_[i]; }
  // A negative value is a programming error (a failed check).
  void set_range(size_t i, HistogramSample value);
  uint32_t checksum() const { return checksum_; }

  uint32_t CalculateChecksum() const;
  void ResetChecksum() { checksum_ = CalculateChecksum(); }
  bool HasValidChecksum() const { return checksum_ == CalculateChecksum(); }
  bool Equals(const BucketRanges* other) const;

 private:
  std::vector<HistogramSample> ranges_;
  uint32_t checksum_;
};

}  // namespace base

#endif  // BASE_METRICS_BUCKET_RANGES_H_
