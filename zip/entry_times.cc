#include "zip/entry_times.h"

namespace zip {
namespace {

const int64_t kFileTimeTicksPerSecond = 10000000;
// FILETIME ticks from 1601-01-01 to 1970-01-01.
const int64_t kUnixEpochTicks = 116444736000000000LL;
const int64_t kSecondsPerDay = 86400;
// 2038-01-01 00:00:00 UTC.
const int64_t kYear2038 = 2145916800;

const uint32_t kDos1980 = (1u << 5 | 1u) << 16;
const uint32_t kDosLatest = ((127u << 9 | 12u << 5 | 31u) << 16) |
                            (23u << 11 | 59u << 5 | 29u);

int64_t FileTimeTicks(const FILETIME& time) {
  return static_cast<int64_t>(
      (static_cast<uint64_t>(time.dwHighDateTime) << 32) |
      time.dwLowDateTime);
}

int64_t TimeOfDay(int64_t seconds) {
  const int64_t rest = seconds % kSecondsPerDay;
  return rest < 0 ? rest + kSecondsPerDay : rest;
}

}  // namespace

int64_t UnixSecondsFromFileTime(const FILETIME& utc) {
  // Floor division, so that times before 1970 keep their time of day.
  const int64_t ticks = FileTimeTicks(utc) - kUnixEpochTicks;
  int64_t seconds = ticks / kFileTimeTicksPerSecond;
  if (ticks % kFileTimeTicksPerSecond < 0) --seconds;
  if (seconds < 0) return TimeOfDay(seconds);
  if (seconds >= kYear2038) return kYear2038 - kSecondsPerDay + TimeOfDay(seconds);
  return seconds;
}

uint32_t DosTimestampFromFileTime(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&utc, &local) ||
      !FileTimeToSystemTime(&local, &parts)) {
    return kDos1980;
  }
  if (parts.wYear < 1980) return kDos1980;
  if (parts.wYear > 2107) return kDosLatest;
  const uint32_t date = static_cast<uint32_t>(parts.wYear - 1980) << 9 |
                        static_cast<uint32_t>(parts.wMonth) << 5 | parts.wDay;
  const uint32_t time = static_cast<uint32_t>(parts.wHour) << 11 |
                        static_cast<uint32_t>(parts.wMinute) << 5 |
                        parts.wSecond / 2u;
  return date << 16 | time;
}

EntryTimes TimesFromFileTimes(const FILETIME& created,
                              const FILETIME& accessed,
                              const FILETIME& written) {
  EntryTimes times;
  times.dos_timestamp = DosTimestampFromFileTime(written);
  times.modified = UnixSecondsFromFileTime(written);
  times.accessed = UnixSecondsFromFileTime(accessed);
  times.created = UnixSecondsFromFileTime(created);
  return times;
}

EntryTimes CurrentEntryTimes() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return TimesFromFileTimes(now, now, now);
}

}  // namespace zip
