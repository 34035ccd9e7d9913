#include "base/metrics/histogram_base.h"

#include <cmath>
#include <climits>

#include "base/json/json_writer.h"
#include "base/metrics/histogram.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "base/process_handle.h"
#include "base/stringprintf.h"
#include "base/time.h"
#include "base/values.h"

namespace base {

namespace {

const int kBarColumns = 72;

// The description of a classic histogram, read and checked before anything
// is made from it.
struct ClassicDescription {
  int type;
  std::string name;
  int flags;
  int minimum;
  int maximum;
  uint64_t bucket_count;
  uint32_t checksum;
  std::vector<HistogramSample> custom_ranges;
};

bool ReadClassicDescription(PickleIterator* iter, ClassicDescription* d) {
  if (!iter->ReadString(&d->name) || !iter->ReadInt(&d->flags) ||
      !iter->ReadInt(&d->minimum) || !iter->ReadInt(&d->maximum) ||
      !iter->ReadUInt64(&d->bucket_count) || !iter->ReadUInt32(&d->checksum)) {
    return false;
  }
  if (d->bucket_count >= Histogram::kBucketCount_MAX) return false;
  if (d->type != CUSTOM_HISTOGRAM) return true;
  // A custom table lists every range, bucket count + 1 of them, ending
  // with the largest sample, which is not one of the caller's ranges.
  for (uint64_t i = 0; i <= d->bucket_count; ++i) {
    int range;
    if (!iter->ReadInt(&range)) return false;
    d->custom_ranges.push_back(range);
  }
  if (d->custom_ranges.back() != HistogramBase::kSampleType_MAX) return false;
  d->custom_ranges.pop_back();
  return true;
}

// The table the description's arguments make, or null when they make none.
std::unique_ptr<BucketRanges> RangesFor(const ClassicDescription& d) {
  HistogramSample minimum = d.minimum;
  HistogramSample maximum = d.maximum;
  size_t bucket_count = static_cast<size_t>(d.bucket_count);
  std::unique_ptr<BucketRanges> ranges;
  switch (d.type) {
    case HISTOGRAM:
    case LINEAR_HISTOGRAM:
    case BOOLEAN_HISTOGRAM:
      // Arguments the factories would have clamped were never written.
      if (!Histogram::InspectConstructionArguments(&minimum, &maximum,
                                                   &bucket_count) ||
          minimum != d.minimum || maximum != d.maximum ||
          bucket_count != d.bucket_count) {
        return nullptr;
      }
      if (d.type == BOOLEAN_HISTOGRAM &&
          (minimum != 1 || maximum != 2 || bucket_count != 3)) {
        return nullptr;
      }
      ranges.reset(new BucketRanges(bucket_count + 1));
      if (d.type == HISTOGRAM)
        Histogram::InitializeBucketRanges(minimum, maximum, ranges.get());
      else
        LinearHistogram::InitializeBucketRanges(minimum, maximum, ranges.get());
      return ranges;
    case CUSTOM_HISTOGRAM:
      if (!CustomHistogram::ValidateCustomRanges(d.custom_ranges))
        return nullptr;
      ranges = CustomHistogram::CreateBucketRangesFromCustomRanges(
          d.custom_ranges);
      if (ranges->size() != d.custom_ranges.size() + 1) return nullptr;
      return ranges;
    default:
      return nullptr;
  }
}

HistogramBase* DeserializeClassic(PickleIterator* iter, int type) {
  ClassicDescription d;
  d.type = type;
  if (!ReadClassicDescription(iter, &d)) return nullptr;
  std::unique_ptr<BucketRanges> ranges = RangesFor(d);
  if (!ranges || ranges->checksum() != d.checksum) return nullptr;
  const HistogramSample minimum = ranges->range(1);
  const HistogramSample maximum = ranges->range(ranges->size() - 2);
  const size_t bucket_count = ranges->size() - 1;
  const int32_t flags = d.flags & ~HistogramBase::kIPCSerializationSourceFlag;

  // An existing histogram must agree; the factories would end the process.
  if (HistogramBase* existing = StatisticsRecorder::FindKeptHistogram(d.name)) {
    if (existing->GetHistogramType() != type) return nullptr;
    if (type == CUSTOM_HISTOGRAM) {
      const Histogram* custom = static_cast<const Histogram*>(existing);
      return custom->bucket_ranges()->Equals(ranges.get()) ? existing : nullptr;
    }
    return existing->HasConstructionArguments(d.minimum, d.maximum,
                                              bucket_count)
               ? existing
               : nullptr;
  }
  switch (type) {
    case HISTOGRAM:
      return Histogram::FactoryGet(d.name, minimum, maximum, bucket_count,
                                   flags);
    case LINEAR_HISTOGRAM:
      return LinearHistogram::FactoryGet(d.name, minimum, maximum,
                                         bucket_count, flags);
    case BOOLEAN_HISTOGRAM:
      return BooleanHistogram::FactoryGet(d.name, flags);
    default:
      return CustomHistogram::FactoryGet(d.name, d.custom_ranges, flags);
  }
}

}  // namespace

std::string HistogramTypeToString(HistogramType type) {
  switch (type) {
    case HISTOGRAM:
      return "HISTOGRAM";
    case LINEAR_HISTOGRAM:
      return "LINEAR_HISTOGRAM";
    case BOOLEAN_HISTOGRAM:
      return "BOOLEAN_HISTOGRAM";
    case CUSTOM_HISTOGRAM:
      return "CUSTOM_HISTOGRAM";
    case SPARSE_HISTOGRAM:
      return "SPARSE_HISTOGRAM";
  }
  return "UNKNOWN";
}

HistogramBase::HistogramBase(const std::string& name)
    : histogram_name_(name), flags_(kNoFlags) {}

HistogramBase::~HistogramBase() {}

int HistogramBase::FindCorruption(const HistogramSamples&) const { return 0; }

void HistogramBase::AddTime(const TimeDelta& time) {
  Add(static_cast<Sample>(time.InMilliseconds()));
}

void HistogramBase::WriteHTMLGraph(std::string* output) const {
  output->append("<PRE>");
  WriteAsciiImpl("<br>", output);
  output->append("</PRE>");
}

void HistogramBase::WriteAscii(std::string* output) const {
  WriteAsciiImpl("\n", output);
}

bool HistogramBase::SerializeInfo(Pickle* pickle) const {
  return pickle->WriteInt(GetHistogramType()) && SerializeInfoImpl(pickle);
}

void HistogramBase::WriteJSON(std::string* output) const {
  Count count = 0;
  int64_t sum = 0;
  std::unique_ptr<ListValue> buckets(new ListValue);
  GetCountAndBucketData(&count, &sum, buckets.get());
  std::unique_ptr<DictionaryValue> params(new DictionaryValue);
  GetParameters(params.get());

  DictionaryValue root;
  root.SetString("name", histogram_name());
  root.SetInteger("count", count);
  // The value tree's integers are 32-bit; a larger sum goes as a double.
  if (sum >= INT_MIN && sum <= INT_MAX)
    root.SetInteger("sum", static_cast<int>(sum));
  else
    root.SetDouble("sum", static_cast<double>(sum));
  root.SetInteger("flags", flags());
  root.Set("params", params.release());
  root.Set("buckets", buckets.release());
  root.SetInteger("pid", static_cast<int>(GetCurrentProcId()));
  JSONWriter::Write(&root, output);
}

// static
void HistogramBase::WriteAsciiBar(double share, std::string* output) {
  int dashes = static_cast<int>(share * kBarColumns + 0.5);
  if (dashes < 0) dashes = 0;
  if (dashes > kBarColumns) dashes = kBarColumns;
  output->append(dashes, '-');
  output->append("O");
  output->append(kBarColumns - dashes, ' ');
}

// static
void HistogramBase::WriteAsciiCount(Count count, Count total,
                                    std::string* output) {
  const double percent = total ? 100.0 * count / total : 0.0;
  StringAppendF(output, " (%d = %3.1f%%)", count, percent);
}

HistogramBase* DeserializeHistogramInfo(PickleIterator* iter) {
  int type;
  if (!iter->ReadInt(&type)) return nullptr;
  if (type != SPARSE_HISTOGRAM) return DeserializeClassic(iter, type);
  std::string name;
  int flags;
  if (!iter->ReadString(&name) || !iter->ReadInt(&flags)) return nullptr;
  HistogramBase* existing = StatisticsRecorder::FindKeptHistogram(name);
  if (existing && existing->GetHistogramType() != SPARSE_HISTOGRAM)
    return nullptr;
  return SparseHistogram::FactoryGet(
      name, flags & ~HistogramBase::kIPCSerializationSourceFlag);
}

bool DeserializeHistogramAndAddSamples(PickleIterator* iter) {
  HistogramBase* histogram = DeserializeHistogramInfo(iter);
  if (!histogram) return false;
  if (histogram->flags() & HistogramBase::kIPCSerializationSourceFlag)
    return true;
  return histogram->AddSamplesFromPickle(iter);
}

}  // namespace base
