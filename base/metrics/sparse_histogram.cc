#include "base/metrics/sparse_histogram.h"

#include <algorithm>

#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "base/stringprintf.h"

namespace base {

// static
HistogramBase* SparseHistogram::FactoryGet(const std::string& name,
                                           int32_t flags) {
  HistogramBase* histogram = StatisticsRecorder::FindKeptHistogram(name);
  if (!histogram) {
    SparseHistogram* made = new SparseHistogram(name);
    made->SetFlags(flags);
    histogram = StatisticsRecorder::RegisterOrDeleteDuplicate(made);
  }
  return histogram;
}

SparseHistogram::SparseHistogram(const std::string& name)
    : HistogramBase(name) {}

SparseHistogram::~SparseHistogram() {}

HistogramType SparseHistogram::GetHistogramType() const {
  return SPARSE_HISTOGRAM;
}

bool SparseHistogram::HasConstructionArguments(Sample, Sample, size_t) const {
  return false;
}

void SparseHistogram::Add(Sample value) {
  AutoLock auto_lock(lock_);
  samples_.Accumulate(value, 1);
}

void SparseHistogram::AddSamples(const HistogramSamples& samples) {
  AutoLock auto_lock(lock_);
  samples_.Add(samples);
}

bool SparseHistogram::AddSamplesFromPickle(PickleIterator* iter) {
  AutoLock auto_lock(lock_);
  return samples_.AddFromPickle(iter);
}

std::unique_ptr<HistogramSamples> SparseHistogram::SnapshotSamples() const {
  std::unique_ptr<SampleMap> snapshot(new SampleMap);
  AutoLock auto_lock(lock_);
  snapshot->Add(samples_);
  return snapshot;
}

void SparseHistogram::WriteAsciiImpl(const char* newline,
                                     std::string* output) const {
  std::unique_ptr<HistogramSamples> snapshot = SnapshotSamples();
  const Count total = snapshot->TotalCount();
  StringAppendF(output, "Histogram: %s recorded %d samples",
                histogram_name().c_str(), total);
  if (flags() & ~kHexRangePrintingFlag)
    StringAppendF(output, " (flags = 0x%x)", flags() & ~kHexRangePrintingFlag);
  output->append(newline);

  const char* format = (flags() & kHexRangePrintingFlag) ? "%#x" : "%d";
  Count largest = 0;
  size_t width = 0;
  for (auto it = snapshot->Iterator(); !it->Done(); it->Next()) {
    Sample min;
    int64_t max;
    Count count;
    it->Get(&min, &max, &count);
    largest = std::max(largest, count);
    width = std::max(width, StringPrintf(format, min).size());
  }
  for (auto it = snapshot->Iterator(); !it->Done(); it->Next()) {
    Sample min;
    int64_t max;
    Count count;
    it->Get(&min, &max, &count);
    std::string range = StringPrintf(format, min);
    range.resize(width + 2, ' ');
    output->append(range);
    WriteAsciiBar(largest > 0 ? double(count) / largest : 0.0, output);
    WriteAsciiCount(count, total, output);
    output->append(newline);
  }
}

bool SparseHistogram::SerializeInfoImpl(Pickle* pickle) const {
  return pickle->WriteString(histogram_name()) && pickle->WriteInt(flags());
}

void SparseHistogram::GetParameters(DictionaryValue*) const {}

void SparseHistogram::GetCountAndBucketData(Count* count, int64_t* sum,
                                            ListValue*) const {
  // No buckets, but the totals are worth showing.
  std::unique_ptr<HistogramSamples> snapshot = SnapshotSamples();
  *count = snapshot->TotalCount();
  *sum = snapshot->sum();
}

}  // namespace base
