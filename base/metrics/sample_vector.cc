#include "base/metrics/sample_vector.h"

#include "base/logging.h"

namespace base {

namespace {

class SampleVectorIterator : public SampleCountIterator {
 public:
  SampleVectorIterator(const std::vector<HistogramCount>* counts,
                       const BucketRanges* ranges)
      : counts_(counts), ranges_(ranges), index_(0) {}
  bool Done() const override { return index_ >= counts_->size(); }
  void Next() override { ++index_; }
  void Get(HistogramSample* min, int64_t* max,
           HistogramCount* count) const override {
    *min = ranges_->range(index_);
    *max = ranges_->range(index_ + 1);
    *count = (*counts_)[index_];
  }
  bool GetBucketIndex(size_t* index) const override {
    *index = index_;
    return true;
  }

 private:
  const std::vector<HistogramCount>* counts_;
  const BucketRanges* ranges_;
  size_t index_;
};

}  // namespace

SampleVector::SampleVector(const BucketRanges* bucket_ranges)
    : counts_(bucket_ranges->size() - 1, 0), bucket_ranges_(bucket_ranges) {
  CHECK_GE(bucket_ranges->size(), 2u);
}

SampleVector::~SampleVector() {}

void SampleVector::Accumulate(HistogramSample value, HistogramCount count) {
  counts_[GetBucketIndex(value)] += count;
  IncreaseSum(int64_t(value) * count);
  IncreaseRedundantCount(count);
}

HistogramCount SampleVector::GetCount(HistogramSample value) const {
  return counts_[GetBucketIndex(value)];
}

HistogramCount SampleVector::TotalCount() const {
  HistogramCount total = 0;
  for (HistogramCount count : counts_) total += count;
  return total;
}

HistogramCount SampleVector::GetCountAtIndex(size_t bucket_index) const {
  return counts_[bucket_index];
}

std::unique_ptr<SampleCountIterator> SampleVector::Iterator() const {
  return std::unique_ptr<SampleCountIterator>(
      new SampleVectorIterator(&counts_, bucket_ranges_));
}

size_t SampleVector::GetBucketIndex(HistogramSample value) const {
  const size_t bucket_count = counts_.size();
  CHECK_GE(bucket_count, 1u);
  CHECK_GE(value, bucket_ranges_->range(0));
  CHECK_LT(value, bucket_ranges_->range(bucket_count));
  size_t under = 0;
  size_t over = bucket_count;
  size_t mid = over / 2;
  while (mid != under) {
    if (bucket_ranges_->range(mid) > value)
      over = mid;
    else
      under = mid;
    mid = under + (over - under) / 2;
  }
  CHECK_GT(bucket_ranges_->range(mid + 1), value);
  return mid;
}

bool SampleVector::AddSubtractImpl(SampleCountIterator* iter, Operator op) {
  // Every entry is matched before any is applied, so a bad one adds nothing.
  std::vector<std::pair<size_t, HistogramCount>> updates;
  size_t index = 0;
  for (; !iter->Done(); iter->Next()) {
    HistogramSample min;
    int64_t max;
    HistogramCount count;
    iter->Get(&min, &max, &count);
    while (index < counts_.size() && bucket_ranges_->range(index) < min)
      ++index;
    if (index >= counts_.size() || bucket_ranges_->range(index) != min ||
        bucket_ranges_->range(index + 1) != max) {
      return false;
    }
    updates.emplace_back(index, count);
  }
  for (const auto& update : updates)
    counts_[update.first] += op == ADD ? update.second : -update.second;
  return true;
}

}  // namespace base
