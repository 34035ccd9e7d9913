#include "base/time.h"

#include <windows.h>
#include <mmsystem.h>

#include <float.h>
#include <math.h>

#include <atomic>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "base/sys_info_cpu.h"
#include "gtest/gtest.h"

namespace base {
namespace {

const int64_t kInt64Max = std::numeric_limits<int64_t>::max();
const int64_t kInt64Min = std::numeric_limits<int64_t>::min();
const int64_t kOffset = Time::kTimeTToMicrosecondsOffset;

std::atomic<DWORD> g_mock_ms{0};

DWORD WINAPI MockTicks() { return g_mock_ms.load(); }

// Installs the mock millisecond source for one test and restores the
// previous one afterwards.
class MockTickClock {
 public:
  explicit MockTickClock(DWORD start) {
    g_mock_ms = start;
    previous_ = TimeTicks::SetMockTickFunction(&MockTicks);
  }
  ~MockTickClock() { TimeTicks::SetMockTickFunction(previous_); }
  void Advance(DWORD ms) { g_mock_ms += ms; }
  void Set(DWORD ms) { g_mock_ms = ms; }

 private:
  TimeTicks::TickFunctionType previous_;
};

int64_t SystemMicroseconds() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER value;
  value.LowPart = ft.dwLowDateTime;
  value.HighPart = ft.dwHighDateTime;
  return static_cast<int64_t>(value.QuadPart / 10);
}

TEST(TimeDeltaTest, TruncatingAccessors) {
  const TimeDelta almost_week =
      TimeDelta::FromDays(6) + TimeDelta::FromHours(23);
  EXPECT_EQ(6, almost_week.InDays());  // a 7-day purge keeps such a file
  EXPECT_EQ(167, almost_week.InHours());
  EXPECT_EQ(-1, TimeDelta::FromMinutes(-90).InHours());
  EXPECT_EQ(90, TimeDelta::FromSeconds(5400).InMinutes());
  EXPECT_EQ(1, TimeDelta::FromMilliseconds(1999).InSeconds());
  EXPECT_DOUBLE_EQ(1.999, TimeDelta::FromMilliseconds(1999).InSecondsF());
  EXPECT_DOUBLE_EQ(1.5, TimeDelta::FromMicroseconds(1500).InMillisecondsF());
  EXPECT_EQ(-1, TimeDelta::FromMicroseconds(-1999).InMilliseconds());
  EXPECT_EQ(42, TimeDelta::FromMicroseconds(42).InMicroseconds());
}

TEST(TimeDeltaTest, InMillisecondsRoundedUpIsACeiling) {
  const struct {
    int64_t us;
    int64_t expected;
  } cases[] = {
      {0, 0},       {1, 1},         {-1, 0},        {999, 1},
      {1000, 1},    {1001, 2},      {-1000, -1},    {-1001, -1},
      {-1500, -1},  {-1999, -1},    {-2000, -2},    {1500, 2},
      {kInt64Max, kInt64Max / 1000 + 1},            {kInt64Min, kInt64Min / 1000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected,
              TimeDelta::FromMicroseconds(c.us).InMillisecondsRoundedUp())
        << c.us;
  }
}

TEST(TimeTest, UnixEpochMilliseconds) {
  EXPECT_EQ(0, Time::UnixEpoch().ToUnixEpochMs());
  EXPECT_EQ(0, Time().ToUnixEpochMs());
  EXPECT_EQ(kInt64Max, Time::Max().ToUnixEpochMs());
  EXPECT_EQ(1999, (Time::UnixEpoch() + TimeDelta::FromMicroseconds(1999999))
                      .ToUnixEpochMs());
  EXPECT_EQ(-1, (Time::UnixEpoch() - TimeDelta::FromMicroseconds(1999))
                    .ToUnixEpochMs());
  // Far below the epoch the subtraction would overflow.
  EXPECT_EQ(kInt64Min / 1000 - kOffset / 1000,
            Time::FromInternalValue(kInt64Min).ToUnixEpochMs());
}

TEST(TimeTest, TimeTConversions) {
  EXPECT_TRUE(Time::FromTimeT(0).is_null());
  EXPECT_TRUE(Time::FromTimeT(kInt64Max).is_max());
  EXPECT_EQ(kOffset + 1000000, Time::FromTimeT(1).ToInternalValue());
  EXPECT_EQ(1700000000, Time::FromTimeT(1700000000).ToTimeT());
  // Values whose microseconds do not fit saturate instead of wrapping.
  EXPECT_TRUE(Time::FromTimeT(kInt64Max / 1000000 + 1).is_max());
  EXPECT_TRUE(Time::FromTimeT(kInt64Max - 1).is_max());
  EXPECT_EQ(kInt64Min, Time::FromTimeT(kInt64Min / 1000000 - 1)
                           .ToInternalValue());

  EXPECT_EQ(0, Time().ToTimeT());
  EXPECT_EQ(kInt64Max, Time::Max().ToTimeT());
  EXPECT_EQ(kInt64Max,
            Time::FromInternalValue(kInt64Max - kOffset).ToTimeT());
  EXPECT_EQ((kInt64Max - kOffset - 1 - kOffset) / 1000000,
            Time::FromInternalValue(kInt64Max - kOffset - 1).ToTimeT());
  EXPECT_EQ(kInt64Min / 1000000 - kOffset / 1000000,
            Time::FromInternalValue(kInt64Min).ToTimeT());
}

TEST(TimeTest, DoubleConversions) {
  EXPECT_TRUE(Time::FromDoubleT(0).is_null());
  EXPECT_TRUE(Time::FromDoubleT(NAN).is_null());
  EXPECT_TRUE(Time::FromDoubleT(DBL_MAX).is_max());
  EXPECT_EQ(kOffset + 1500000, Time::FromDoubleT(1.5).ToInternalValue());
  EXPECT_TRUE(Time::FromDoubleT(1e300).is_max());
  EXPECT_TRUE(Time::FromDoubleT(INFINITY).is_max());
  EXPECT_EQ(kInt64Min, Time::FromDoubleT(-1e300).ToInternalValue());

  EXPECT_EQ(Time::UnixEpoch(), Time::FromDoubleMs(0));
  EXPECT_TRUE(Time::FromDoubleMs(DBL_MAX).is_max());
  EXPECT_TRUE(Time::FromDoubleMs(NAN).is_null());
  EXPECT_TRUE(Time::FromDoubleMs(1e300).is_max());
  EXPECT_EQ(kInt64Min, Time::FromDoubleMs(-1e300).ToInternalValue());
  EXPECT_EQ(kOffset + 2500, Time::FromDoubleMs(2.5).ToInternalValue());

  EXPECT_EQ(0.0, Time().ToDoubleT());
  EXPECT_EQ(DBL_MAX, Time::Max().ToDoubleT());
  EXPECT_DOUBLE_EQ(1.5, Time::FromDoubleT(1.5).ToDoubleT());
  EXPECT_EQ(0.0, Time().ToDoubleMs());
  EXPECT_EQ(DBL_MAX, Time::Max().ToDoubleMs());
  EXPECT_DOUBLE_EQ(2.5, Time::FromDoubleMs(2.5).ToDoubleMs());
  EXPECT_LT(Time::FromInternalValue(kInt64Min).ToDoubleMs(), -9.2e15);
}

TEST(TimeTest, FileTimeConversions) {
  FILETIME zero = {0, 0};
  EXPECT_TRUE(Time::FromFileTime(zero).is_null());
  FILETIME all_ones = {0xFFFFFFFF, 0xFFFFFFFF};
  EXPECT_TRUE(Time::FromFileTime(all_ones).is_max());
  FILETIME ft = {12345670, 1};
  const Time t = Time::FromFileTime(ft);
  EXPECT_EQ((0x100000000LL + 12345670) / 10, t.ToInternalValue());

  FILETIME back = Time::FromInternalValue(1234567).ToFileTime();
  EXPECT_EQ(12345670u, back.dwLowDateTime);
  EXPECT_EQ(0u, back.dwHighDateTime);

  back = Time().ToFileTime();
  EXPECT_EQ(0u, back.dwLowDateTime | back.dwHighDateTime);
  back = Time::Max().ToFileTime();
  EXPECT_EQ(0xFFFFFFFFu, back.dwLowDateTime & back.dwHighDateTime);
  // x10 would overflow: saturate to the maximum file time.
  back = Time::FromInternalValue(kInt64Max / 10 + 1).ToFileTime();
  EXPECT_EQ(0xFFFFFFFFu, back.dwLowDateTime & back.dwHighDateTime);
  // No file time lies before 1601.
  back = Time::FromInternalValue(-5).ToFileTime();
  EXPECT_EQ(0u, back.dwLowDateTime | back.dwHighDateTime);
}

bool IsAllZero(const Time::Exploded& e) {
  return e.year == 0 && e.month == 0 && e.day_of_week == 0 &&
         e.day_of_month == 0 && e.hour == 0 && e.minute == 0 &&
         e.second == 0 && e.millisecond == 0;
}

TEST(TimeTest, ExplodeOfUnconvertibleTimesIsAllZero) {
  const int64_t values[] = {-1, kInt64Min, kInt64Max, kInt64Max / 10 + 1};
  for (int64_t value : values) {
    Time::Exploded exploded;
    memset(&exploded, 0x55, sizeof(exploded));
    Time::FromInternalValue(value).UTCExplode(&exploded);
    EXPECT_TRUE(IsAllZero(exploded)) << value;
  }
}

TEST(TimeTest, FromExplodedRejectsWhatTheRecordCannotHold) {
  const Time::Exploded valid = {2026, 12, 4, 10, 9, 30, 15, 250};
  const Time t = Time::FromUTCExploded(valid);
  EXPECT_FALSE(t.is_null());
  Time::Exploded round_trip;
  t.UTCExplode(&round_trip);
  EXPECT_EQ(0, memcmp(&valid, &round_trip, sizeof(valid)));

  Time::Exploded bad = valid;
  bad.month = 13;
  EXPECT_TRUE(Time::FromUTCExploded(bad).is_null());
  // 65536 + 2026 would wrap to 2026 in the 16-bit record.
  bad = valid;
  bad.year = 65536 + 2026;
  EXPECT_TRUE(Time::FromUTCExploded(bad).is_null());
  bad = valid;
  bad.day_of_month = 65536 + 10;
  EXPECT_TRUE(Time::FromUTCExploded(bad).is_null());
  bad = valid;
  bad.year = -1;
  EXPECT_TRUE(Time::FromUTCExploded(bad).is_null());
}

TEST(TimeTest, ExplodedHasValidValues) {
  Time::Exploded e = {2026, 12, 4, 10, 9, 30, 60, 999};
  EXPECT_TRUE(e.HasValidValues());
  e.year = -5;  // the year is not checked
  EXPECT_TRUE(e.HasValidValues());
  const Time::Exploded invalid[] = {
      {2026, 0, 4, 10, 9, 30, 15, 0},  {2026, 13, 4, 10, 9, 30, 15, 0},
      {2026, 1, 7, 10, 9, 30, 15, 0},  {2026, 1, 4, 0, 9, 30, 15, 0},
      {2026, 1, 4, 32, 9, 30, 15, 0},  {2026, 1, 4, 1, 24, 30, 15, 0},
      {2026, 1, 4, 1, 1, 60, 15, 0},   {2026, 1, 4, 1, 1, 1, 61, 0},
      {2026, 1, 4, 1, 1, 1, 1, 1000},  {2026, 1, -1, 1, 1, 1, 1, 0},
  };
  for (const Time::Exploded& bad : invalid)
    EXPECT_FALSE(bad.HasValidValues());
}

TEST(TimeTest, LocalMidnight) {
  const Time noonish = Time::FromUTCExploded({2026, 6, 0, 14, 12, 34, 56, 789});
  Time::Exploded midnight;
  noonish.LocalMidnight().LocalExplode(&midnight);
  EXPECT_EQ(0, midnight.hour);
  EXPECT_EQ(0, midnight.minute);
  EXPECT_EQ(0, midnight.second);
  EXPECT_EQ(0, midnight.millisecond);
  EXPECT_LE(noonish.LocalMidnight(), noonish);
  EXPECT_GT(noonish.LocalMidnight() + TimeDelta::FromDays(1), noonish);
}

TEST(TimeTest, FromString) {
  Time parsed;
  EXPECT_FALSE(Time::FromString("", false, &parsed));
  EXPECT_FALSE(Time::FromString("not a time at all", false, &parsed));
  ASSERT_TRUE(Time::FromString("Thu, 10 Dec 2026 09:00:00 GMT", true, &parsed));
  EXPECT_EQ(1796893200000LL, parsed.ToUnixEpochMs());
  ASSERT_TRUE(Time::FromString("10 Dec 2026 09:00:00", false, &parsed));
  EXPECT_EQ(1796893200000LL, parsed.ToUnixEpochMs());
  ASSERT_TRUE(Time::FromString("10 Dec 2026 09:00:00 +0100", false, &parsed));
  EXPECT_EQ(1796893200000LL - 3600000, parsed.ToUnixEpochMs());
}

TEST(TimeTest, NowFollowsTheSystemClock) {
  const int64_t before = SystemMicroseconds();
  const Time now = Time::Now();
  const Time from_system = Time::NowFromSystemTime();
  const int64_t after = SystemMicroseconds();
  EXPECT_GE(now.ToInternalValue(), before - 100000);
  EXPECT_LE(now.ToInternalValue(), after + 100000);
  EXPECT_GE(from_system.ToInternalValue(), before);
  EXPECT_LE(from_system.ToInternalValue(), after);
}

TEST(TimeTest, NowResynchronisesAfterAMinuteOfTicks) {
  MockTickClock clock(1000);
  Time::NowFromSystemTime();  // anchor at the mock's start

  // 59 s of ticks: still the anchor plus the ticks.
  clock.Advance(59000);
  int64_t system = SystemMicroseconds();
  int64_t drift = Time::Now().ToInternalValue() - system;
  EXPECT_GT(drift, 58 * Time::kMicrosecondsPerSecond);
  EXPECT_LT(drift, 60 * Time::kMicrosecondsPerSecond);

  // 61 s since the anchor: the system clock is read again.
  clock.Advance(2000);
  system = SystemMicroseconds();
  drift = Time::Now().ToInternalValue() - system;
  EXPECT_GT(drift, -Time::kMicrosecondsPerSecond);
  EXPECT_LT(drift, Time::kMicrosecondsPerSecond);
}

TEST(TimeTest, ConcurrentNowNeverMixesTwoReferencePairs) {
  MockTickClock clock(1000);
  Time::NowFromSystemTime();
  std::atomic<bool> stop{false};
  std::atomic<int> out_of_range{0};

  // Every Now() lies at most one drift limit ahead of the system clock,
  // and behind it only by as long as the advancing thread may stall; a
  // half-updated pair lands 31 s or more outside.
  std::vector<std::thread> readers;
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([&] {
      while (!stop) {
        const int64_t before = SystemMicroseconds();
        const int64_t now = Time::Now().ToInternalValue();
        const int64_t after = SystemMicroseconds();
        if (now < before - 20 * Time::kMicrosecondsPerSecond ||
            now > after + 61 * Time::kMicrosecondsPerSecond) {
          ++out_of_range;
        }
      }
    });
  }
  for (int step = 0; step < 20000; ++step) {
    clock.Advance(31000);
    if (step % 50 == 0)
      ::Sleep(1);
  }
  stop = true;
  for (std::thread& reader : readers)
    reader.join();
  EXPECT_EQ(0, out_of_range.load());
}

