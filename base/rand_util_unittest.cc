#include "base/rand_util.h"

#include <limits.h>

#include <algorithm>
#include <set>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(RandUtilTest, RandIntStaysInItsRange) {
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(5, RandInt(5, 5));

  const struct {
    int min;
    int max;
  } ranges[] = {
      {0, 1},         {-3, 3},         {0, 32767},
      {INT_MAX - 1, INT_MAX},          {INT_MIN, INT_MIN + 1},
      {INT_MIN, INT_MAX},              {-1, INT_MAX},
  };
  for (const auto& r : ranges) {
    for (int i = 0; i < 200; ++i) {
      const int value = RandInt(r.min, r.max);
      EXPECT_GE(value, r.min);
      EXPECT_LE(value, r.max);
    }
  }
}

TEST(RandUtilTest, FullIntRangeReachesBothSigns) {
  // Range 2^32, computed in 64 bits: both halves of the int range come up.
  bool negative = false;
  bool positive = false;
  for (int i = 0; i < 200 && !(negative && positive); ++i) {
    const int value = RandInt(INT_MIN, INT_MAX);
    negative |= value < 0;
    positive |= value > 0;
  }
  EXPECT_TRUE(negative);
  EXPECT_TRUE(positive);
}

TEST(RandUtilTest, SmallRangesAreCovered) {
  std::set<int> seen;
  for (int i = 0; i < 2000 && seen.size() < 7; ++i)
    seen.insert(RandInt(-3, 3));
  EXPECT_EQ(7u, seen.size());
  std::set<uint64_t> generated;
  for (int i = 0; i < 2000 && generated.size() < 5; ++i)
    generated.insert(RandGenerator(5));
  EXPECT_EQ((std::set<uint64_t>{0, 1, 2, 3, 4}), generated);
  EXPECT_EQ(0u, RandGenerator(1));
}

TEST(RandUtilTest, RandDoubleIsBelowOne) {
  double smallest = 1.0;
  double largest = 0.0;
  for (int i = 0; i < 1000; ++i) {
    const double value = RandDouble();
    ASSERT_GE(value, 0.0);
    ASSERT_LT(value, 1.0);
    smallest = std::min(smallest, value);
    largest = std::max(largest, value);
  }
  EXPECT_LT(smallest, 0.1);
  EXPECT_GT(largest, 0.9);
}

TEST(RandUtilTest, RandBytes) {
  // 13 bytes: the tail of a second draw fills the last five.
  unsigned char buffer[16];
  memset(buffer, 0xAB, sizeof(buffer));
  RandBytes(buffer, 13);
  EXPECT_EQ(0xAB, buffer[13]);
  EXPECT_EQ(0xAB, buffer[14]);
  EXPECT_EQ(0xAB, buffer[15]);
  RandBytes(buffer, 0);  // draws nothing, writes nothing

  const std::string bytes = RandBytesAsString(1000);
  EXPECT_EQ(1000u, bytes.size());
  EXPECT_GT(std::set<char>(bytes.begin(), bytes.end()).size(), 200u);
  EXPECT_TRUE(RandBytesAsString(0).empty());
  EXPECT_NE(RandBytesAsString(32), RandBytesAsString(32));
  EXPECT_NE(RandUint64(), RandUint64());
}

TEST(RandUtilDeathTest, EmptyRangesAreChecks) {
  EXPECT_DEATH(RandGenerator(0), "Check failed");
  EXPECT_DEATH(RandInt(2, 1), "Check failed");
}

}  // namespace
}  // namespace base
