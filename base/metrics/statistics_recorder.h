// The process-wide register of histograms and bucket-range tables by name.
// It exists only once Initialize has run; until then nothing is listed, but
// a histogram of each name is still kept once (and adopted by the recorder
// when it starts), so repeated factory calls share one histogram instead of
// leaving a new one behind each time.

#ifndef BASE_METRICS_STATISTICS_RECORDER_H_
#define BASE_METRICS_STATISTICS_RECORDER_H_

#include <string>
#include <vector>

#include "base/metrics/histogram_base.h"

namespace base {

class BucketRanges;

class StatisticsRecorder {
 public:
  typedef std::vector<HistogramBase*> Histograms;

  StatisticsRecorder() = delete;

  // Starts the recorder (once; later calls do nothing).
  static void Initialize();
  static bool IsActive();

  // Registers |histogram| and returns it; when one of that name is already
  // kept, |histogram| is deleted and that one returned.
  static HistogramBase* RegisterOrDeleteDuplicate(HistogramBase* histogram);
  // Returns an equal registered table, deleting |ranges|, or registers it.
  static const BucketRanges* RegisterOrDeleteDuplicateRanges(
      const BucketRanges* ranges);

  // The registered histogram of that name; null while inactive.
  static HistogramBase* FindHistogram(const std::string& name);
  // For the factories: also finds a histogram kept while inactive.
  static HistogramBase* FindKeptHistogram(const std::string& name);

  static void GetHistograms(Histograms* output);
  static void GetBucketRanges(std::vector<const BucketRanges*>* output);
  // Histograms whose names contain |query|, in name order.
  static void GetSnapshot(const std::string& query, Histograms* snapshot);

  static void WriteGraph(const std::string& query, std::string* output);
  static void WriteHTMLGraph(const std::string& query, std::string* output);
};

}  // namespace base

#endif  // BASE_METRICS_STATISTICS_RECORDER_H_
