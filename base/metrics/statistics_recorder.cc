#include "base/metrics/statistics_recorder.h"

#include <list>
#include <map>

#include "base/at_exit.h"
#include "base/lazy_instance.h"
#include "base/lock.h"
#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"
#include "base/stringprintf.h"

namespace base {

namespace {

// Everything lives behind one lock. Histograms and tables are never freed:
// callers keep the pointers the factories hand out.
struct RecorderState {
  LockImpl lock;
  bool active = false;
  std::map<std::string, HistogramBase*> histograms;
  std::map<uint32_t, std::list<const BucketRanges*>> ranges;
};

LazyInstance<RecorderState>::Leaky g_state = LAZY_INSTANCE_INITIALIZER;

void DumpHistogramsToVlog(void*) {
  if (!VLOG_IS_ON(1)) return;
  std::string output;
  StatisticsRecorder::WriteGraph(std::string(), &output);
  VLOG(1) << output;
}

}  // namespace

// static
void StatisticsRecorder::Initialize() {
  RecorderState& state = g_state.Get();
  {
    AutoLock auto_lock(state.lock);
    if (state.active) return;
    state.active = true;
  }
  ExitCallbackStack::RegisterCallback(&DumpHistogramsToVlog, nullptr);
}

// static
bool StatisticsRecorder::IsActive() {
  RecorderState& state = g_state.Get();
  AutoLock auto_lock(state.lock);
  return state.active;
}

// static
HistogramBase* StatisticsRecorder::RegisterOrDeleteDuplicate(
    HistogramBase* histogram) {
  RecorderState& state = g_state.Get();
  AutoLock auto_lock(state.lock);
  auto inserted =
      state.histograms.emplace(histogram->histogram_name(), histogram);
  if (inserted.second) return histogram;
  if (inserted.first->second != histogram) delete histogram;
  return inserted.first->second;
}

// static
const BucketRanges* StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
    const BucketRanges* ranges) {
  RecorderState& state = g_state.Get();
  AutoLock auto_lock(state.lock);
  if (!state.active) return ranges;
  std::list<const BucketRanges*>& same_checksum =
      state.ranges[ranges->checksum()];
  for (const BucketRanges* registered : same_checksum) {
    if (registered == ranges) return ranges;
    if (registered->Equals(ranges)) {
      delete ranges;
      return registered;
    }
  }
  same_checksum.push_back(ranges);
  return ranges;
}

// static
HistogramBase* StatisticsRecorder::FindHistogram(const std::string& name) {
  RecorderState& state = g_state.Get();
  AutoLock auto_lock(state.lock);
  if (!state.active) return nullptr;
  auto it = state.histograms.find(name);
  return it == state.histograms.end() ? nullptr : it->second;
}

// static
HistogramBase* StatisticsRecorder::FindKeptHistogram(const std::string& name) {
  RecorderState& state = g_state.Get();
  AutoLock auto_lock(state.lock);
  auto it = state.histograms.find(name);
  return it == state.histograms.end() ? nullptr : it->second;
}

// static
void StatisticsRecorder::GetHistograms(Histograms* output) {
  RecorderState& state = g_state.Get();
  AutoLock auto_lock(state.lock);
  if (!state.active) return;
  for (const auto& entry : state.histograms) output->push_back(entry.second);
}

// static
void StatisticsRecorder::GetBucketRanges(
    std::vector<const BucketRanges*>* output) {
  RecorderState& state = g_state.Get();
  AutoLock auto_lock(state.lock);
  if (!state.active) return;
  for (const auto& entry : state.ranges)
    output->insert(output->end(), entry.second.begin(), entry.second.end());
}

// static
void StatisticsRecorder::GetSnapshot(const std::string& query,
                                     Histograms* snapshot) {
  RecorderState& state = g_state.Get();
  AutoLock auto_lock(state.lock);
  if (!state.active) return;
  for (const auto& entry : state.histograms) {
    if (entry.first.find(query) != std::string::npos)
      snapshot->push_back(entry.second);
  }
}

// static
void StatisticsRecorder::WriteGraph(const std::string& query,
                                    std::string* output) {
  if (query.empty())
    output->append("Collections of all histograms\n");
  else
    StringAppendF(output, "Collections of histograms for %s\n", query.c_str());
  Histograms snapshot;
  GetSnapshot(query, &snapshot);
  for (HistogramBase* histogram : snapshot) {
    histogram->WriteAscii(output);
    output->append("\n");
  }
}

// static
void StatisticsRecorder::WriteHTMLGraph(const std::string& query,
                                        std::string* output) {
  Histograms snapshot;
  GetSnapshot(query, &snapshot);
  for (HistogramBase* histogram : snapshot) {
    histogram->WriteHTMLGraph(output);
    output->append("<br><hr><br>");
  }
}

}  // namespace base
