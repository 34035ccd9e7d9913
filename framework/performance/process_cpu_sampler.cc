#include "framework/performance/process_cpu_sampler.h"

#include <windows.h>

#include <memory>

#include "base/process_metrics.h"
#include "base/win/scoped_handle.h"

namespace {

const DWORD kSampleMs = 1000;
const DWORD kQueryAccess = PROCESS_QUERY_INFORMATION;

struct Sample {
  std::string kind;
  base::win::ScopedHandle process;
  std::unique_ptr<base::ProcessMetrics> metrics;
};

}  // namespace

std::string ProcessKindForType(const std::wstring& type) {
  if (type == L"browser") return "browser";
  if (type == L"main") return "main";
  return "other";
}

ProcessCpuUsageByKind SampleProcessesCpuUsage(
    const std::vector<ProcessEntry>& processes) {
  std::vector<Sample> samples;
  for (const ProcessEntry& entry : processes) {
    Sample sample;
    sample.process.Set(::OpenProcess(kQueryAccess, FALSE, entry.pid));
    if (!sample.process.IsValid()) continue;
    sample.kind = ProcessKindForType(entry.type);
    sample.metrics =
        base::ProcessMetrics::CreateProcessMetrics(sample.process.Get());
    sample.metrics->GetCPUUsage();  // The first sample.
    samples.push_back(std::move(sample));
  }
  ::Sleep(kSampleMs);

  ProcessCpuUsageByKind usage;
  for (Sample& sample : samples) {
    const int percent = static_cast<int>(sample.metrics->GetCPUUsage());
    if (sample.kind == "browser") {
      usage.browser += percent;
    } else if (sample.kind == "main") {
      usage.main += percent;
    } else {
      usage.other += percent;
    }
  }
  return usage;
}