TEST(TimeTicksTest, RolloverNeverGoesBackwards) {
  MockTickClock clock(0xFFFFFFF0);
  const TimeTicks before_wrap = TimeTicks::Now();
  clock.Set(0x10);
  const TimeTicks after_wrap = TimeTicks::Now();
  EXPECT_EQ(32, (after_wrap - before_wrap).InMilliseconds());
  clock.Set(0x20);
  EXPECT_EQ(48, (TimeTicks::Now() - before_wrap).InMilliseconds());
  // A second wrap adds another 2^32 ms.
  clock.Set(0x5);
  EXPECT_EQ(0x100000000LL * 2 + 5,
            TimeTicks::Now().ToInternalValue() / 1000);
}

TEST(TimeTicksTest, MockResetsTheRolloverState) {
  {
    MockTickClock clock(0xFFFFFFF0);
    TimeTicks::Now();
    clock.Set(0x10);
    EXPECT_GT(TimeTicks::Now().ToInternalValue(), 0x100000000LL * 1000);
  }
  MockTickClock fresh(0x10);
  EXPECT_EQ(0x10 * 1000, TimeTicks::Now().ToInternalValue());
}

TEST(TimeTicksTest, UnprotectedNowReadsTheMultimediaClock) {
  const int64_t before = static_cast<int64_t>(::timeGetTime()) * 1000;
  const int64_t ticks = TimeTicks::UnprotectedNow().ToInternalValue();
  const int64_t after = static_cast<int64_t>(::timeGetTime()) * 1000;
  EXPECT_GE(ticks, before);
  EXPECT_LE(ticks, after);
}

