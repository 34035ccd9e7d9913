// The Windows clocks behind Time and TimeTicks.
//
// Time::Now() is the tick clock plus a reference pair (system time, ticks)
// read together; after more than a minute of ticks the pair is taken again
// so that wall-clock time never drifts far from the system clock.

#include "base/time.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <limits>

#include "base/lazy_instance.h"
#include "base/lock.h"
#include "base/sys_info_cpu.h"
#include "base/threading/platform_thread.h"

namespace base {

namespace {

const int64_t kMaxMillisecondsToAvoidDrift = 60 * Time::kMillisecondsPerSecond;

int64_t FileTimeToMicroseconds(const FILETIME& ft) {
  ULARGE_INTEGER value;
  value.LowPart = ft.dwLowDateTime;
  value.HighPart = ft.dwHighDateTime;
  return static_cast<int64_t>(value.QuadPart / 10);
}

// False when |us| has no FILETIME (negative, or too large once scaled to
// 100-ns units).
bool MicrosecondsToFileTime(int64_t us, FILETIME* ft) {
  if (us < 0 || us > std::numeric_limits<int64_t>::max() / 10)
    return false;
  ULARGE_INTEGER value;
  value.QuadPart = static_cast<ULONGLONG>(us) * 10;
  ft->dwLowDateTime = value.LowPart;
  ft->dwHighDateTime = value.HighPart;
  return true;
}

// The reference pair of Time::Now(). Thread-pool callbacks call Now()
// concurrently, so the pair is read and replaced only under its lock.
struct ClockReference {
  LockImpl lock;
  int64_t initial_time = 0;  // microseconds since 1601; 0 until first use
  TimeTicks initial_ticks;
};

LazyInstance<ClockReference>::Leaky g_clock_reference =
    LAZY_INSTANCE_INITIALIZER;

// Caller holds the reference lock.
void InitializeClock(ClockReference* reference) {
  reference->initial_ticks = TimeTicks::Now();
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  reference->initial_time = FileTimeToMicroseconds(ft);
}

// Rollover state of the 32-bit millisecond source.
struct RolloverState {
  LockImpl lock;
  TimeTicks::TickFunctionType tick_function = &timeGetTime;
  DWORD last_seen_now = 0;
  int64_t rollover_ms = 0;
};

LazyInstance<RolloverState>::Leaky g_rollover_state =
    LAZY_INSTANCE_INITIALIZER;

TimeTicks RolloverProtectedNow() {
  RolloverState& state = g_rollover_state.Get();
  AutoLock locked(state.lock);
  const DWORD now = state.tick_function();
  if (now < state.last_seen_now)
    state.rollover_ms += 0x100000000LL;
  state.last_seen_now = now;
  return TimeTicks::FromInternalValue(
      (static_cast<int64_t>(now) + state.rollover_ms) *
      Time::kMicrosecondsPerMillisecond);
}

// The performance-counter clock, made once per process.
class HighResClock {
 public:
  HighResClock() {
    LARGE_INTEGER frequency;
    if (::QueryPerformanceFrequency(&frequency)) {
      frequency_ = frequency.QuadPart;
      skew_ = UnreliableNow() - RolloverProtectedNow().ToInternalValue();
    }
    // The counter is not trusted on this processor family.
    CPU cpu;
    if (IsBuggyAthlon(cpu))
      frequency_ = 0;
  }

  static bool IsBuggyAthlon(const CPU& cpu) {
    return cpu.vendor_name() == "AuthenticAMD" && cpu.family() == 15;
  }

  bool IsUsingHighResClock() const { return frequency_ != 0; }

  int64_t GetDriftMicroseconds() const {
    if (!IsUsingHighResClock())
      return 0;
    const int64_t drift = UnreliableNow() - skew_ -
                          RolloverProtectedNow().ToInternalValue();
    return drift < 0 ? -drift : drift;
  }

  int64_t Now() const {
    if (!IsUsingHighResClock())
      return RolloverProtectedNow().ToInternalValue();
    return UnreliableNow();
  }

  int64_t QPCValueToMicroseconds(LONGLONG qpc_value) const {
    return TimeTicks::QPCValueToMicroseconds(qpc_value, frequency_);
  }

