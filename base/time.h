// Wall-clock instants (Time), signed spans (TimeDelta) and monotonic ticks
// (TimeTicks), each one signed 64-bit count of microseconds.
//
// Wall-clock time is the tick count plus a reference pair taken from the
// system clock, re-anchored to the system clock after a minute of drift.

#ifndef BASE_TIME_H_
#define BASE_TIME_H_

#include <windows.h>

#include <stdint.h>
#include <time.h>

namespace base {

class CPU;
class Time;
class TimeTicks;

class TimeDelta {
 public:
  TimeDelta() : delta_(0) {}

  static TimeDelta FromDays(int64_t days);
  static TimeDelta FromHours(int64_t hours);
  static TimeDelta FromMinutes(int64_t minutes);
  static TimeDelta FromSeconds(int64_t secs);
  static TimeDelta FromMilliseconds(int64_t ms);
  static TimeDelta FromMicroseconds(int64_t us);
  static TimeDelta FromInternalValue(int64_t delta) { return TimeDelta(delta); }
  int64_t ToInternalValue() const { return delta_; }

  // All truncate toward zero, except InMillisecondsRoundedUp (a ceiling).
  int InDays() const;
  int InHours() const;
  int InMinutes() const;
  double InSecondsF() const;
  int64_t InSeconds() const;
  double InMillisecondsF() const;
  int64_t InMilliseconds() const;
  int64_t InMillisecondsRoundedUp() const;
  int64_t InMicroseconds() const { return delta_; }

  TimeDelta operator+(TimeDelta other) const {
    return TimeDelta(delta_ + other.delta_);
  }
  TimeDelta operator-(TimeDelta other) const {
    return TimeDelta(delta_ - other.delta_);
  }
  TimeDelta& operator+=(TimeDelta other) {
    delta_ += other.delta_;
    return *this;
  }
  TimeDelta& operator-=(TimeDelta other) {
    delta_ -= other.delta_;
    return *this;
  }
  TimeDelta operator-() const { return TimeDelta(-delta_); }
  TimeDelta operator*(int64_t a) const { return TimeDelta(delta_ * a); }
  TimeDelta operator/(int64_t a) const { return TimeDelta(delta_ / a); }
  int64_t operator/(TimeDelta a) const { return delta_ / a.delta_; }

  bool operator==(TimeDelta other) const { return delta_ == other.delta_; }
  bool operator!=(TimeDelta other) const { return delta_ != other.delta_; }
  bool operator<(TimeDelta other) const { return delta_ < other.delta_; }
  bool operator<=(TimeDelta other) const { return delta_ <= other.delta_; }
  bool operator>(TimeDelta other) const { return delta_ > other.delta_; }
  bool operator>=(TimeDelta other) const { return delta_ >= other.delta_; }

 private:
  friend class Time;
  friend class TimeTicks;

  explicit TimeDelta(int64_t delta_us) : delta_(delta_us) {}

  int64_t delta_;
};

class Time {
 public:
  static constexpr int64_t kMillisecondsPerSecond = 1000;
  static constexpr int64_t kMicrosecondsPerMillisecond = 1000;
  static constexpr int64_t kMicrosecondsPerSecond = 1000000;
  static constexpr int64_t kMicrosecondsPerMinute = kMicrosecondsPerSecond * 60;
  static constexpr int64_t kMicrosecondsPerHour = kMicrosecondsPerMinute * 60;
  static constexpr int64_t kMicrosecondsPerDay = kMicrosecondsPerHour * 24;
  static constexpr int64_t kMicrosecondsPerWeek = kMicrosecondsPerDay * 7;
  static constexpr int64_t kNanosecondsPerMicrosecond = 1000;
  static constexpr int64_t kNanosecondsPerSecond = 1000000000;

  // Microseconds from 1601-01-01 (the file-time epoch) to 1970-01-01.
  static constexpr int64_t kTimeTToMicrosecondsOffset = 11644473600000000LL;

  // Eight calendar fields; day_of_week is 0 for Sunday.
  struct Exploded {
    int year;
    int month;
    int day_of_week;
    int day_of_month;
    int hour;
    int minute;
    int second;
    int millisecond;

    // Every field but the year lies in its calendar range (second 60 is a
    // leap second).
    bool HasValidValues() const;
  };

  Time() : us_(0) {}

  bool is_null() const { return us_ == 0; }
  bool is_max() const;

  static Time UnixEpoch();
  static Time Max();

  static Time Now();
  // Re-reads the system clock and returns it.
  static Time NowFromSystemTime();

  static Time FromFileTime(FILETIME ft);
  FILETIME ToFileTime() const;
  static Time FromTimeT(time_t tt);
  time_t ToTimeT() const;
  static Time FromDoubleT(double dt);
  double ToDoubleT() const;
  static Time FromDoubleMs(double ms);
  double ToDoubleMs() const;
  int64_t ToUnixEpochMs() const;

  static Time FromInternalValue(int64_t us) { return Time(us); }
  int64_t ToInternalValue() const { return us_; }

  // Parses |time_string| with NSPR's time-string parser; a text without a
  // zone is read as local time when |is_local|, else as UTC.
  static bool FromString(const char* time_string, bool is_local,
                         Time* parsed_time);

