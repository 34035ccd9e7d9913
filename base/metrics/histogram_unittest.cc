#include "base/metrics/histogram.h"

#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/metrics/sample_map.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "base/platform_file.h"
#include "base/process_handle.h"
#include "base/stringprintf.h"
#include "base/test_data/strings/fixture_lines.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

Histogram* AsClassic(HistogramBase* histogram) {
  return static_cast<Histogram*>(histogram);
}

TEST(HistogramTest, BucketRangesMatchIndependentComputation) {
  const auto rows = test::ReadFixture(L"bucket_ranges.txt", L"histogram");
  ASSERT_EQ(8u, rows.size());
  int made = 0;
  for (const auto& row : rows) {
    const std::string name = "Test.Ranges." + std::to_string(made++);
    SCOPED_TRACE(name + " " + row[0] + " " + row[1] + " " + row[2] + " " +
                 row[3]);
    const int minimum = std::stoi(row[1]);
    const int maximum = std::stoi(row[2]);
    const size_t buckets = std::stoul(row[3]);
    HistogramBase* histogram =
        row[0] == "exponential"
            ? Histogram::FactoryGet(name, minimum, maximum, buckets, 0)
            : LinearHistogram::FactoryGet(name, minimum, maximum, buckets, 0);
    const BucketRanges* ranges = AsClassic(histogram)->bucket_ranges();
    ASSERT_EQ(buckets + 1, ranges->size());
    for (size_t i = 0; i < ranges->size(); ++i)
      EXPECT_EQ(std::stoll(row[5 + i]), ranges->range(i)) << "range " << i;
    EXPECT_EQ(static_cast<uint32_t>(test::ParseHex64(row[4])),
              ranges->checksum());
  }
}

TEST(HistogramTest, FactoryClampsAndReusesByName) {
  HistogramBase* clamped =
      Histogram::FactoryGet("Test.Clamped", 0, 0x7FFFFFFF, 20000, 0);
  EXPECT_EQ(16383u, AsClassic(clamped)->bucket_count());
  EXPECT_EQ(1, AsClassic(clamped)->declared_min());
  EXPECT_EQ(0x7FFFFFFE, AsClassic(clamped)->declared_max());
  EXPECT_EQ(clamped,
            Histogram::FactoryGet("Test.Clamped", 1, 0x7FFFFFFE, 16383, 0));

  HistogramBase* boolean = BooleanHistogram::FactoryGet("Test.Bool", 0);
  EXPECT_EQ(BOOLEAN_HISTOGRAM, boolean->GetHistogramType());
  EXPECT_EQ(3u, AsClassic(boolean)->bucket_count());

  HistogramBase* custom =
      CustomHistogram::FactoryGet("Test.Custom", {40, 10, 10, 20}, 0);
  const BucketRanges* ranges = AsClassic(custom)->bucket_ranges();
  ASSERT_EQ(5u, ranges->size());  // 0 10 20 40 MAX
  EXPECT_EQ(40, ranges->range(3));
  custom->Add(15);
  custom->Add(39);
  custom->Add(-5);  // clamped to 0
  std::unique_ptr<HistogramSamples> snapshot = custom->SnapshotSamples();
  EXPECT_EQ(1, snapshot->GetCount(10));
  EXPECT_EQ(1, snapshot->GetCount(39));
  EXPECT_EQ(1, snapshot->GetCount(0));
}