 private:
  int64_t UnreliableNow() const {
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return QPCValueToMicroseconds(counter.QuadPart);
  }

  int64_t frequency_ = 0;
  int64_t skew_ = 0;
};

// Made on first use; the exit callbacks clear it at process exit.
LazyInstance<HighResClock> g_high_res_clock = LAZY_INSTANCE_INITIALIZER;

HighResClock& GetHighResClock() { return g_high_res_clock.Get(); }

TimeTicks HighResNowWrapper() {
  return TimeTicks::FromInternalValue(GetHighResClock().Now());
}

typedef TimeTicks (*NowFunction)();
// Written once, by SetNowIsHighResNowIfSupported; read by every Now().
std::atomic<NowFunction> g_now_function{&RolloverProtectedNow};

// Multimedia-timer switches.
struct HighResTimerState {
  LockImpl lock;
  bool enabled = false;
  int count = 0;
  PlatformThreadId first_thread = 0;
};

LazyInstance<HighResTimerState>::Leaky g_high_res_timer =
    LAZY_INSTANCE_INITIALIZER;

}  // namespace

// Time -----------------------------------------------------------------------

// static
Time Time::Now() {
  ClockReference& reference = g_clock_reference.Get();
  AutoLock locked(reference.lock);
  if (reference.initial_time == 0)
    InitializeClock(&reference);
  for (;;) {
    const TimeDelta elapsed = TimeTicks::Now() - reference.initial_ticks;
    if (elapsed.InMilliseconds() <= kMaxMillisecondsToAvoidDrift)
      return Time(reference.initial_time + elapsed.InMicroseconds());
    InitializeClock(&reference);
  }
}

// static
Time Time::NowFromSystemTime() {
  ClockReference& reference = g_clock_reference.Get();
  AutoLock locked(reference.lock);
  InitializeClock(&reference);
  return Time(reference.initial_time);
}

// static
Time Time::FromFileTime(FILETIME ft) {
  if (ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0)
    return Time();
  if (ft.dwLowDateTime == 0xFFFFFFFF && ft.dwHighDateTime == 0xFFFFFFFF)
    return Max();
  return Time(FileTimeToMicroseconds(ft));
}

FILETIME Time::ToFileTime() const {
  FILETIME ft = {0, 0};
  if (is_null())
    return ft;
  if (is_max() || !MicrosecondsToFileTime(us_, &ft)) {
    // No earlier file time exists: clamp below, saturate above.
    if (us_ < 0)
      return FILETIME{0, 0};
    ft.dwLowDateTime = 0xFFFFFFFF;
    ft.dwHighDateTime = 0xFFFFFFFF;
  }
  return ft;
}

void Time::Explode(bool is_local, Exploded* exploded) const {
  SYSTEMTIME utc_st;
  SYSTEMTIME st;
  FILETIME ft;
  bool success = MicrosecondsToFileTime(us_, &ft) &&
                 ::FileTimeToSystemTime(&ft, &utc_st);
  if (success && is_local)
    success = ::SystemTimeToTzSpecificLocalTime(nullptr, &utc_st, &st);
  else
    st = utc_st;
  if (!success) {
    *exploded = Exploded{0, 0, 0, 0, 0, 0, 0, 0};
    return;
  }
  exploded->year = st.wYear;
  exploded->month = st.wMonth;
  exploded->day_of_week = st.wDayOfWeek;
  exploded->day_of_month = st.wDay;
  exploded->hour = st.wHour;
  exploded->minute = st.wMinute;
  exploded->second = st.wSecond;
  exploded->millisecond = st.wMilliseconds;
}

namespace {

bool NarrowToWord(int value, WORD* out) {
  if (value < 0 || value > 0xFFFF)
    return false;
  *out = static_cast<WORD>(value);
  return true;
}

}  // namespace

// static
Time Time::FromExploded(bool is_local, const Exploded& exploded) {
  // A field that the 16-bit record cannot hold would otherwise wrap into a
  // different, valid-looking date.
  SYSTEMTIME st;
  if (!NarrowToWord(exploded.year, &st.wYear) ||
      !NarrowToWord(exploded.month, &st.wMonth) ||
      !NarrowToWord(exploded.day_of_week, &st.wDayOfWeek) ||
      !NarrowToWord(exploded.day_of_month, &st.wDay) ||
      !NarrowToWord(exploded.hour, &st.wHour) ||
      !NarrowToWord(exploded.minute, &st.wMinute) ||
      !NarrowToWord(exploded.second, &st.wSecond) ||
      !NarrowToWord(exploded.millisecond, &st.wMilliseconds)) {
    return Time();
  }
  if (is_local) {
    SYSTEMTIME utc_st;
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &st, &utc_st))
      return Time();
    st = utc_st;
  }
  FILETIME ft;
  if (!::SystemTimeToFileTime(&st, &ft))
    return Time();
  return Time(FileTimeToMicroseconds(ft));
}

