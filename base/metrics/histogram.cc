#include "base/metrics/histogram.h"

#include <algorithm>
#include <cmath>

#include "base/logging.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "base/stringprintf.h"
#include "base/values.h"

namespace base {

namespace {

// Differences between the redundant count and the buckets up to this are
// put down to races between Add and a snapshot, not to damage.
const HistogramCount kCommonRaceBasedCountMismatch = 5;

}  // namespace

// --- Histogram -------------------------------------------------------------

template <typename Maker>
HistogramBase* Histogram::FactoryGetWith(const std::string& name,
                                         Sample minimum, Sample maximum,
                                         size_t bucket_count, int32_t flags,
                                         Maker make) {
  HistogramBase* histogram = StatisticsRecorder::FindKeptHistogram(name);
  if (!histogram) {
    Histogram* made = make();
    made->SetFlags(flags);
    histogram = StatisticsRecorder::RegisterOrDeleteDuplicate(made);
  }
  CHECK(histogram->HasConstructionArguments(minimum, maximum, bucket_count));
  return histogram;
}

// static
HistogramBase* Histogram::FactoryGet(const std::string& name, Sample minimum,
                                     Sample maximum, size_t bucket_count,
                                     int32_t flags) {
  InspectConstructionArguments(&minimum, &maximum, &bucket_count);
  return FactoryGetWith(name, minimum, maximum, bucket_count, flags, [&] {
    BucketRanges* ranges = new BucketRanges(bucket_count + 1);
    InitializeBucketRanges(minimum, maximum, ranges);
    return new Histogram(name, minimum, maximum,
                         StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
                             ranges));
  });
}

// static
bool Histogram::InspectConstructionArguments(Sample* minimum, Sample* maximum,
                                             size_t* bucket_count) {
  if (*minimum < 1) *minimum = 1;
  if (*maximum >= kSampleType_MAX) *maximum = kSampleType_MAX - 1;
  if (*bucket_count >= kBucketCount_MAX) *bucket_count = kBucketCount_MAX - 1;
  return *minimum < *maximum && *bucket_count >= 3 &&
         *bucket_count <= static_cast<size_t>(*maximum - *minimum + 2);
}

// static
void Histogram::InitializeBucketRanges(Sample minimum, Sample maximum,
                                       BucketRanges* ranges) {
  const size_t bucket_count = ranges->size() - 1;
  const double log_max = log(static_cast<double>(maximum));
  ranges->set_range(0, 0);
  if (bucket_count >= 2) ranges->set_range(1, minimum);
  Sample current = minimum;
  for (size_t i = 2; i < bucket_count; ++i) {
    const double log_current = log(static_cast<double>(current));
    const double log_next =
        log_current + (log_max - log_current) / (bucket_count - i);
    const Sample next = static_cast<Sample>(floor(exp(log_next) + 0.5));
    current = next > current ? next : current + 1;
    ranges->set_range(i, current);
  }
  ranges->set_range(bucket_count, kSampleType_MAX);
  ranges->ResetChecksum();
}

Histogram::Histogram(const std::string& name, Sample minimum, Sample maximum,
                     const BucketRanges* ranges)
    : HistogramBase(name),
      bucket_ranges_(ranges),
      declared_min_(minimum),
      declared_max_(maximum),
      samples_(ranges) {}

Histogram::~Histogram() {}

HistogramType Histogram::GetHistogramType() const { return HISTOGRAM; }

bool Histogram::HasConstructionArguments(Sample minimum, Sample maximum,
                                         size_t bucket_count) const {
  return minimum == declared_min_ && maximum == declared_max_ &&
         bucket_count == this->bucket_count();
}

void Histogram::Add(Sample value) {
  if (value > kSampleType_MAX - 1) value = kSampleType_MAX - 1;
  if (value < 0) value = 0;
  samples_.Accumulate(value, 1);
}

void Histogram::AddSamples(const HistogramSamples& samples) {
  samples_.Add(samples);
}

bool Histogram::AddSamplesFromPickle(PickleIterator* iter) {
  return samples_.AddFromPickle(iter);
}

int Histogram::FindCorruption(const HistogramSamples& samples) const {
  int inconsistencies = NO_INCONSISTENCIES;
  for (size_t i = 0; i < bucket_count(); ++i) {
    if (ranges(i) >= ranges(i + 1)) {
      inconsistencies |= BUCKET_ORDER_ERROR;
      break;
    }
  }
  if (!bucket_ranges_->HasValidChecksum())
    inconsistencies |= RANGE_CHECKSUM_ERROR;

  const int64_t delta =
      int64_t(samples.redundant_count()) - samples.TotalCount();
  if (delta > 0) {
    static HistogramBase* high = Histogram::FactoryGet(
        "Histogram.InconsistentCountHigh", 1, 1000000, 50,
        kUmaTargetedHistogramFlag);
    high->Add(static_cast<Sample>(std::min<int64_t>(delta, kSampleType_MAX)));
    if (delta > kCommonRaceBasedCountMismatch)
      inconsistencies |= COUNT_HIGH_ERROR;
  } else if (delta < 0) {
    static HistogramBase* low = Histogram::FactoryGet(
        "Histogram.InconsistentCountLow", 1, 1000000, 50,
        kUmaTargetedHistogramFlag);
    low->Add(static_cast<Sample>(std::min<int64_t>(-delta, kSampleType_MAX)));
    if (-delta > kCommonRaceBasedCountMismatch)
      inconsistencies |= COUNT_LOW_ERROR;
  }
  return inconsistencies;
}

