// What every histogram offers: a name, flags, adding samples, snapshots,
// text, HTML and JSON forms, and a pickled description that another process
// can turn back into the same histogram.

#ifndef BASE_METRICS_HISTOGRAM_BASE_H_
#define BASE_METRICS_HISTOGRAM_BASE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "base/metrics/histogram_samples.h"

namespace base {

class DictionaryValue;
class ListValue;
class Pickle;
class PickleIterator;
class TimeDelta;

enum HistogramType {
  HISTOGRAM,
  LINEAR_HISTOGRAM,
  BOOLEAN_HISTOGRAM,
  CUSTOM_HISTOGRAM,
  SPARSE_HISTOGRAM,
};

// "HISTOGRAM" ... "SPARSE_HISTOGRAM", "UNKNOWN" for any other value.
std::string HistogramTypeToString(HistogramType type);

class HistogramBase {
 public:
  typedef HistogramSample Sample;
  typedef HistogramCount Count;

  static constexpr Sample kSampleType_MAX = 0x7FFFFFFF;

  enum Flags {
    kNoFlags = 0,
    kUmaTargetedHistogramFlag = 0x1,
    // Samples of this histogram leave the process through pickles; samples
    // arriving by pickle are not added to it.
    kIPCSerializationSourceFlag = 0x10,
    kHexRangePrintingFlag = 0x8000,
  };

  explicit HistogramBase(const std::string& name);
  virtual ~HistogramBase();

  const std::string& histogram_name() const { return histogram_name_; }
  int32_t flags() const { return flags_; }
  void SetFlags(int32_t flags) { flags_ |= flags; }
  void ClearFlags(int32_t flags) { flags_ &= ~flags; }

  virtual HistogramType GetHistogramType() const = 0;
  virtual bool HasConstructionArguments(Sample minimum, Sample maximum,
                                        size_t bucket_count) const = 0;
  virtual void Add(Sample value) = 0;
  virtual void AddSamples(const HistogramSamples& samples) = 0;
  virtual bool AddSamplesFromPickle(PickleIterator* iter) = 0;
  // A mask of the kinds of damage found (0 when none).
  virtual int FindCorruption(const HistogramSamples& samples) const;
  virtual std::unique_ptr<HistogramSamples> SnapshotSamples() const = 0;
  // The ASCII form between "<PRE>" and "</PRE>", lines ended by "<br>".
  virtual void WriteHTMLGraph(std::string* output) const;
  // A header line, then one line per bucket.
  virtual void WriteAscii(std::string* output) const;

  // Adds the duration in whole milliseconds.
  void AddTime(const TimeDelta& time);

  // The type (an int), then the subclass's description.
  bool SerializeInfo(Pickle* pickle) const;

  // name, count, sum, flags, params, buckets and pid, as one JSON object.
  void WriteJSON(std::string* output) const;

 protected:
  virtual bool SerializeInfoImpl(Pickle* pickle) const = 0;
  // The text form with lines ended by |newline|.
  virtual void WriteAsciiImpl(const char* newline,
                              std::string* output) const = 0;
  virtual void GetParameters(DictionaryValue* params) const = 0;
  virtual void GetCountAndBucketData(Count* count, int64_t* sum,
                                     ListValue* buckets) const = 0;

  // The graph pieces shared by every histogram's text form.
  // |share| of the largest bucket as a 72-column bar.
  static void WriteAsciiBar(double share, std::string* output);
  // " (count = percent%)"; an empty total shows 0.0%.
  static void WriteAsciiCount(Count count, Count total, std::string* output);

 private:
  const std::string histogram_name_;
  int32_t flags_;
};

// Reads a pickled description and returns the histogram it names, made
// when needed. Null, building nothing, when the description is short, of an
// unknown type, has arguments no histogram accepts, or disagrees with the
// histogram of that name that already exists.
HistogramBase* DeserializeHistogramInfo(PickleIterator* iter);

// A description followed by samples: adds the samples to the histogram it
// names unless that histogram sends its own samples out by pickle.
bool DeserializeHistogramAndAddSamples(PickleIterator* iter);

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_BASE_H_
