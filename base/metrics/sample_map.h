// Counts per distinct sample value, for sparse histograms.

#ifndef BASE_METRICS_SAMPLE_MAP_H_
#define BASE_METRICS_SAMPLE_MAP_H_

#include <map>

#include "base/metrics/histogram_samples.h"

namespace base {

class SampleMap : public HistogramSamples {
 public:
  SampleMap();
  ~SampleMap() override;

  void Accumulate(HistogramSample value, HistogramCount count) override;
  HistogramCount GetCount(HistogramSample value) const override;
  HistogramCount TotalCount() const override;
  // In value order: (value, value + 1, count).
  std::unique_ptr<SampleCountIterator> Iterator() const override;

 protected:
  // Takes only single-value entries (maximum = minimum + 1).
  bool AddSubtractImpl(SampleCountIterator* iter, Operator op) override;

 private:
  std::map<HistogramSample, HistogramCount> counts_;
};

}  // namespace base

#endif  // BASE_METRICS_SAMPLE_MAP_H_
