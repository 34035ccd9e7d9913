// The sample sets behind histograms: a running sum, a redundant count (the
// number of samples added, kept apart from the buckets so that damage to
// either shows), and per-bucket counts kept by a subclass.

#ifndef BASE_METRICS_HISTOGRAM_SAMPLES_H_
#define BASE_METRICS_HISTOGRAM_SAMPLES_H_

#include <cstdint>
#include <memory>
#include <vector>

namespace base {

class Pickle;
class PickleIterator;

typedef int32_t HistogramSample;
typedef int32_t HistogramCount;

// Walks (minimum, maximum, count) entries. A bucket's maximum is exclusive
// and may be 2^31 (one past the largest sample), so it is 64-bit.
class SampleCountIterator {
 public:
  virtual ~SampleCountIterator();
  virtual bool Done() const = 0;
  virtual void Next() = 0;
  virtual void Get(HistogramSample* min, int64_t* max,
                   HistogramCount* count) const = 0;
  // Only an iterator over bucket counts knows its bucket's index.
  virtual bool GetBucketIndex(size_t* index) const;
};

class HistogramSamples {
 public:
  enum Operator { ADD, SUBTRACT };

  HistogramSamples();
  virtual ~HistogramSamples();

  virtual void Accumulate(HistogramSample value, HistogramCount count) = 0;
  virtual HistogramCount GetCount(HistogramSample value) const = 0;
  virtual HistogramCount TotalCount() const = 0;

  void Add(const HistogramSamples& other);
  // Reads what Serialize wrote. False, adding nothing, when the pickle runs
  // short or an entry does not fit this set's buckets.
  bool AddFromPickle(PickleIterator* iter);
  void Subtract(const HistogramSamples& other);

  virtual std::unique_ptr<SampleCountIterator> Iterator() const = 0;
  // The sum (8 bytes), the redundant count (4), then three ints per entry:
  // minimum, maximum (2^31 is written as its 32-bit pattern) and count.
  bool Serialize(Pickle* pickle) const;

  int64_t sum() const { return sum_; }
  HistogramCount redundant_count() const { return redundant_count_; }

 protected:
  // Applies the entries to the buckets; false when one does not fit.
  virtual bool AddSubtractImpl(SampleCountIterator* iter, Operator op) = 0;

  void IncreaseSum(int64_t diff) { sum_ += diff; }
  void IncreaseRedundantCount(HistogramCount diff) { redundant_count_ += diff; }

 private:
  int64_t sum_;
  HistogramCount redundant_count_;
};

// Entries held in a plain list, for samples read from a pickle.
class ListSampleCountIterator : public SampleCountIterator {
 public:
  struct Entry {
    HistogramSample min;
    int64_t max;
    HistogramCount count;
  };
  explicit ListSampleCountIterator(std::vector<Entry> entries);
  bool Done() const override;
  void Next() override;
  void Get(HistogramSample* min, int64_t* max,
           HistogramCount* count) const override;

 private:
  std::vector<Entry> entries_;
  size_t index_;
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_SAMPLES_H_
