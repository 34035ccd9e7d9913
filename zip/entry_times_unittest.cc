#include "zip/entry_times.h"

#include "gtest/gtest.h"

namespace {

FILETIME FromUnixSeconds(int64_t seconds) {
  const uint64_t ticks = static_cast<uint64_t>(
      seconds * 10000000LL + 116444736000000000LL);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

TEST(EntryTimesTest, UnixSecondsComeStraightFromUtc) {
  const struct {
    int64_t seconds;
    int64_t expected;
  } kCases[] = {
      // A summer time and a winter time: no daylight hour either way.
      {1626354245, 1626354245},  // 2021-07-15 13:04:05
      {1610712245, 1610712245},  // 2021-01-15 12:04:05
      {0, 0},
      // Before 1970: the time of day on 1970-01-01.
      {-86400 + 3723, 3723},
      // From 2038: the time of day on 2037-12-31.
      {2145916800LL + 86400LL * 400 + 61, 2145830400LL + 61},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.expected, zip::UnixSecondsFromFileTime(FromUnixSeconds(c.seconds)))
        << c.seconds;
  }
}

TEST(EntryTimesTest, DosTimeBefore1980IsItsFirstMinute) {
  // 1975-06-01 and 1601-01-01.
  EXPECT_EQ(0x00210000u, zip::DosTimestampFromFileTime(FromUnixSeconds(170899200)));
  EXPECT_EQ(0x00210000u, zip::DosTimestampFromFileTime(FILETIME{0, 0}));
  // Mid-1990, whatever the zone: the date half is 1990-06-xx.
  const uint32_t dos = zip::DosTimestampFromFileTime(FromUnixSeconds(644500800));
  EXPECT_EQ(10u, dos >> 25);
  EXPECT_EQ(6u, (dos >> 21) & 0xF);
}

}  // namespace