  static Time FromUTCExploded(const Exploded& exploded) {
    return FromExploded(false, exploded);
  }
  static Time FromLocalExploded(const Exploded& exploded) {
    return FromExploded(true, exploded);
  }
  void UTCExplode(Exploded* exploded) const { Explode(false, exploded); }
  void LocalExplode(Exploded* exploded) const { Explode(true, exploded); }

  // A negative time, or one the system cannot convert, explodes to zeros.
  void Explode(bool is_local, Exploded* exploded) const;
  // Fields the system rejects, or that do not fit its 16-bit calendar
  // record, give the null time.
  static Time FromExploded(bool is_local, const Exploded& exploded);

  Time LocalMidnight() const;

  // Multimedia-timer resolution switches.
  static void EnableHighResolutionTimer(bool enable);
  static bool ActivateHighResolutionTimer(bool activate);
  static bool IsHighResolutionTimerInUse();

  TimeDelta operator-(Time other) const { return TimeDelta(us_ - other.us_); }
  Time operator+(TimeDelta delta) const { return Time(us_ + delta.delta_); }
  Time operator-(TimeDelta delta) const { return Time(us_ - delta.delta_); }
  Time& operator+=(TimeDelta delta) {
    us_ += delta.delta_;
    return *this;
  }
  Time& operator-=(TimeDelta delta) {
    us_ -= delta.delta_;
    return *this;
  }

  bool operator==(Time other) const { return us_ == other.us_; }
  bool operator!=(Time other) const { return us_ != other.us_; }
  bool operator<(Time other) const { return us_ < other.us_; }
  bool operator<=(Time other) const { return us_ <= other.us_; }
  bool operator>(Time other) const { return us_ > other.us_; }
  bool operator>=(Time other) const { return us_ >= other.us_; }

 private:
  explicit Time(int64_t us) : us_(us) {}

  int64_t us_;
};

inline Time operator+(TimeDelta delta, Time t) { return t + delta; }

class TimeTicks {
 public:
  // A 32-bit millisecond counter, timeGetTime by default.
  typedef DWORD(WINAPI* TickFunctionType)(void);

  TimeTicks() : ticks_(0) {}

  // The rollover-protected millisecond clock, unless the high-resolution
  // clock was switched on.
  static TimeTicks Now();
  // timeGetTime without rollover handling or locking.
  static TimeTicks UnprotectedNow();
  // The performance counter, or Now() when it is not trusted.
  static TimeTicks HighResNow();
  static TimeTicks NowFromSystemTraceTime();
  static bool IsHighResClockWorking();
  static int64_t GetQPCDriftMicroseconds();
  static TimeTicks FromQPCValue(LONGLONG qpc_value);
  // The same, for a counter value as QueryPerformanceCounter fills it in.
  static TimeTicks FromQPCValue(const LARGE_INTEGER& qpc_value);

  // Makes Now() the high-resolution clock when the processor has a
  // non-stop time-stamp counter we trust; true when it did.
  static bool SetNowIsHighResNowIfSupported();
  // The decision above for the processor |cpu| describes.
  static bool IsHighResNowSupportedOn(const CPU& cpu);
  // |qpc_value| counts of a |frequency| per second, in microseconds; split
  // so that value x 1000000 cannot overflow. 0 for a zero frequency.
  static int64_t QPCValueToMicroseconds(LONGLONG qpc_value, int64_t frequency);

  // Replaces the millisecond source of Now() and resets the rollover
  // state; returns the previous source.
  static TickFunctionType SetMockTickFunction(TickFunctionType ticker);

  bool is_null() const { return ticks_ == 0; }

  static TimeTicks FromInternalValue(int64_t ticks) {
    return TimeTicks(ticks);
  }
  int64_t ToInternalValue() const { return ticks_; }

  TimeDelta operator-(TimeTicks other) const {
    return TimeDelta(ticks_ - other.ticks_);
  }
  TimeTicks operator+(TimeDelta delta) const {
    return TimeTicks(ticks_ + delta.delta_);
  }
  TimeTicks operator-(TimeDelta delta) const {
    return TimeTicks(ticks_ - delta.delta_);
  }
  TimeTicks& operator+=(TimeDelta delta) {
    ticks_ += delta.delta_;
    return *this;
  }
  TimeTicks& operator-=(TimeDelta delta) {
    ticks_ -= delta.delta_;
    return *this;
  }

  bool operator==(TimeTicks other) const { return ticks_ == other.ticks_; }
  bool operator!=(TimeTicks other) const { return ticks_ != other.ticks_; }
  bool operator<(TimeTicks other) const { return ticks_ < other.ticks_; }
  bool operator<=(TimeTicks other) const { return ticks_ <= other.ticks_; }
  bool operator>(TimeTicks other) const { return ticks_ > other.ticks_; }
  bool operator>=(TimeTicks other) const { return ticks_ >= other.ticks_; }

 private:
  explicit TimeTicks(int64_t ticks) : ticks_(ticks) {}

  int64_t ticks_;
};

}  // namespace base

#endif  // BASE_TIME_H_