// Against exact 128-bit arithmetic, for counters of every common frequency,
// whatever this processor's clock does.
TEST(TimeTicksTest, CounterValuesConvertWithoutOverflow) {
  const int64_t max = std::numeric_limits<int64_t>::max();
  const int64_t frequencies[] = {1, 1000, 3579545, 10000000, 2900000000LL,
                                 3000000007LL};
  for (int64_t frequency : frequencies) {
    const LONGLONG values[] = {0, 1, frequency - 1, frequency,
                               frequency * 3 / 2, max / 1000000 + 1, max / 2,
                               max};
    for (LONGLONG value : values) {
      const __int128 exact =
          static_cast<__int128>(value) * 1000000 / frequency;
      if (exact > max) continue;  // beyond the result type itself
      EXPECT_EQ(static_cast<int64_t>(exact),
                TimeTicks::QPCValueToMicroseconds(value, frequency))
          << value << " at " << frequency;
    }
  }
  EXPECT_EQ(0, TimeTicks::QPCValueToMicroseconds(12345, 0));
}

// A made-up processor: vendor, base family and the non-stop counter bit.
struct MadeUpCpu {
  const char* vendor;
  int family_signature;  // leaf 1 EAX
  bool non_stop_counter;
};
const MadeUpCpu* g_made_up_cpu;

