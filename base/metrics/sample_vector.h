// Counts per bucket of a classic histogram's BucketRanges.

#ifndef BASE_METRICS_SAMPLE_VECTOR_H_
#define BASE_METRICS_SAMPLE_VECTOR_H_

#include <vector>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram_samples.h"

namespace base {

class SampleVector : public HistogramSamples {
 public:
  // |bucket_ranges| must outlive this set.
  explicit SampleVector(const BucketRanges* bucket_ranges);
  ~SampleVector() override;

  void Accumulate(HistogramSample value, HistogramCount count) override;
  HistogramCount GetCount(HistogramSample value) const override;
  HistogramCount TotalCount() const override;
  HistogramCount GetCountAtIndex(size_t bucket_index) const;
  // (range(i), range(i + 1), count) for every bucket.
  std::unique_ptr<SampleCountIterator> Iterator() const override;

  // The bucket holding |value|; a value outside the ranges is a programming
  // error (a failed check).
  size_t GetBucketIndex(HistogramSample value) const;

 protected:
  // Each entry must match one bucket's bounds exactly.
  bool AddSubtractImpl(SampleCountIterator* iter, Operator op) override;

 private:
  std::vector<HistogramCount> counts_;
  const BucketRanges* bucket_ranges_;
};

}  // namespace base

#endif  // BASE_METRICS_SAMPLE_VECTOR_H_