std::unique_ptr<HistogramSamples> Histogram::SnapshotSamples() const {
  std::unique_ptr<SampleVector> snapshot(new SampleVector(bucket_ranges_));
  snapshot->Add(samples_);
  return snapshot;
}

Histogram::Sample Histogram::ranges(size_t index) const {
  return bucket_ranges_->range(index);
}

size_t Histogram::bucket_count() const { return bucket_ranges_->size() - 1; }

void Histogram::WriteAsciiImpl(const char* newline,
                               std::string* output) const {
  std::unique_ptr<HistogramSamples> snapshot = SnapshotSamples();
  const SampleVector& counts = static_cast<const SampleVector&>(*snapshot);
  const Count total = counts.TotalCount();
  StringAppendF(output, "Histogram: %s recorded %d samples",
                histogram_name().c_str(), total);
  if (total != 0)
    StringAppendF(output, ", average = %.1f",
                  static_cast<double>(counts.sum()) / total);
  if (flags() & ~kHexRangePrintingFlag)
    StringAppendF(output, " (flags = 0x%x)", flags() & ~kHexRangePrintingFlag);
  output->append(newline);

  double largest = 0;
  size_t width = 0;
  for (size_t i = 0; i < bucket_count(); ++i) {
    largest = std::max(largest, GetBucketSize(counts.GetCountAtIndex(i), i));
    width = std::max(width, GetAsciiBucketRange(i).size());
  }
  int64_t below = 0;
  bool eliding = false;
  for (size_t i = 0; i < bucket_count(); ++i) {
    const Count count = counts.GetCountAtIndex(i);
    if (count == 0 && !PrintEmptyBucket(i)) {
      if (!eliding) {
        output->append("... ");
        output->append(newline);
      }
      eliding = true;
      continue;
    }
    eliding = false;
    std::string range = GetAsciiBucketRange(i);
    range.resize(width + 2, ' ');
    output->append(range);
    WriteAsciiBar(largest > 0 ? GetBucketSize(count, i) / largest : 0.0,
                  output);
    WriteAsciiCount(count, total, output);
    below += count;
    StringAppendF(output, " {%3.1f%%}",
                  total ? 100.0 * below / total : 0.0);
    output->append(newline);
  }
}

bool Histogram::SerializeInfoImpl(Pickle* pickle) const {
  return pickle->WriteString(histogram_name()) && pickle->WriteInt(flags()) &&
         pickle->WriteInt(declared_min_) && pickle->WriteInt(declared_max_) &&
         pickle->WriteUInt64(bucket_count()) &&
         pickle->WriteUInt32(bucket_ranges_->checksum());
}

void Histogram::GetParameters(DictionaryValue* params) const {
  params->SetString("type", HistogramTypeToString(GetHistogramType()));
  params->SetInteger("min", declared_min_);
  params->SetInteger("max", declared_max_);
  params->SetInteger("bucket_count", static_cast<int>(bucket_count()));
}

void Histogram::GetCountAndBucketData(Count* count, int64_t* sum,
                                      ListValue* buckets) const {
  std::unique_ptr<HistogramSamples> snapshot = SnapshotSamples();
  const SampleVector& counts = static_cast<const SampleVector&>(*snapshot);
  *count = counts.TotalCount();
  *sum = counts.sum();
  for (size_t i = 0; i < bucket_count(); ++i) {
    const Count bucket = counts.GetCountAtIndex(i);
    if (bucket == 0) continue;
    DictionaryValue* entry = new DictionaryValue;
    entry->SetInteger("low", ranges(i));
    if (i != bucket_count() - 1) entry->SetInteger("high", ranges(i + 1));
    entry->SetInteger("count", bucket);
    buckets->Append(entry);
  }
}

bool Histogram::PrintEmptyBucket(size_t) const { return false; }

double Histogram::GetBucketSize(Count current, size_t) const {
  return current;
}

std::string Histogram::GetAsciiBucketRange(size_t index) const {
  return StringPrintf((flags() & kHexRangePrintingFlag) ? "%#x" : "%d",
                      ranges(index));
}

// --- LinearHistogram -------------------------------------------------------

// static
HistogramBase* LinearHistogram::FactoryGet(const std::string& name,
                                           Sample minimum, Sample maximum,
                                           size_t bucket_count,
                                           int32_t flags) {
  return FactoryGetWithRangeDescription(name, minimum, maximum, bucket_count,
                                        flags, nullptr);
}