TEST(HistogramTest, SparseCountsAndSumsNearTheLimits) {
  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.Sparse", 0);
  sparse->Add(5);
  sparse->Add(5);
  sparse->Add(7);
  std::unique_ptr<HistogramSamples> small = sparse->SnapshotSamples();
  EXPECT_EQ(2, small->GetCount(5));
  EXPECT_EQ(1, small->GetCount(7));
  EXPECT_EQ(3, small->TotalCount());
  EXPECT_EQ(17, small->sum());

  HistogramBase* big = SparseHistogram::FactoryGet("Test.SparseLimits", 0);
  for (int i = 0; i < 3; ++i) big->Add(0x7FFFFFFF);
  big->Add(INT_MIN);
  std::unique_ptr<HistogramSamples> samples = big->SnapshotSamples();
  EXPECT_EQ(3 * int64_t(0x7FFFFFFF) + INT_MIN, samples->sum());
  auto it = samples->Iterator();
  it->Next();  // INT_MIN sorts first
  ASSERT_FALSE(it->Done());
  HistogramSample min;
  int64_t max;
  HistogramCount count;
  it->Get(&min, &max, &count);
  EXPECT_EQ(0x7FFFFFFF, min);
  EXPECT_EQ(int64_t(0x80000000), max);
  EXPECT_EQ(3, count);

  // The largest sample's bucket survives a copy (which checks each entry
  // spans one value) and a pickle round trip.
  Pickle pickle;
  ASSERT_TRUE(samples->Serialize(&pickle));
  PickleIterator iter(pickle);
  ASSERT_TRUE(big->AddSamplesFromPickle(&iter));
  std::unique_ptr<HistogramSamples> doubled = big->SnapshotSamples();
  EXPECT_EQ(6, doubled->GetCount(0x7FFFFFFF));
  EXPECT_EQ(2, doubled->GetCount(INT_MIN));
  EXPECT_EQ(2 * samples->sum(), doubled->sum());

  // The classic sum is 64-bit as well.
  HistogramBase* classic =
      Histogram::FactoryGet("Test.ClassicLimits", 1, 1000, 10, 0);
  classic->Add(0x7FFFFFFF);  // clamped to 0x7FFFFFFE
  classic->Add(0x7FFFFFFF);
  EXPECT_EQ(2 * int64_t(0x7FFFFFFE), classic->SnapshotSamples()->sum());
}

TEST(HistogramTest, UnknownPlatformFileErrorsShareOneHistogram) {
  EXPECT_EQ(PLATFORM_FILE_ERROR_FAILED, LastErrorToPlatformFileError(6));
  EXPECT_EQ(PLATFORM_FILE_ERROR_FAILED, LastErrorToPlatformFileError(183));
  EXPECT_EQ(PLATFORM_FILE_ERROR_FAILED, LastErrorToPlatformFileError(6));
  EXPECT_EQ(PLATFORM_FILE_ERROR_NOT_FOUND, LastErrorToPlatformFileError(2));
  HistogramBase* histogram =
      SparseHistogram::FactoryGet("PlatformFile.UnknownErrors.Windows", 0);
  EXPECT_EQ(HistogramBase::kUmaTargetedHistogramFlag, histogram->flags());
  std::unique_ptr<HistogramSamples> samples = histogram->SnapshotSamples();
  EXPECT_EQ(2, samples->GetCount(6));
  EXPECT_EQ(1, samples->GetCount(183));
  EXPECT_EQ(3, samples->TotalCount());
}

std::string Bar(int dashes) {
  return std::string(dashes, '-') + "O" + std::string(72 - dashes, ' ');
}

TEST(HistogramTest, AsciiGraph) {
  // Ranges 0 1 2 3 5 9 16 29 54 100 MAX.
  HistogramBase* histogram =
      Histogram::FactoryGet("Test.Ascii", 1, 100, 10, 0x8001 & ~0x8000);
  histogram->Add(1);
  histogram->Add(1);
  histogram->Add(4);
  histogram->Add(60);
  std::string text;
  histogram->WriteAscii(&text);
  const std::string expected =
      "Histogram: Test.Ascii recorded 4 samples, average = 16.5 "
      "(flags = 0x1)\n"
      "... \n"
      "1    " + Bar(72) + " (2 = 50.0%) {50.0%}\n"
      "... \n"
      "3    " + Bar(36) + " (1 = 25.0%) {75.0%}\n"
      "... \n"
      "54   " + Bar(36) + " (1 = 25.0%) {100.0%}\n"
      "... \n";
  EXPECT_EQ(expected, text);

  std::string html;
  histogram->WriteHTMLGraph(&html);
  EXPECT_EQ(0u, html.find("<PRE>Histogram: Test.Ascii recorded 4 samples"));
  EXPECT_NE(std::string::npos, html.find("{100.0%}<br>... <br></PRE>"));

  // An empty histogram draws no bar and divides nothing by zero.
  const LinearHistogram::DescriptionPair labels[] = {{1, "one"},
                                                     {0, nullptr}};
  HistogramBase* empty = LinearHistogram::FactoryGetWithRangeDescription(
      "Test.Empty", 1, 3, 4, 0, labels);
  std::string empty_text;
  empty->WriteAscii(&empty_text);
  EXPECT_EQ("Histogram: Test.Empty recorded 0 samples\n"
            "... \n"
            "one  " + Bar(0) + " (0 = 0.0%) {0.0%}\n"
            "... \n",
            empty_text);

  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.SparseAscii", 0);
  sparse->Add(-3);
  sparse->Add(250);
  sparse->Add(250);
  std::string sparse_text;
  sparse->WriteAscii(&sparse_text);
  EXPECT_EQ("Histogram: Test.SparseAscii recorded 3 samples\n"
            "-3   " + Bar(36) + " (1 = 33.3%)\n"
            "250  " + Bar(72) + " (2 = 66.7%)\n",
            sparse_text);
}

