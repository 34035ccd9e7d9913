#include "base/process_metrics.h"

#include <psapi.h>

#include <vector>

#include "base/sys_info.h"

namespace base {

namespace {

const size_t kPageSize = 4096;
const size_t kInitialWorkingSetEntries = 4096;
const int kMaxWorkingSetTries = 5;

// Working-set entry bits.
const ULONG_PTR kSharedBit = 0x100;
const int kShareCountShift = 5;
const ULONG_PTR kShareCountMask = 0x7;

int64_t FileTimeToInt64(const FILETIME& time) {
  return (static_cast<int64_t>(time.dwHighDateTime) << 32) |
         time.dwLowDateTime;
}

bool ReadMemoryCounters(ProcessHandle process,
                        PROCESS_MEMORY_COUNTERS* counters) {
  return ::GetProcessMemoryInfo(process, counters, sizeof(*counters)) != FALSE;
}

// Reads the working-set list, growing the buffer while the system says it is
// too short. Returns an empty list on failure.
std::vector<PSAPI_WORKING_SET_BLOCK> ReadWorkingSet(ProcessHandle process) {
  size_t entries = kInitialWorkingSetEntries;
  for (int attempt = 0; attempt < kMaxWorkingSetTries; ++attempt) {
    const size_t bytes = sizeof(PSAPI_WORKING_SET_INFORMATION) +
                         entries * sizeof(PSAPI_WORKING_SET_BLOCK);
    std::vector<ULONG_PTR> buffer(bytes / sizeof(ULONG_PTR) + 1);
    auto* info = reinterpret_cast<PSAPI_WORKING_SET_INFORMATION*>(buffer.data());
    if (::QueryWorkingSet(process, info, static_cast<DWORD>(bytes))) {
      const size_t count = info->NumberOfEntries;
      return std::vector<PSAPI_WORKING_SET_BLOCK>(
          info->WorkingSetInfo, info->WorkingSetInfo + count);
    }
    if (::GetLastError() != ERROR_BAD_LENGTH) break;
    entries = static_cast<size_t>(info->NumberOfEntries * 1.25);
  }
  return {};
}

bool IsPageShareable(const PSAPI_WORKING_SET_BLOCK& block) {
  return (block.Flags & kSharedBit) != 0;
}

bool IsPageShared(const PSAPI_WORKING_SET_BLOCK& block) {
  return IsPageShareable(block) &&
         ((block.Flags >> kShareCountShift) & kShareCountMask) > 1;
}

// The highest address a user-mode region can start at.
uintptr_t MaximumApplicationAddress() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress);
}

typedef BOOL(WINAPI* GetPerformanceInfoFunction)(PPERFORMANCE_INFORMATION,
                                                 DWORD);

// Takes psapi's entry point when that library is loaded, else the one that
// kernel32 exports (psapi forwards to it on Windows 7 and later). Neither
// library is loaded for this.
GetPerformanceInfoFunction LookUpGetPerformanceInfo() {
  if (HMODULE psapi = ::GetModuleHandleW(L"psapi.dll")) {
    if (FARPROC function = ::GetProcAddress(psapi, "GetPerformanceInfo"))
      return reinterpret_cast<GetPerformanceInfoFunction>(
          reinterpret_cast<void*>(function));
  }
  if (HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll")) {
    if (FARPROC function = ::GetProcAddress(kernel32, "K32GetPerformanceInfo"))
      return reinterpret_cast<GetPerformanceInfoFunction>(
          reinterpret_cast<void*>(function));
  }
  return nullptr;
}

}  // namespace

ProcessMetrics::ProcessMetrics(ProcessHandle process)
    : process_(process), processor_count_(SysInfo::NumberOfProcessors()) {}

ProcessMetrics::~ProcessMetrics() = default;

std::unique_ptr<ProcessMetrics> ProcessMetrics::CreateProcessMetrics(
    ProcessHandle process) {
  return std::make_unique<ProcessMetrics>(process);
}

double ProcessMetrics::GetCPUUsage() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  FILETIME creation_time, exit_time, kernel_time, user_time;
  if (!::GetProcessTimes(process_, &creation_time, &exit_time, &kernel_time,
                         &user_time)) {
    return 0;
  }
  const int64_t system_time =
      (FileTimeToInt64(kernel_time) + FileTimeToInt64(user_time)) /
      processor_count_;
  const int64_t time = FileTimeToInt64(now);

  if (last_system_time_ == 0 || last_cpu_ == 0) {
    last_system_time_ = time;
    last_cpu_ = system_time;
    return 0;
  }
  const int64_t time_delta = time - last_system_time_;
  if (time_delta == 0) return 0;

  const int64_t system_time_delta = system_time - last_cpu_;
  const int cpu = static_cast<int>(
      (system_time_delta * 100 + time_delta / 2) / time_delta);
  last_system_time_ = time;
  last_cpu_ = system_time;
  return cpu;
}

size_t ProcessMetrics::GetWorkingSetSize() const {
  PROCESS_MEMORY_COUNTERS counters;
  return ReadMemoryCounters(process_, &counters) ? counters.WorkingSetSize : 0;
}