void MadeUpCpuid(int leaf, CPU::Registers* out) {
  *out = CPU::Registers{0, 0, 0, 0};
  const unsigned which = static_cast<unsigned>(leaf);
  if (which == 0) {
    out->eax = 1;
    memcpy(&out->ebx, g_made_up_cpu->vendor, 4);
    memcpy(&out->edx, g_made_up_cpu->vendor + 4, 4);
    memcpy(&out->ecx, g_made_up_cpu->vendor + 8, 4);
  } else if (which == 1) {
    out->eax = g_made_up_cpu->family_signature;
  } else if (which == 0x80000000u) {
    out->eax = static_cast<int>(0x80000007u);
  } else if (which == 0x80000007u) {
    out->edx = g_made_up_cpu->non_stop_counter ? 1 << 8 : 0;
  }
}

TEST(TimeTicksTest, HighResNowOnlyWithATrustedNonStopCounter) {
  const struct {
    MadeUpCpu cpu;
    bool supported;
  } cases[] = {
      {{"GenuineIntel", 0x000906EA, true}, true},
      {{"GenuineIntel", 0x000906EA, false}, false},
      // Base family 15: the counter is not trusted, extended family or not.
      {{"AuthenticAMD", 0x00000F00, true}, false},
      {{"AuthenticAMD", 0x00830F10, true}, false},
      {{"AuthenticAMD", 0x00000600, true}, true},
      {{"GenuineIntel", 0x00000F00, true}, true},
  };
  for (const auto& c : cases) {
    g_made_up_cpu = &c.cpu;
    EXPECT_EQ(c.supported, TimeTicks::IsHighResNowSupportedOn(
                               CPU(&MadeUpCpuid)))
        << c.cpu.vendor << " " << std::hex << c.cpu.family_signature;
  }
}