TEST(HistogramTest, Json) {
  HistogramBase* histogram = Histogram::FactoryGet("Test.Json", 1, 100, 10, 0);
  histogram->Add(1);
  histogram->Add(1);
  histogram->Add(70);
  histogram->Add(500);  // the last bucket has no "high"
  std::string json;
  histogram->WriteJSON(&json);
  EXPECT_EQ(StringPrintf(
                "{\"buckets\":[{\"count\":2,\"high\":2,\"low\":1},"
                "{\"count\":1,\"high\":100,\"low\":54},"
                "{\"count\":1,\"low\":100}],\"count\":4,\"flags\":0,"
                "\"name\":\"Test.Json\",\"params\":{\"bucket_count\":10,"
                "\"max\":100,\"min\":1,\"type\":\"HISTOGRAM\"},\"pid\":%d,"
                "\"sum\":572}",
                static_cast<int>(GetCurrentProcId())),
            json);

  // A sum past 32 bits is written as a number that keeps its value.
  HistogramBase* big = SparseHistogram::FactoryGet("Test.JsonBig", 0);
  big->Add(0x7FFFFFFF);
  big->Add(0x7FFFFFFF);
  std::string big_json;
  big->WriteJSON(&big_json);
  std::unique_ptr<Value> root(JSONReader::Read(big_json));
  ASSERT_TRUE(root);
  DictionaryValue* dict = nullptr;
  ASSERT_TRUE(root->GetAsDictionary(&dict));
  double sum = 0;
  ASSERT_TRUE(dict->GetDouble("sum", &sum));
  EXPECT_EQ(4294967294.0, sum);
  int count = 0;
  ASSERT_TRUE(dict->GetInteger("count", &count));
  EXPECT_EQ(2, count);
}

// The description and samples of |histogram|, as another process sends them.
Pickle Describe(const HistogramBase* histogram) {
  Pickle pickle;
  EXPECT_TRUE(histogram->SerializeInfo(&pickle));
  EXPECT_TRUE(histogram->SnapshotSamples()->Serialize(&pickle));
  return pickle;
}

TEST(HistogramTest, PickleRoundTrip) {
  const std::vector<HistogramBase*> histograms = {
      Histogram::FactoryGet("Test.Pickled", 1, 1000, 20, 0),
      LinearHistogram::FactoryGet("Test.PickledLinear", 1, 50, 12, 0),
      BooleanHistogram::FactoryGet("Test.PickledBool", 0),
      CustomHistogram::FactoryGet("Test.PickledCustom", {3, 30, 300}, 0),
      SparseHistogram::FactoryGet("Test.PickledSparse", 0)};
  for (HistogramBase* histogram : histograms) {
    SCOPED_TRACE(histogram->histogram_name());
    histogram->Add(1);
    histogram->Add(2);
    histogram->Add(40);
    Pickle pickle = Describe(histogram);
    PickleIterator iter(pickle);
    ASSERT_TRUE(DeserializeHistogramAndAddSamples(&iter));
    std::unique_ptr<HistogramSamples> samples = histogram->SnapshotSamples();
    EXPECT_EQ(6, samples->TotalCount());
    EXPECT_EQ(86, samples->sum());
  }

  // A histogram that sends its own samples out takes none in.
  HistogramBase* source = Histogram::FactoryGet("Test.Source", 1, 100, 10, 0);
  source->Add(5);
  Pickle pickle = Describe(source);
  source->SetFlags(HistogramBase::kIPCSerializationSourceFlag);
  PickleIterator iter(pickle);
  ASSERT_TRUE(DeserializeHistogramAndAddSamples(&iter));
  EXPECT_EQ(1, source->SnapshotSamples()->TotalCount());
}