// static
void Time::EnableHighResolutionTimer(bool enable) {
  HighResTimerState& timer = g_high_res_timer.Get();
  AutoLock locked(timer.lock);
  if (timer.first_thread == 0)
    timer.first_thread = PlatformThread::CurrentId();
  timer.enabled = enable;
}

// static
bool Time::ActivateHighResolutionTimer(bool activate) {
  HighResTimerState& timer = g_high_res_timer.Get();
  AutoLock locked(timer.lock);
  if (activate && !timer.enabled)
    return false;
  const UINT kMinTimerIntervalMs = 1;
  MMRESULT result;
  if (activate) {
    result = ::timeBeginPeriod(kMinTimerIntervalMs);
    ++timer.count;
  } else {
    result = ::timeEndPeriod(kMinTimerIntervalMs);
    --timer.count;
  }
  return result == TIMERR_NOERROR;
}

// static
bool Time::IsHighResolutionTimerInUse() {
  HighResTimerState& timer = g_high_res_timer.Get();
  AutoLock locked(timer.lock);
  return timer.enabled && timer.count >= 1;
}

// TimeTicks ------------------------------------------------------------------

// static
TimeTicks::TickFunctionType TimeTicks::SetMockTickFunction(
    TickFunctionType ticker) {
  RolloverState& state = g_rollover_state.Get();
  AutoLock locked(state.lock);
  TickFunctionType old = state.tick_function;
  state.tick_function = ticker;
  state.last_seen_now = 0;
  state.rollover_ms = 0;
  return old;
}

// static
bool TimeTicks::SetNowIsHighResNowIfSupported() {
  if (!IsHighResNowSupportedOn(CPU()))
    return false;
  g_now_function = &HighResNowWrapper;
  return true;
}

// static
bool TimeTicks::IsHighResNowSupportedOn(const CPU& cpu) {
  return cpu.has_non_stop_time_stamp_counter() &&
         !HighResClock::IsBuggyAthlon(cpu);
}

// static
int64_t TimeTicks::QPCValueToMicroseconds(LONGLONG qpc_value,
                                          int64_t frequency) {
  if (!frequency)
    return 0;
  const int64_t whole_seconds = qpc_value / frequency;
  const int64_t leftover = qpc_value % frequency;
  return whole_seconds * Time::kMicrosecondsPerSecond +
         leftover * Time::kMicrosecondsPerSecond / frequency;
}

// static
TimeTicks TimeTicks::Now() { return g_now_function.load()(); }

// static
TimeTicks TimeTicks::UnprotectedNow() {
  if (g_now_function.load() == &HighResNowWrapper)
    return Now();
  return TimeTicks(static_cast<int64_t>(::timeGetTime()) *
                   Time::kMicrosecondsPerMillisecond);
}

// static
TimeTicks TimeTicks::HighResNow() {
  return TimeTicks(GetHighResClock().Now());
}

// static
TimeTicks TimeTicks::NowFromSystemTraceTime() { return HighResNow(); }

// static
int64_t TimeTicks::GetQPCDriftMicroseconds() {
  return GetHighResClock().GetDriftMicroseconds();
}

// static
TimeTicks TimeTicks::FromQPCValue(LONGLONG qpc_value) {
  return TimeTicks(GetHighResClock().QPCValueToMicroseconds(qpc_value));
}

// static
TimeTicks TimeTicks::FromQPCValue(const LARGE_INTEGER& qpc_value) {
  return FromQPCValue(qpc_value.QuadPart);
}

// static
bool TimeTicks::IsHighResClockWorking() {
  return GetHighResClock().IsUsingHighResClock();
}

}  // namespace base
