#include "base/metrics/sample_map.h"

#include <vector>

namespace base {

namespace {

class SampleMapIterator : public SampleCountIterator {
 public:
  explicit SampleMapIterator(
      const std::map<HistogramSample, HistogramCount>& counts)
      : it_(counts.begin()), end_(counts.end()) {}
  bool Done() const override { return it_ == end_; }
  void Next() override { ++it_; }
  void Get(HistogramSample* min, int64_t* max,
           HistogramCount* count) const override {
    *min = it_->first;
    // 64-bit: the largest sample's bucket ends at 2^31.
    *max = int64_t(it_->first) + 1;
    *count = it_->second;
  }

 private:
  std::map<HistogramSample, HistogramCount>::const_iterator it_;
  std::map<HistogramSample, HistogramCount>::const_iterator end_;
};

}  // namespace

SampleMap::SampleMap() {}

SampleMap::~SampleMap() {}

void SampleMap::Accumulate(HistogramSample value, HistogramCount count) {
  counts_[value] += count;
  // 64-bit: value x count overflows 32 bits for large samples.
  IncreaseSum(int64_t(value) * count);
  IncreaseRedundantCount(count);
}

HistogramCount SampleMap::GetCount(HistogramSample value) const {
  auto it = counts_.find(value);
  return it == counts_.end() ? 0 : it->second;
}

HistogramCount SampleMap::TotalCount() const {
  HistogramCount total = 0;
  for (const auto& entry : counts_) total += entry.second;
  return total;
}

std::unique_ptr<SampleCountIterator> SampleMap::Iterator() const {
  return std::unique_ptr<SampleCountIterator>(new SampleMapIterator(counts_));
}

bool SampleMap::AddSubtractImpl(SampleCountIterator* iter, Operator op) {
  // Every entry is checked before any is applied, so a bad one adds nothing.
  std::vector<std::pair<HistogramSample, HistogramCount>> entries;
  for (; !iter->Done(); iter->Next()) {
    HistogramSample min;
    int64_t max;
    HistogramCount count;
    iter->Get(&min, &max, &count);
    if (max != int64_t(min) + 1) return false;
    entries.emplace_back(min, count);
  }
  for (const auto& entry : entries)
    counts_[entry.first] += op == ADD ? entry.second : -entry.second;
  return true;
}

}  // namespace base
