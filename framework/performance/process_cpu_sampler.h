// Samples the CPU use of a list of client processes over one second and adds
// it up by kind of process. Nothing in the crash reporter calls this.
#ifndef FRAMEWORK_PERFORMANCE_PROCESS_CPU_SAMPLER_H_
#define FRAMEWORK_PERFORMANCE_PROCESS_CPU_SAMPLER_H_

#include <string>
#include <vector>

#include "framework/performance/process_info_utility.h"

// Percent of the whole machine, per kind.
struct ProcessCpuUsageByKind {
  int browser = 0;
  int main = 0;
  int other = 0;
};

// "browser" and "main" for those roles, "other" for every other role.
std::string ProcessKindForType(const std::wstring& type);

// Blocks for one second. Processes that cannot be opened count nothing.
ProcessCpuUsageByKind SampleProcessesCpuUsage(
    const std::vector<ProcessEntry>& processes);

#endif  // FRAMEWORK_PERFORMANCE_PROCESS_CPU_SAMPLER_H_