// static
HistogramBase* LinearHistogram::FactoryGetWithRangeDescription(
    const std::string& name, Sample minimum, Sample maximum,
    size_t bucket_count, int32_t flags, const DescriptionPair descriptions[]) {
  InspectConstructionArguments(&minimum, &maximum, &bucket_count);
  return FactoryGetWith(name, minimum, maximum, bucket_count, flags, [&] {
    BucketRanges* ranges = new BucketRanges(bucket_count + 1);
    InitializeBucketRanges(minimum, maximum, ranges);
    LinearHistogram* made = new LinearHistogram(
        name, minimum, maximum,
        StatisticsRecorder::RegisterOrDeleteDuplicateRanges(ranges));
    for (int i = 0; descriptions && descriptions[i].description; ++i)
      made->bucket_description_[descriptions[i].sample] =
          descriptions[i].description;
    return made;
  });
}

// static
void LinearHistogram::InitializeBucketRanges(Sample minimum, Sample maximum,
                                             BucketRanges* ranges) {
  const size_t bucket_count = ranges->size() - 1;
  ranges->set_range(0, 0);
  for (size_t i = 1; i < bucket_count; ++i) {
    const double value =
        (double(minimum) * (bucket_count - 1 - i) + double(maximum) * (i - 1)) /
        (bucket_count - 2);
    ranges->set_range(i, static_cast<Sample>(value + 0.5));
  }
  ranges->set_range(bucket_count, kSampleType_MAX);
  ranges->ResetChecksum();
}

LinearHistogram::LinearHistogram(const std::string& name, Sample minimum,
                                 Sample maximum, const BucketRanges* ranges)
    : Histogram(name, minimum, maximum, ranges) {}

HistogramType LinearHistogram::GetHistogramType() const {
  return LINEAR_HISTOGRAM;
}

bool LinearHistogram::PrintEmptyBucket(size_t index) const {
  return bucket_description_.count(ranges(index)) != 0;
}

std::string LinearHistogram::GetAsciiBucketRange(size_t index) const {
  auto it = bucket_description_.find(ranges(index));
  return it == bucket_description_.end() ? Histogram::GetAsciiBucketRange(index)
                                         : it->second;
}

// --- BooleanHistogram ------------------------------------------------------

// static
HistogramBase* BooleanHistogram::FactoryGet(const std::string& name,
                                            int32_t flags) {
  return FactoryGetWith(name, 1, 2, 3, flags, [&] {
    BucketRanges* ranges = new BucketRanges(4);
    LinearHistogram::InitializeBucketRanges(1, 2, ranges);
    return new BooleanHistogram(
        name, StatisticsRecorder::RegisterOrDeleteDuplicateRanges(ranges));
  });
}

BooleanHistogram::BooleanHistogram(const std::string& name,
                                   const BucketRanges* ranges)
    : LinearHistogram(name, 1, 2, ranges) {}

HistogramType BooleanHistogram::GetHistogramType() const {
  return BOOLEAN_HISTOGRAM;
}

// --- CustomHistogram -------------------------------------------------------

// static
HistogramBase* CustomHistogram::FactoryGet(
    const std::string& name, const std::vector<Sample>& custom_ranges,
    int32_t flags) {
  CHECK(ValidateCustomRanges(custom_ranges));
  std::unique_ptr<BucketRanges> table =
      CreateBucketRangesFromCustomRanges(custom_ranges);
  const size_t bucket_count = table->size() - 1;
  const Sample minimum = table->range(1);
  const Sample maximum = table->range(bucket_count - 1);
  return FactoryGetWith(name, minimum, maximum, bucket_count, flags, [&] {
    return new CustomHistogram(
        name,
        StatisticsRecorder::RegisterOrDeleteDuplicateRanges(table.release()));
  });
}

// static
bool CustomHistogram::ValidateCustomRanges(
    const std::vector<Sample>& custom_ranges) {
  bool has_valid_range = false;
  for (Sample range : custom_ranges) {
    if (range < 0 || range > kSampleType_MAX - 1) return false;
    if (range != 0) has_valid_range = true;
  }
  return has_valid_range;
}

// static
std::unique_ptr<BucketRanges>
CustomHistogram::CreateBucketRangesFromCustomRanges(
    const std::vector<Sample>& custom_ranges) {
  std::vector<Sample> sorted(custom_ranges);
  sorted.push_back(0);
  sorted.push_back(kSampleType_MAX);
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  std::unique_ptr<BucketRanges> ranges(new BucketRanges(sorted.size()));
  for (size_t i = 0; i < sorted.size(); ++i) ranges->set_range(i, sorted[i]);
  ranges->ResetChecksum();
  return ranges;
}

CustomHistogram::CustomHistogram(const std::string& name,
                                 const BucketRanges* ranges)
    : Histogram(name, ranges->range(1), ranges->range(ranges->size() - 2),
                ranges) {}

HistogramType CustomHistogram::GetHistogramType() const {
  return CUSTOM_HISTOGRAM;
}

bool CustomHistogram::SerializeInfoImpl(Pickle* pickle) const {
  if (!Histogram::SerializeInfoImpl(pickle)) return false;
  for (size_t i = 0; i < bucket_ranges()->size(); ++i)
    if (!pickle->WriteInt(bucket_ranges()->range(i))) return false;
  return true;
}

}  // namespace base