size_t ProcessMetrics::GetPeakWorkingSetSize() const {
  PROCESS_MEMORY_COUNTERS counters;
  return ReadMemoryCounters(process_, &counters) ? counters.PeakWorkingSetSize
                                                 : 0;
}

size_t ProcessMetrics::GetPagefileUsage() const {
  PROCESS_MEMORY_COUNTERS counters;
  return ReadMemoryCounters(process_, &counters) ? counters.PagefileUsage : 0;
}

size_t ProcessMetrics::GetPeakPagefileUsage() const {
  PROCESS_MEMORY_COUNTERS counters;
  return ReadMemoryCounters(process_, &counters) ? counters.PeakPagefileUsage
                                                 : 0;
}

bool ProcessMetrics::GetMemoryBytes(size_t* private_bytes,
                                    size_t* shared_bytes) {
  if (private_bytes) {
    PROCESS_MEMORY_COUNTERS_EX counters;
    if (!::GetProcessMemoryInfo(
            process_, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
            sizeof(counters))) {
      return false;
    }
    *private_bytes = counters.PrivateUsage;
  }
  if (shared_bytes) {
    const std::vector<PSAPI_WORKING_SET_BLOCK> pages = ReadWorkingSet(process_);
    if (pages.empty()) return false;
    size_t shared_pages = 0;
    for (const PSAPI_WORKING_SET_BLOCK& page : pages) {
      if (IsPageShared(page)) ++shared_pages;
    }
    *shared_bytes = shared_pages * kPageSize;
  }
  return true;
}

bool ProcessMetrics::GetWorkingSetKBytes(WorkingSetKBytes* ws_usage) const {
  const std::vector<PSAPI_WORKING_SET_BLOCK> pages = ReadWorkingSet(process_);
  if (pages.empty()) return false;
  size_t private_pages = 0, shareable_pages = 0, shared_pages = 0;
  for (const PSAPI_WORKING_SET_BLOCK& page : pages) {
    if (!IsPageShareable(page)) {
      ++private_pages;
      continue;
    }
    ++shareable_pages;
    if (IsPageShared(page)) ++shared_pages;
  }
  ws_usage->priv = private_pages * kPageSize / 1024;
  ws_usage->shareable = shareable_pages * kPageSize / 1024;
  ws_usage->shared = shared_pages * kPageSize / 1024;
  return true;
}

void ProcessMetrics::GetCommittedKBytes(CommittedKBytes* usage) const {
  size_t committed_private = 0, committed_mapped = 0, committed_image = 0;
  uintptr_t address = 0;
  MEMORY_BASIC_INFORMATION info;
  // Runs over the whole user address space: a 64-bit process keeps most of
  // its memory far above the low 2 GiB.
  while (::VirtualQueryEx(process_, reinterpret_cast<void*>(address), &info,
                          sizeof(info)) == sizeof(info)) {
    if (info.State == MEM_COMMIT) {
      if (info.Type == MEM_PRIVATE) {
        committed_private += info.RegionSize;
      } else if (info.Type == MEM_MAPPED) {
        committed_mapped += info.RegionSize;
      } else if (info.Type == MEM_IMAGE) {
        committed_image += info.RegionSize;
      }
    }
    const uintptr_t next =
        reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (next <= address) {
      // The walk would loop; report nothing rather than a partial figure.
      committed_private = committed_mapped = committed_image = 0;
      break;
    }
    address = next;
  }
  usage->priv = committed_private / 1024;
  usage->mapped = committed_mapped / 1024;
  usage->image = committed_image / 1024;
}

bool ProcessMetrics::CalculateFreeMemory(FreeMBytes* free) const {
  const uintptr_t end = MaximumApplicationAddress();
  size_t total = 0, largest = 0;
  void* largest_ptr = nullptr;
  uintptr_t address = 0;
  while (address < end) {
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQueryEx(process_, reinterpret_cast<void*>(address), &info,
                         sizeof(info)) != sizeof(info)) {
      return false;
    }
    if (info.State == MEM_FREE) {
      total += info.RegionSize;
      if (info.RegionSize > largest) {
        largest = info.RegionSize;
        largest_ptr = info.BaseAddress;
      }
    }
    const uintptr_t next =
        reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (next <= address) return false;
    address = next;
  }
  free->total = total / (1024 * 1024);
  free->largest = largest / (1024 * 1024);
  free->largest_ptr = largest_ptr;
  return true;
}

bool ProcessMetrics::GetIOCounters(IoCounters* io_counters) const {
  return ::GetProcessIoCounters(process_, io_counters) != FALSE;
}

size_t GetSystemCommitCharge() {
  SYSTEM_INFO system_info;
  ::GetSystemInfo(&system_info);
  const size_t page_size = system_info.dwPageSize;

  static const GetPerformanceInfoFunction get_performance_info =
      LookUpGetPerformanceInfo();
  if (!get_performance_info) return 0;
  PERFORMANCE_INFORMATION info;
  if (!get_performance_info(&info, sizeof(info))) return 0;
  return info.CommitTotal * page_size / 1024;
}

}  // namespace base
