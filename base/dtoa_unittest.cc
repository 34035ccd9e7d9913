#include "base/dtoa.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "base/dtoa_pool.h"
#include "base/test_data/strings/fixture_lines.h"
#include "gtest/gtest.h"

namespace base {
namespace float_text {
namespace {

double FromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof(d));
  return d;
}

uint64_t ToBits(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof(d));
  return bits;
}

std::string Format(double x) {
  char buffer[32];
  return g_fmt(buffer, x);
}

struct DtoaResult {
  std::string digits;
  int decpt;
  int sign;
};

DtoaResult RunDtoa(double d, int mode, int ndigits) {
  DtoaResult result;
  char* end = nullptr;
  char* s = dtoa(d, mode, ndigits, &result.decpt, &result.sign, &end);
  result.digits.assign(s, end);
  EXPECT_EQ(std::strlen(s), result.digits.size());
  freedtoa(s);
  return result;
}

TEST(GFmtTest, WritesTheShortForms) {
  const struct {
    double input;
    const char* output;
  } kCases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {0.5, ".5"},
      {-0.001, "-.001"},
      {0.0001, ".0001"},
      {0.00001, "1e-05"},
      {100000, "100000"},
      {1000000, "1e+06"},
      {123456, "123456"},
      {1e21, "1e+21"},
      {1e100, "1e+100"},
      {1.5e300, "1.5e+300"},
      {0.1, ".1"},
      {0.1 + 0.2, ".30000000000000004"},
      {12345.678, "12345.678"},
      {5e-324, "5e-324"},
      {4e-320, "4e-320"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},
      {std::numeric_limits<double>::infinity(), "Infinity"},
      {-std::numeric_limits<double>::infinity(), "-Infinity"},
      {FromBits(0x7FF8000000000000ull), "NaN"},
      {FromBits(0xFFF8000000000000ull), "-NaN"},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.output, Format(c.input)) << c.output;
}

TEST(DtoaTest, EdgeValues) {
  DtoaResult zero = RunDtoa(-0.0, 0, 0);
  EXPECT_EQ("0", zero.digits);
  EXPECT_EQ(1, zero.decpt);
  EXPECT_EQ(1, zero.sign);

  DtoaResult inf = RunDtoa(std::numeric_limits<double>::infinity(), 0, 0);
  EXPECT_EQ("Infinity", inf.digits);
  EXPECT_EQ(9999, inf.decpt);

  DtoaResult nan = RunDtoa(FromBits(0xFFF8000000000000ull), 2, 5);
  EXPECT_EQ("NaN", nan.digits);
  EXPECT_EQ(9999, nan.decpt);
  EXPECT_EQ(1, nan.sign);
}

// Mode 0 takes a text lying exactly halfway to a neighbour when it reads
// back as the value (ties go to the even mantissa); mode 1 does not.
TEST(DtoaTest, ModeOneAvoidsHalfwayTexts) {
  DtoaResult mode0 = RunDtoa(1e23, 0, 0);
  EXPECT_EQ("1", mode0.digits);
  EXPECT_EQ(24, mode0.decpt);
  DtoaResult mode1 = RunDtoa(1e23, 1, 0);
  EXPECT_EQ("9999999999999999", mode1.digits);
  EXPECT_EQ(23, mode1.decpt);
  EXPECT_EQ(ToBits(1e23), ToBits(strtod("9999999999999999e7", nullptr)));
  // Away from halfway texts the two agree.
  EXPECT_EQ("1", RunDtoa(0.1, 1, 0).digits);
}

