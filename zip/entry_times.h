// The times an entry carries: the DOS timestamp of the local last-write
// time, and the "UT" field's Unix seconds taken straight from the UTC file
// times (no local-time round trip, which is an hour off in summer).

#ifndef ZIP_ENTRY_TIMES_H_
#define ZIP_ENTRY_TIMES_H_

#include <windows.h>
#include <stdint.h>

namespace zip {

struct EntryTimes {
  // Date in the high half, time in the low half.
  uint32_t dos_timestamp = 0;
  int64_t modified = 0;
  int64_t accessed = 0;
  int64_t created = 0;
};

// Seconds since 1970 of a UTC file time. Before 1970 the time of day on
// 1970-01-01 stands; from 2038 on, the time of day on 2037-12-31.
int64_t UnixSecondsFromFileTime(const FILETIME& utc);

// The DOS date and time of the local time of |utc|. Before 1980 it is
// 1980-01-01 00:00; after 2107, 2107-12-31 23:59:58.
uint32_t DosTimestampFromFileTime(const FILETIME& utc);

EntryTimes TimesFromFileTimes(const FILETIME& created,
                              const FILETIME& accessed,
                              const FILETIME& written);

// All four from the current time.
EntryTimes CurrentEntryTimes();

}  // namespace zip

#endif  // ZIP_ENTRY_TIMES_H_
