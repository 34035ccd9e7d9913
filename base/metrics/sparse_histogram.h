// A histogram that counts each distinct sample value, under its own lock.

#ifndef BASE_METRICS_SPARSE_HISTOGRAM_H_
#define BASE_METRICS_SPARSE_HISTOGRAM_H_

#include "base/lock.h"
#include "base/metrics/histogram_base.h"
#include "base/metrics/sample_map.h"

namespace base {

class SparseHistogram : public HistogramBase {
 public:
  // The histogram of that name, made and kept when there is none. Never
  // deleted.
  static HistogramBase* FactoryGet(const std::string& name, int32_t flags);

  ~SparseHistogram() override;

  HistogramType GetHistogramType() const override;
  bool HasConstructionArguments(Sample minimum, Sample maximum,
                                size_t bucket_count) const override;
  void Add(Sample value) override;
  void AddSamples(const HistogramSamples& samples) override;
  bool AddSamplesFromPickle(PickleIterator* iter) override;
  std::unique_ptr<HistogramSamples> SnapshotSamples() const override;

 protected:
  // The name (a string) and the flags.
  bool SerializeInfoImpl(Pickle* pickle) const override;
  void GetParameters(DictionaryValue* params) const override;
  void GetCountAndBucketData(Count* count, int64_t* sum,
                             ListValue* buckets) const override;

 private:
  explicit SparseHistogram(const std::string& name);

  void WriteAsciiImpl(const char* newline,
                      std::string* output) const override;

  mutable LockImpl lock_;
  SampleMap samples_;
};

}  // namespace base

#endif  // BASE_METRICS_SPARSE_HISTOGRAM_H_