TEST(DtoaTest, RoundedModesEdges) {
  // Negative ndigits in mode 3 round to tens, hundreds, ...
  DtoaResult hundreds = RunDtoa(12345.0, 3, -2);
  EXPECT_EQ("123", hundreds.digits);
  EXPECT_EQ(5, hundreds.decpt);
  DtoaResult up = RunDtoa(960.0, 3, -3);  // 960 rounds up to 1000.
  EXPECT_EQ("1", up.digits);
  EXPECT_EQ(4, up.decpt);
  DtoaResult half = RunDtoa(500.0, 3, -3);  // Exactly half goes to zero.
  EXPECT_EQ("", half.digits);
  EXPECT_EQ(3, half.decpt);
  DtoaResult none = RunDtoa(0.001, 3, 2);
  EXPECT_EQ("", none.digits);
  EXPECT_EQ(-2, none.decpt);
  // Mode 4 gives the shortest digits when they are shorter.
  EXPECT_EQ("1", RunDtoa(0.1, 4, 20).digits);
  EXPECT_EQ("1000000000000000055511151231257827",
            RunDtoa(0.1, 2, 34).digits);
  EXPECT_EQ("12", RunDtoa(0.125, 3, 2).digits);  // Ties to even.
}

// Shortest digits compared with Python's repr, and g_fmt's text read back
// bit for bit.
TEST(DtoaTest, ShortestDigitsMatchPythonRepr) {
  const auto rows = test::ReadFixture(L"double_shortest.txt");
  ASSERT_GT(rows.size(), 3000u);
  for (const auto& row : rows) {
    ASSERT_EQ(4u, row.size());
    const double x = FromBits(test::ParseHex64(row[0]));
    const DtoaResult r = RunDtoa(x, 0, 0);
    EXPECT_EQ(row[2], r.digits) << row[1];
    EXPECT_EQ(std::stoi(row[3]), r.decpt) << row[1];
    EXPECT_EQ(std::signbit(x) ? 1 : 0, r.sign) << row[1];

    const std::string text = Format(x);
    char* end = nullptr;
    errno = 0;
    const double back = strtod(text.c_str(), &end);
    EXPECT_EQ(ToBits(x), ToBits(back)) << text;
    EXPECT_EQ(text.c_str() + text.size(), end) << text;
    EXPECT_EQ(0, errno) << text;
    EXPECT_EQ(ToBits(x), ToBits(strtod(row[1].c_str(), nullptr))) << row[1];
  }
}

TEST(DtoaTest, RoundedDigitsMatchPythonFormatting) {
  const auto rows = test::ReadFixture(L"double_rounded.txt");
  ASSERT_GT(rows.size(), 1000u);
  for (const auto& row : rows) {
    ASSERT_EQ(5u, row.size());
    const double x = FromBits(test::ParseHex64(row[0]));
    const int mode = std::stoi(row[1]);
    const int ndigits = std::stoi(row[2]);
    const DtoaResult r = RunDtoa(x, mode, ndigits);
    const std::string expected = row[3] == "-" ? "" : row[3];
    EXPECT_EQ(expected, r.digits) << row[0] << " mode " << mode << " " << ndigits;
    EXPECT_EQ(std::stoi(row[4]), r.decpt) << row[0] << " mode " << mode;
  }
}

TEST(StrtodTest, ReadsDecimalTextLikePythonFloat) {
  const auto rows = test::ReadFixture(L"decimal_to_double.txt");
  ASSERT_GT(rows.size(), 1000u);
  for (const auto& row : rows) {
    ASSERT_EQ(3u, row.size());
    const std::string& text = row[0];
    char* end = nullptr;
    errno = 0;
    const double value = strtod(text.c_str(), &end);
    EXPECT_EQ(test::ParseHex64(row[1]), ToBits(value)) << text;
    EXPECT_EQ(text.c_str() + text.size(), end) << text;
    EXPECT_EQ(row[2] == "1" ? ERANGE : 0, errno) << text;
  }
}