TEST(TimeTicksTest, HighResolutionClock) {
  LARGE_INTEGER frequency;
  ASSERT_TRUE(::QueryPerformanceFrequency(&frequency));
  if (TimeTicks::IsHighResClockWorking()) {
    EXPECT_EQ(1000000, TimeTicks::FromQPCValue(frequency.QuadPart)
                           .ToInternalValue());
    EXPECT_EQ(1500000, TimeTicks::FromQPCValue(frequency.QuadPart * 3 / 2)
                           .ToInternalValue());
    LARGE_INTEGER half;
    half.QuadPart = frequency.QuadPart / 2;
    EXPECT_EQ(500000, TimeTicks::FromQPCValue(half).ToInternalValue());
    // value x 1000000 would overflow here; the split conversion does not.
    const LONGLONG huge = std::numeric_limits<LONGLONG>::max() / 2;
    EXPECT_EQ(huge / frequency.QuadPart * 1000000 +
                  (huge % frequency.QuadPart) * 1000000 / frequency.QuadPart,
              TimeTicks::FromQPCValue(huge).ToInternalValue());
  }
  const TimeTicks first = TimeTicks::HighResNow();
  ::Sleep(20);
  const TimeDelta elapsed = TimeTicks::NowFromSystemTraceTime() - first;
  EXPECT_GE(elapsed.InMilliseconds(), 15);
  EXPECT_GE(TimeTicks::GetQPCDriftMicroseconds(), 0);
}

