// Classic histograms: counts in ranged buckets. Exponential (Histogram),
// linear, boolean and custom bucket layouts; the bucket ranges are shared
// between histograms with equal tables when the statistics recorder runs.

#ifndef BASE_METRICS_HISTOGRAM_H_
#define BASE_METRICS_HISTOGRAM_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram_base.h"
#include "base/metrics/sample_vector.h"

namespace base {

class Histogram : public HistogramBase {
 public:
  // Bucket counts at or above this are clamped below it.
  static constexpr size_t kBucketCount_MAX = 16384;

  // Corruption kinds, as bits of FindCorruption's mask.
  enum Inconsistency {
    NO_INCONSISTENCIES = 0,
    RANGE_CHECKSUM_ERROR = 1,
    BUCKET_ORDER_ERROR = 2,
    COUNT_HIGH_ERROR = 4,
    COUNT_LOW_ERROR = 8,
  };

  // The histogram of that name, made when there is none; an existing one
  // must have been made with the same (clamped) arguments.
  static HistogramBase* FactoryGet(const std::string& name, Sample minimum,
                                   Sample maximum, size_t bucket_count,
                                   int32_t flags);

  // Applies the factories' clamps; true when the arguments then describe a
  // usable table.
  static bool InspectConstructionArguments(Sample* minimum, Sample* maximum,
                                           size_t* bucket_count);
  // Exponentially growing ranges from |minimum| to |maximum|.
  static void InitializeBucketRanges(Sample minimum, Sample maximum,
                                     BucketRanges* ranges);

  ~Histogram() override;

  HistogramType GetHistogramType() const override;
  bool HasConstructionArguments(Sample minimum, Sample maximum,
                                size_t bucket_count) const override;
  // Clamps |value| to 0 ... kSampleType_MAX - 1.
  void Add(Sample value) override;
  void AddSamples(const HistogramSamples& samples) override;
  bool AddSamplesFromPickle(PickleIterator* iter) override;
  int FindCorruption(const HistogramSamples& samples) const override;
  std::unique_ptr<HistogramSamples> SnapshotSamples() const override;

  virtual Sample ranges(size_t index) const;
  virtual size_t bucket_count() const;
  const BucketRanges* bucket_ranges() const { return bucket_ranges_; }
  Sample declared_min() const { return declared_min_; }
  Sample declared_max() const { return declared_max_; }

 protected:
  Histogram(const std::string& name, Sample minimum, Sample maximum,
            const BucketRanges* ranges);

  // Shared by the factories: finds or makes the histogram, then requires
  // it to match the arguments.
  template <typename Maker>
  static HistogramBase* FactoryGetWith(const std::string& name,
                                       Sample minimum, Sample maximum,
                                       size_t bucket_count, int32_t flags,
                                       Maker make);

  bool SerializeInfoImpl(Pickle* pickle) const override;
  void GetParameters(DictionaryValue* params) const override;
  void GetCountAndBucketData(Count* count, int64_t* sum,
                             ListValue* buckets) const override;

  virtual bool PrintEmptyBucket(size_t index) const;
  // The bucket's count as drawn in the graph.
  virtual double GetBucketSize(Count current, size_t index) const;
  virtual std::string GetAsciiBucketRange(size_t index) const;

 private:
  void WriteAsciiImpl(const char* newline,
                      std::string* output) const override;

  const BucketRanges* bucket_ranges_;
  Sample declared_min_;
  Sample declared_max_;
  SampleVector samples_;
};

class LinearHistogram : public Histogram {
 public:
  struct DescriptionPair {
    Sample sample;
    const char* description;  // null ends a list
  };

  static HistogramBase* FactoryGet(const std::string& name, Sample minimum,
                                   Sample maximum, size_t bucket_count,
                                   int32_t flags);
  // |descriptions| label the buckets starting at their samples; a labelled
  // bucket is always printed.
  static HistogramBase* FactoryGetWithRangeDescription(
      const std::string& name, Sample minimum, Sample maximum,
      size_t bucket_count, int32_t flags,
      const DescriptionPair descriptions[]);

  static void InitializeBucketRanges(Sample minimum, Sample maximum,
                                     BucketRanges* ranges);

  HistogramType GetHistogramType() const override;

 protected:
  LinearHistogram(const std::string& name, Sample minimum, Sample maximum,
                  const BucketRanges* ranges);

  bool PrintEmptyBucket(size_t index) const override;
  std::string GetAsciiBucketRange(size_t index) const override;

 private:
  std::map<Sample, std::string> bucket_description_;
};

class BooleanHistogram : public LinearHistogram {
 public:
  static HistogramBase* FactoryGet(const std::string& name, int32_t flags);

  HistogramType GetHistogramType() const override;

 private:
  BooleanHistogram(const std::string& name, const BucketRanges* ranges);
};

class CustomHistogram : public Histogram {
 public:
  // Buckets start at each listed sample (plus 0); the list must hold
  // samples from 0 to kSampleType_MAX - 1, at least one of them not 0.
  static HistogramBase* FactoryGet(const std::string& name,
                                   const std::vector<Sample>& custom_ranges,
                                   int32_t flags);
  static bool ValidateCustomRanges(const std::vector<Sample>& custom_ranges);
  // The table for a valid list: the list, 0 and kSampleType_MAX, sorted,
  // without duplicates.
  static std::unique_ptr<BucketRanges> CreateBucketRangesFromCustomRanges(
      const std::vector<Sample>& custom_ranges);

  HistogramType GetHistogramType() const override;

 protected:
  // The base description, then every range.
  bool SerializeInfoImpl(Pickle* pickle) const override;

 private:
  CustomHistogram(const std::string& name, const BucketRanges* ranges);
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_H_