TEST(StrtodTest, SyntaxAndEndPointer) {
  const struct {
    const char* text;
    double value;
    size_t used;
  } kCases[] = {
      {"", 0, 0},
      {"-", 0, 0},
      {"+", 0, 0},
      {"  x", 0, 0},
      {".", 0, 0},
      {"e5", 0, 0},
      {" \t\n\v\f\r12", 12, 8},
      {"0x1A", 0, 1},  // No hexadecimal form.
      {"1e", 1, 1},
      {"1e+", 1, 1},
      {"2.5E-1x", 0.25, 6},
      {"-.5", -0.5, 3},
      {"1,5", 1, 1},
      {"Infinity", std::numeric_limits<double>::infinity(), 8},
      {"-INF", -std::numeric_limits<double>::infinity(), 4},
      {"infin", std::numeric_limits<double>::infinity(), 3},
      {"+iNfInItY!", std::numeric_limits<double>::infinity(), 9},
  };
  for (const auto& c : kCases) {
    char* end = nullptr;
    errno = 0;
    const double value = strtod(c.text, &end);
    EXPECT_EQ(ToBits(c.value), ToBits(value)) << '"' << c.text << '"';
    EXPECT_EQ(c.used, static_cast<size_t>(end - c.text)) << c.text;
    EXPECT_EQ(0, errno) << c.text;
  }
}

TEST(StrtodTest, NaNForms) {
  char* end = nullptr;
  const char* plain = "nan";
  EXPECT_EQ(0x7FF8000000000000ull, ToBits(strtod(plain, &end)));
  EXPECT_EQ(plain + 3, end);
  const char* negative = "-NaN";
  EXPECT_EQ(0xFFF8000000000000ull, ToBits(strtod(negative, &end)));
  EXPECT_EQ(negative + 4, end);
  const char* payload = "nan(0x0)";  // Not hexadecimal digits only.
  EXPECT_EQ(0x7FF8000000000000ull, ToBits(strtod(payload, &end)));
  EXPECT_EQ(payload + 3, end);
  const char* bits = "NaN(8000000000001)";
  EXPECT_EQ(0x7FF8000000000001ull, ToBits(strtod(bits, &end)));
  EXPECT_EQ(bits + 18, end);
  const char* unclosed = "nan(12";
  EXPECT_TRUE(std::isnan(strtod(unclosed, &end)));
  EXPECT_EQ(unclosed + 3, end);
}

TEST(StrtodTest, RangeErrors) {
  errno = 0;
  EXPECT_EQ(std::numeric_limits<double>::infinity(), strtod("1e400", nullptr));
  EXPECT_EQ(ERANGE, errno);
  errno = 0;
  EXPECT_EQ(-std::numeric_limits<double>::infinity(),
            strtod("-1e99999999999999999999", nullptr));
  EXPECT_EQ(ERANGE, errno);
  errno = 0;
  EXPECT_EQ(0x8000000000000000ull, ToBits(strtod("-1e-400", nullptr)));
  EXPECT_EQ(ERANGE, errno);
  // A subnormal result is no range error.
  errno = 0;
  EXPECT_EQ(0x0000000000001FA0ull, ToBits(strtod("4e-320", nullptr)));
  EXPECT_EQ(0, errno);
  // Zero written as zero is no underflow.
  errno = 0;
  EXPECT_EQ(0u, ToBits(strtod("0e-999", nullptr)));
  EXPECT_EQ(0, errno);
}

TEST(DtoaPoolTest, RecordsAreRecycledAndLargeOnesUseTheHeap) {
  PoolRecord* first = PoolAllocate(3);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(8, first->maxwds);
  PoolFree(first);
  PoolRecord* again = PoolAllocate(3);
  EXPECT_EQ(first, again);  // Reused from the free list.
  PoolFree(again);

  PoolRecord* large = PoolAllocate(10);
  ASSERT_NE(nullptr, large);
  EXPECT_FALSE(PoolOwnsRecord(large));
  large->x[(1 << 10) - 1] = 7;  // The whole capacity is usable.
  PoolFree(large);
}

TEST(DtoaPoolTest, ConcurrentConversionsAgree) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 2000; ++i) {
        const double x = (i + 1) * 1.37e-3 * (t + 1);
        char buffer[32];
        if (strtod(g_fmt(buffer, x), nullptr) != x) ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int f : failures) EXPECT_EQ(0, f);
}

}  // namespace
}  // namespace float_text
}  // namespace base