TEST(TimeTest, HighResolutionTimerSwitches) {
  EXPECT_FALSE(Time::ActivateHighResolutionTimer(true));  // not enabled
  EXPECT_FALSE(Time::IsHighResolutionTimerInUse());
  Time::EnableHighResolutionTimer(true);
  EXPECT_TRUE(Time::ActivateHighResolutionTimer(true));
  EXPECT_TRUE(Time::IsHighResolutionTimerInUse());
  EXPECT_TRUE(Time::ActivateHighResolutionTimer(false));
  EXPECT_FALSE(Time::IsHighResolutionTimerInUse());
  Time::EnableHighResolutionTimer(false);
}

// Last in this program: it may leave Now() on the high-resolution clock.
TEST(TimeTicksTest, SetNowIsHighResNowFollowsTheProcessor) {
  const bool supported = TimeTicks::IsHighResNowSupportedOn(CPU());
  ASSERT_EQ(supported, TimeTicks::SetNowIsHighResNowIfSupported());
  if (!supported) return;  // Now() stays the millisecond clock
  // Now() reads the performance counter: between two readings of it.
  const int64_t before = TimeTicks::HighResNow().ToInternalValue();
  const int64_t now = TimeTicks::Now().ToInternalValue();
  const int64_t after = TimeTicks::HighResNow().ToInternalValue();
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);
}

}  // namespace
}  // namespace base