// Samples cut short in transit: the last entry loses its count, its
// maximum and count, or half its count.
TEST(HistogramTest, SamplesCutShortAddNothing) {
  SampleMap sent;
  sent.Accumulate(5, 2);
  sent.Accumulate(7, 1);
  Pickle pickle;
  ASSERT_TRUE(sent.Serialize(&pickle));
  const std::string whole(static_cast<const char*>(pickle.data()),
                          pickle.size());
  for (size_t cut : {4u, 8u, 2u}) {
    SCOPED_TRACE(cut);
    std::string bytes = whole.substr(0, whole.size() - cut);
    const uint32_t payload = static_cast<uint32_t>(bytes.size() - 4);
    memcpy(&bytes[0], &payload, sizeof(payload));
    Pickle short_pickle(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_EQ(4u, short_pickle.header_size());

    SampleMap received;
    received.Accumulate(5, 1);
    PickleIterator iter(short_pickle);
    EXPECT_FALSE(received.AddFromPickle(&iter));
    EXPECT_EQ(1, received.GetCount(5));
    EXPECT_EQ(0, received.GetCount(7));
    EXPECT_EQ(5, received.sum());
    EXPECT_EQ(1, received.redundant_count());
  }

  SampleMap received;
  PickleIterator iter(pickle);
  ASSERT_TRUE(received.AddFromPickle(&iter));
  EXPECT_EQ(2, received.GetCount(5));
  EXPECT_EQ(1, received.GetCount(7));
  EXPECT_EQ(17, received.sum());
  EXPECT_EQ(3, received.redundant_count());
}

// A classic description written field by field.
Pickle ClassicInfo(int type, const std::string& name, int minimum, int maximum,
                   uint64_t buckets, uint32_t checksum) {
  Pickle pickle;
  pickle.WriteInt(type);
  pickle.WriteString(name);
  pickle.WriteInt(0);
  pickle.WriteInt(minimum);
  pickle.WriteInt(maximum);
  pickle.WriteUInt64(buckets);
  pickle.WriteUInt32(checksum);
  return pickle;
}

TEST(HistogramTest, GarbagePicklesAreRefused) {
  HistogramBase* existing = Histogram::FactoryGet("Test.Existing", 1, 100, 10, 0);
  const uint32_t checksum = AsClassic(existing)->bucket_ranges()->checksum();
  HistogramBase* sparse = SparseHistogram::FactoryGet("Test.ExistingSparse", 0);
  BucketRanges other_ranges(11);
  Histogram::InitializeBucketRanges(1, 200, &other_ranges);
  const uint32_t other_checksum = other_ranges.checksum();

  struct Case {
    const char* name;
    Pickle pickle;
  };
  Pickle custom_negative = ClassicInfo(CUSTOM_HISTOGRAM, "Test.G.Custom", 1, 5,
                                       2, 0);
  custom_negative.WriteInt(0);
  custom_negative.WriteInt(-5);
  custom_negative.WriteInt(0x7FFFFFFF);
  Pickle sparse_as_classic = ClassicInfo(HISTOGRAM, "Test.ExistingSparse", 1,
                                         100, 10, checksum);
  Pickle classic_as_sparse;
  classic_as_sparse.WriteInt(SPARSE_HISTOGRAM);
  classic_as_sparse.WriteString("Test.Existing");
  classic_as_sparse.WriteInt(0);
  Pickle short_info;  // ends before the bucket count
  short_info.WriteInt(HISTOGRAM);
  short_info.WriteString("Test.G.Short");
  short_info.WriteInt(0);
  short_info.WriteInt(1);
  short_info.WriteInt(100);
  Pickle unknown_type;
  unknown_type.WriteInt(9);
  unknown_type.WriteString("Test.G.Unknown");
  Case cases[] = {
      {"empty", Pickle()},
      {"unknown type", unknown_type},
      {"short", short_info},
      {"huge bucket count",
       ClassicInfo(HISTOGRAM, "Test.G.Huge", 1, 100, 1ull << 40, checksum)},
      {"minimum above maximum",
       ClassicInfo(HISTOGRAM, "Test.G.Inverted", 100, 1, 10, checksum)},
      {"too many buckets",
       ClassicInfo(HISTOGRAM, "Test.G.Crowded", 1, 5, 10, checksum)},
      {"unclamped minimum",
       ClassicInfo(HISTOGRAM, "Test.G.Zero", 0, 100, 10, checksum)},
      {"wrong checksum",
       ClassicInfo(HISTOGRAM, "Test.G.Checksum", 1, 100, 10, checksum ^ 1)},
      {"existing name, other arguments",
       ClassicInfo(HISTOGRAM, "Test.Existing", 1, 200, 10, other_checksum)},
      {"existing sparse name as classic", sparse_as_classic},
      {"existing classic name as sparse", classic_as_sparse},
      {"custom with a negative range", custom_negative},
      {"boolean with other arguments",
       ClassicInfo(BOOLEAN_HISTOGRAM, "Test.G.Bool", 1, 100, 10, checksum)},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    PickleIterator iter(c.pickle);
    EXPECT_EQ(nullptr, DeserializeHistogramInfo(&iter));
  }
  EXPECT_EQ(nullptr, StatisticsRecorder::FindKeptHistogram("Test.G.Huge"));
  EXPECT_EQ(nullptr, StatisticsRecorder::FindKeptHistogram("Test.G.Checksum"));
  EXPECT_EQ(SPARSE_HISTOGRAM, sparse->GetHistogramType());

  // Samples that fit no bucket add nothing.
  Pickle bad_samples;
  existing->SerializeInfo(&bad_samples);
  bad_samples.WriteInt64(7);
  bad_samples.WriteInt(1);
  bad_samples.WriteInt(4);  // no bucket spans 4 to 6
  bad_samples.WriteInt(6);
  bad_samples.WriteInt(1);
  PickleIterator iter(bad_samples);
  EXPECT_FALSE(DeserializeHistogramAndAddSamples(&iter));
  EXPECT_EQ(0, existing->SnapshotSamples()->TotalCount());
  EXPECT_EQ(0, existing->SnapshotSamples()->sum());
}

// Runs last: it starts the recorder for the rest of the process.
TEST(HistogramTest, RecorderAdoptsKeptHistogramsWhenStarted) {
  ASSERT_FALSE(StatisticsRecorder::IsActive());
  HistogramBase* kept = SparseHistogram::FactoryGet("Recorder.Kept", 0);
  EXPECT_EQ(nullptr, StatisticsRecorder::FindHistogram("Recorder.Kept"));
  StatisticsRecorder::Histograms none;
  StatisticsRecorder::GetHistograms(&none);
  EXPECT_TRUE(none.empty());

  StatisticsRecorder::Initialize();
  EXPECT_TRUE(StatisticsRecorder::IsActive());
  EXPECT_EQ(kept, StatisticsRecorder::FindHistogram("Recorder.Kept"));
  HistogramBase* a = Histogram::FactoryGet("Recorder.A", 1, 100, 10, 0);
  HistogramBase* b = Histogram::FactoryGet("Recorder.B", 1, 100, 10, 0);
  EXPECT_EQ(AsClassic(a)->bucket_ranges(), AsClassic(b)->bucket_ranges());
  a->Add(3);

  StatisticsRecorder::Histograms snapshot;
  StatisticsRecorder::GetSnapshot("Recorder.", &snapshot);
  ASSERT_EQ(3u, snapshot.size());
  EXPECT_EQ(a, snapshot[0]);

  std::string graph;
  StatisticsRecorder::WriteGraph("Recorder.A", &graph);
  EXPECT_EQ(0u, graph.find("Collections of histograms for Recorder.A\n"
                           "Histogram: Recorder.A recorded 1 samples"));
  std::string all;
  StatisticsRecorder::WriteGraph("", &all);
  EXPECT_EQ(0u, all.find("Collections of all histograms\n"));
  std::string html;
  StatisticsRecorder::WriteHTMLGraph("Recorder.", &html);
  EXPECT_NE(std::string::npos, html.find("</PRE><br><hr><br><PRE>"));
}

}  // namespace
}  // namespace base
