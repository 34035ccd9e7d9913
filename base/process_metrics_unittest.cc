#include "base/process_metrics.h"

#include <windows.h>

#include "base/sys_info.h"
#include "gtest/gtest.h"

namespace base {
namespace {

const uintptr_t kTwoGiB = uintptr_t{1} << 31;

// Keeps this thread busy for |milliseconds| of wall time.
void BurnCpu(DWORD milliseconds) {
  const DWORD start = ::GetTickCount();
  volatile uint64_t sink = 0;
  while (::GetTickCount() - start < milliseconds) sink = sink + 1;
}

TEST(ProcessMetricsTest, CpuUsageIsZeroFirstThenAShareOfTheMachine) {
  std::unique_ptr<ProcessMetrics> metrics =
      ProcessMetrics::CreateProcessMetrics(::GetCurrentProcess());
  BurnCpu(50);  // So that the process has used some time at the first call.
  EXPECT_EQ(0, metrics->GetCPUUsage());
  BurnCpu(400);
  const double usage = metrics->GetCPUUsage();
  // One busy thread is at most one processor's share of the whole machine.
  EXPECT_GT(usage, 0);
  EXPECT_LE(usage, 100.0 / SysInfo::NumberOfProcessors() + 5);
}

TEST(ProcessMetricsTest, CpuUsageOfAProcessThatCannotBeReadIsZero) {
  ProcessMetrics metrics(nullptr);
  EXPECT_EQ(0, metrics.GetCPUUsage());
  EXPECT_EQ(0, metrics.GetCPUUsage());
}

TEST(ProcessMetricsTest, WorkingSetFigures) {
  ProcessMetrics metrics(::GetCurrentProcess());
  const size_t working_set = metrics.GetWorkingSetSize();
  EXPECT_GT(working_set, 0u);
  EXPECT_GE(metrics.GetPeakWorkingSetSize(), working_set);

  ProcessMetrics unreadable(nullptr);
  EXPECT_EQ(0u, unreadable.GetWorkingSetSize());
  EXPECT_EQ(0u, unreadable.GetPeakWorkingSetSize());
  EXPECT_EQ(0u, unreadable.GetPagefileUsage());
  EXPECT_EQ(0u, unreadable.GetPeakPagefileUsage());
}

// Commits |size| bytes somewhere above 4 GiB.
void* AllocateHigh(size_t size) {
  for (uintptr_t address = uintptr_t{5} << 32; address < (uintptr_t{1} << 46);
       address <<= 1) {
    if (void* block = ::VirtualAlloc(reinterpret_cast<void*>(address), size,
                                     MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
      return block;
  }
  return nullptr;
}

// A 64-bit process may keep memory far above the low 2 GiB; it must be
// counted.
TEST(ProcessMetricsTest, CommittedMemoryAboveTwoGiBIsCounted) {
  ProcessMetrics metrics(::GetCurrentProcess());
  CommittedKBytes before;
  metrics.GetCommittedKBytes(&before);

  const size_t kSize = 64 << 20;
  void* block = AllocateHigh(kSize);
  ASSERT_NE(nullptr, block);
  ASSERT_GT(reinterpret_cast<uintptr_t>(block), kTwoGiB);
  CommittedKBytes after;
  metrics.GetCommittedKBytes(&after);
  ::VirtualFree(block, 0, MEM_RELEASE);

  EXPECT_GE(after.priv, before.priv + kSize / 1024);
  EXPECT_GT(after.image, 0u);  // The program's own image.
}

TEST(ProcessMetricsTest, CommittedMemoryOfAnUnreadableProcessIsZero) {
  ProcessMetrics metrics(nullptr);
  CommittedKBytes usage;
  usage.priv = usage.mapped = usage.image = 99;
  metrics.GetCommittedKBytes(&usage);
  EXPECT_EQ(0u, usage.priv);
  EXPECT_EQ(0u, usage.mapped);
  EXPECT_EQ(0u, usage.image);
}

TEST(ProcessMetricsTest, FreeMemoryCoversTheWholeUserAddressSpace) {
  ProcessMetrics metrics(::GetCurrentProcess());
  FreeMBytes free;
  ASSERT_TRUE(metrics.CalculateFreeMemory(&free));
  EXPECT_GT(free.total, 2048u);
  EXPECT_GE(free.total, free.largest);
  EXPECT_GT(reinterpret_cast<uintptr_t>(free.largest_ptr), kTwoGiB);

  ProcessMetrics unreadable(nullptr);
  EXPECT_FALSE(unreadable.CalculateFreeMemory(&free));
}

TEST(ProcessMetricsTest, SystemCommitChargeWithoutPsapiLoaded) {
  // The figure must come from kernel32 when psapi.dll is not in the process.
  ASSERT_EQ(nullptr, ::GetModuleHandleW(L"psapi.dll"));
  EXPECT_GT(GetSystemCommitCharge(), 0u);
}

TEST(ProcessMetricsTest, IoCounters) {
  ProcessMetrics metrics(::GetCurrentProcess());
  IoCounters counters;
  EXPECT_TRUE(metrics.GetIOCounters(&counters));
  ProcessMetrics unreadable(nullptr);
  EXPECT_FALSE(unreadable.GetIOCounters(&counters));
}

}  // namespace
}  // namespace base
