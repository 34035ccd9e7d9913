#include "base/metrics/histogram_samples.h"

#include "base/pickle.h"

namespace base {

SampleCountIterator::~SampleCountIterator() {}

bool SampleCountIterator::GetBucketIndex(size_t*) const { return false; }

HistogramSamples::HistogramSamples() : sum_(0), redundant_count_(0) {}

HistogramSamples::~HistogramSamples() {}

void HistogramSamples::Add(const HistogramSamples& other) {
  sum_ += other.sum();
  redundant_count_ += other.redundant_count();
  AddSubtractImpl(other.Iterator().get(), ADD);
}

void HistogramSamples::Subtract(const HistogramSamples& other) {
  sum_ -= other.sum();
  redundant_count_ -= other.redundant_count();
  AddSubtractImpl(other.Iterator().get(), SUBTRACT);
}

bool HistogramSamples::AddFromPickle(PickleIterator* iter) {
  int64_t sum;
  int redundant_count;
  if (!iter->ReadInt64(&sum) || !iter->ReadInt(&redundant_count))
    return false;
  std::vector<ListSampleCountIterator::Entry> entries;
  // The entries run to the end of the payload; one cut short means the
  // pickle was, and then none of it counts.
  while (iter->RemainingBytes() > 0) {
    int min, max, count;
    if (!iter->ReadInt(&min) || !iter->ReadInt(&max) || !iter->ReadInt(&count))
      return false;
    // A maximum of 2^31 travels as its 32-bit pattern.
    int64_t wide_max = max;
    if (wide_max <= min) wide_max += int64_t(1) << 32;
    entries.push_back({min, wide_max, count});
  }
  ListSampleCountIterator list(std::move(entries));
  if (!AddSubtractImpl(&list, ADD)) return false;
  sum_ += sum;
  redundant_count_ += redundant_count;
  return true;
}

bool HistogramSamples::Serialize(Pickle* pickle) const {
  if (!pickle->WriteInt64(sum_) || !pickle->WriteInt(redundant_count_))
    return false;
  for (auto it = Iterator(); !it->Done(); it->Next()) {
    HistogramSample min;
    int64_t max;
    HistogramCount count;
    it->Get(&min, &max, &count);
    if (!pickle->WriteInt(min) ||
        !pickle->WriteUInt32(static_cast<uint32_t>(max)) ||
        !pickle->WriteInt(count)) {
      return false;
    }
  }
  return true;
}

ListSampleCountIterator::ListSampleCountIterator(std::vector<Entry> entries)
    : entries_(std::move(entries)), index_(0) {}

bool ListSampleCountIterator::Done() const { return index_ >= entries_.size(); }

void ListSampleCountIterator::Next() { ++index_; }

void ListSampleCountIterator::Get(HistogramSample* min, int64_t* max,
                                  HistogramCount* count) const {
  *min = entries_[index_].min;
  *max = entries_[index_].max;
  *count = entries_[index_].count;
}

}  // namespace base
