// Counters of one process: CPU usage between samples and memory figures.
#ifndef BASE_PROCESS_METRICS_H_
#define BASE_PROCESS_METRICS_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "base/process_handle.h"

namespace base {

struct WorkingSetKBytes {
  size_t priv = 0;
  size_t shareable = 0;
  size_t shared = 0;
};

struct CommittedKBytes {
  size_t priv = 0;
  size_t mapped = 0;
  size_t image = 0;
};

struct FreeMBytes {
  size_t total = 0;
  size_t largest = 0;
  void* largest_ptr = nullptr;
};

typedef IO_COUNTERS IoCounters;

class ProcessMetrics {
 public:
  // |process| is not owned; keep it open while the object lives.
  explicit ProcessMetrics(ProcessHandle process);
  ~ProcessMetrics();
  ProcessMetrics(const ProcessMetrics&) = delete;
  ProcessMetrics& operator=(const ProcessMetrics&) = delete;

  static std::unique_ptr<ProcessMetrics> CreateProcessMetrics(
      ProcessHandle process);

  // Percent of the whole machine used by the process since the previous
  // call, rounded to a whole number; 0 on the first call, on a call at the
  // same wall time and on failure.
  double GetCPUUsage();

  // Bytes; 0 on failure.
  size_t GetWorkingSetSize() const;
  size_t GetPeakWorkingSetSize() const;
  size_t GetPagefileUsage() const;
  size_t GetPeakPagefileUsage() const;

  bool GetMemoryBytes(size_t* private_bytes, size_t* shared_bytes);
  bool GetWorkingSetKBytes(WorkingSetKBytes* ws_usage) const;
  void GetCommittedKBytes(CommittedKBytes* usage) const;
  bool CalculateFreeMemory(FreeMBytes* free) const;
  bool GetIOCounters(IoCounters* io_counters) const;

 private:
  ProcessHandle process_;
  int32_t processor_count_;
  int64_t last_system_time_ = 0;
  int64_t last_cpu_ = 0;
};

// The system's commit charge in KiB; 0 when it cannot be read.
size_t GetSystemCommitCharge();

}  // namespace base

#endif  // BASE_PROCESS_METRICS_H_
