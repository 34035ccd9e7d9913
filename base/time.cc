#include "base/time.h"

#include <float.h>
#include <math.h>

#include <limits>

#include <prtime.h>

namespace base {

namespace {

const int64_t kInt64Max = std::numeric_limits<int64_t>::max();
const int64_t kInt64Min = std::numeric_limits<int64_t>::min();

// Doubles at or beyond these cannot be held by an int64.
const double kInt64MaxAsDouble = 9223372036854775808.0;
const double kInt64MinAsDouble = -9223372036854775808.0;

int64_t SaturatedDoubleToInt64(double value) {
  if (value >= kInt64MaxAsDouble)
    return kInt64Max;
  if (value <= kInt64MinAsDouble)
    return kInt64Min;
  return static_cast<int64_t>(value);
}

int64_t SaturatedAdd(int64_t a, int64_t b) {
  int64_t sum;
  if (__builtin_add_overflow(a, b, &sum))
    return b > 0 ? kInt64Max : kInt64Min;
  return sum;
}

// Microseconds since 1970; exact in doubles even where int64 would
// overflow.
double MicrosecondsSinceUnixEpoch(int64_t us) {
  int64_t since_epoch;
  if (__builtin_sub_overflow(us, Time::kTimeTToMicrosecondsOffset,
                             &since_epoch)) {
    return static_cast<double>(us) -
           static_cast<double>(Time::kTimeTToMicrosecondsOffset);
  }
  return static_cast<double>(since_epoch);
}

int64_t IntegerMicrosecondsSinceUnixEpoch(int64_t us) {
  int64_t since_epoch;
  if (__builtin_sub_overflow(us, Time::kTimeTToMicrosecondsOffset,
                             &since_epoch)) {
    return kInt64Min;
  }
  return since_epoch;
}

}  // namespace

// TimeDelta ------------------------------------------------------------------

TimeDelta TimeDelta::FromDays(int64_t days) {
  return TimeDelta(days * Time::kMicrosecondsPerDay);
}

TimeDelta TimeDelta::FromHours(int64_t hours) {
  return TimeDelta(hours * Time::kMicrosecondsPerHour);
}

TimeDelta TimeDelta::FromMinutes(int64_t minutes) {
  return TimeDelta(minutes * Time::kMicrosecondsPerMinute);
}

TimeDelta TimeDelta::FromSeconds(int64_t secs) {
  return TimeDelta(secs * Time::kMicrosecondsPerSecond);
}

TimeDelta TimeDelta::FromMilliseconds(int64_t ms) {
  return TimeDelta(ms * Time::kMicrosecondsPerMillisecond);
}

TimeDelta TimeDelta::FromMicroseconds(int64_t us) { return TimeDelta(us); }

int TimeDelta::InDays() const {
  return static_cast<int>(delta_ / Time::kMicrosecondsPerDay);
}

int TimeDelta::InHours() const {
  return static_cast<int>(delta_ / Time::kMicrosecondsPerHour);
}

int TimeDelta::InMinutes() const {
  return static_cast<int>(delta_ / Time::kMicrosecondsPerMinute);
}

double TimeDelta::InSecondsF() const {
  return static_cast<double>(delta_) / Time::kMicrosecondsPerSecond;
}

int64_t TimeDelta::InSeconds() const {
  return delta_ / Time::kMicrosecondsPerSecond;
}

double TimeDelta::InMillisecondsF() const {
  return static_cast<double>(delta_) / Time::kMicrosecondsPerMillisecond;
}

int64_t TimeDelta::InMilliseconds() const {
  return delta_ / Time::kMicrosecondsPerMillisecond;
}

int64_t TimeDelta::InMillisecondsRoundedUp() const {
  // Division truncates toward zero, which is already the ceiling for
  // negative spans; only positive ones need the remainder carried.
  const int64_t whole = delta_ / Time::kMicrosecondsPerMillisecond;
  const int64_t rest = delta_ % Time::kMicrosecondsPerMillisecond;
  return rest > 0 ? whole + 1 : whole;
}

// Time -----------------------------------------------------------------------

bool Time::is_max() const { return us_ == kInt64Max; }

// static
Time Time::UnixEpoch() { return Time(kTimeTToMicrosecondsOffset); }

// static
Time Time::Max() { return Time(kInt64Max); }

// static
Time Time::FromTimeT(time_t tt) {
  if (tt == 0)
    return Time();
  if (tt == std::numeric_limits<time_t>::max())
    return Max();
  int64_t us;
  if (__builtin_mul_overflow(static_cast<int64_t>(tt), kMicrosecondsPerSecond,
                             &us) ||
      __builtin_add_overflow(us, kTimeTToMicrosecondsOffset, &us)) {
    return tt > 0 ? Max() : Time(kInt64Min);
  }
  return Time(us);
}

time_t Time::ToTimeT() const {
  if (is_null())
    return 0;
  if (is_max() || us_ >= kInt64Max - kTimeTToMicrosecondsOffset)
    return std::numeric_limits<time_t>::max();
  // Below the representable range the quotient still fits: divide first.
  if (us_ < kInt64Min + kTimeTToMicrosecondsOffset) {
    return (us_ / kMicrosecondsPerSecond) -
           (kTimeTToMicrosecondsOffset / kMicrosecondsPerSecond);
  }
  return (us_ - kTimeTToMicrosecondsOffset) / kMicrosecondsPerSecond;
}

// static
Time Time::FromDoubleT(double dt) {
  if (dt == 0 || isnan(dt))
    return Time();
  if (dt == DBL_MAX)
    return Max();
  return Time(SaturatedDoubleToInt64(
      dt * static_cast<double>(kMicrosecondsPerSecond) +
      static_cast<double>(kTimeTToMicrosecondsOffset)));
}

double Time::ToDoubleT() const {
  if (is_null())
    return 0;
  if (is_max())
    return DBL_MAX;
  return MicrosecondsSinceUnixEpoch(us_) /
         static_cast<double>(kMicrosecondsPerSecond);
}

// static
Time Time::FromDoubleMs(double ms) {
  if (isnan(ms))
    return Time();
  if (ms == DBL_MAX)
    return Max();
  return Time(SaturatedDoubleToInt64(
      static_cast<double>(kTimeTToMicrosecondsOffset) +
      ms * static_cast<double>(kMicrosecondsPerMillisecond)));
}

double Time::ToDoubleMs() const {
  if (is_null())
    return 0;
  if (is_max())
    return DBL_MAX;
  return MicrosecondsSinceUnixEpoch(us_) /
         static_cast<double>(kMicrosecondsPerMillisecond);
}

int64_t Time::ToUnixEpochMs() const {
  if (is_null())
    return 0;
  if (is_max())
    return kInt64Max;
  if (us_ < kInt64Min + kTimeTToMicrosecondsOffset) {
    return us_ / kMicrosecondsPerMillisecond -
           kTimeTToMicrosecondsOffset / kMicrosecondsPerMillisecond;
  }
  return IntegerMicrosecondsSinceUnixEpoch(us_) / kMicrosecondsPerMillisecond;
}

// static
bool Time::FromString(const char* time_string, bool is_local,
                      Time* parsed_time) {
  if (!time_string || !parsed_time || time_string[0] == '\0')
    return false;
  PRTime result_time = 0;
  const PRStatus status =
      PR_ParseTimeString(time_string, is_local ? PR_FALSE : PR_TRUE,
                         &result_time);
  if (status != PR_SUCCESS)
    return false;
  *parsed_time = Time(SaturatedAdd(result_time, kTimeTToMicrosecondsOffset));
  return true;
}

Time Time::LocalMidnight() const {
  Exploded exploded;
  LocalExplode(&exploded);
  exploded.hour = 0;
  exploded.minute = 0;
  exploded.second = 0;
  exploded.millisecond = 0;
  return FromLocalExploded(exploded);
}

bool Time::Exploded::HasValidValues() const {
  return month >= 1 && month <= 12 && day_of_week >= 0 && day_of_week <= 6 &&
         day_of_month >= 1 && day_of_month <= 31 && hour >= 0 && hour <= 23 &&
         minute >= 0 && minute <= 59 && second >= 0 && second <= 60 &&
         millisecond >= 0 && millisecond <= 999;
}

}  // namespace base
