#include "base/string_number_conversions.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "base/test_data/strings/fixture_lines.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringNumberConversionsTest, IntegersToText) {
  EXPECT_EQ("0", IntToString(0));
  EXPECT_EQ("-2147483648", IntToString(INT_MIN));
  EXPECT_EQ("2147483647", IntToString(INT_MAX));
  EXPECT_EQ(L"-42", IntToString16(-42));
  EXPECT_EQ("4294967295", UintToString(UINT_MAX));
  EXPECT_EQ(L"4294967295", UintToString16(UINT_MAX));
  EXPECT_EQ("-9223372036854775808",
            Int64ToString(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ(L"9223372036854775807",
            Int64ToString16(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ("18446744073709551615", Uint64ToString(UINT64_MAX));
  EXPECT_EQ(L"18446744073709551615", Uint64ToString16(UINT64_MAX));
}

TEST(StringNumberConversionsTest, StringToInt) {
  const struct {
    const char* input;
    int output;
    bool success;
  } kCases[] = {
      {"42", 42, true},
      {"+42", 42, true},
      {"-42", -42, true},
      {" 42", 42, false},
      {"42 ", 42, false},
      {"\t\n42", 42, false},
      {"", 0, false},
      {"-", 0, false},
      {"+", 0, false},
      {"4x2", 4, false},
      {"x", 0, false},
      {"-2147483648", INT_MIN, true},
      {"2147483647", INT_MAX, true},
      {"2147483648", INT_MAX, false},
      {"-2147483649", INT_MIN, false},
      {"99999999999", INT_MAX, false},
      {"007", 7, true},
      {"0x10", 0, false},
      // Bytes from 0x80 up are no whitespace and no digit.
      {"\xA0" "5", 0, false},
      {"5\x85", 5, false},
  };
  for (const auto& c : kCases) {
    int output = 12345;
    EXPECT_EQ(c.success, StringToInt(c.input, &output)) << c.input;
    EXPECT_EQ(c.output, output) << c.input;
  }
  int output = 0;
  EXPECT_TRUE(StringToInt(string16(L"-123"), &output));
  EXPECT_EQ(-123, output);
  EXPECT_FALSE(StringToInt(string16(L"\x3000" L"1"), &output));
  // An embedded NUL ends nothing: it is a non-digit.
  EXPECT_FALSE(StringToInt(StringPiece("12\0" "3", 4), &output));
  EXPECT_EQ(12, output);
}

TEST(StringNumberConversionsTest, OtherWidthsAndUnsigned) {
  int64_t i64 = 0;
  EXPECT_TRUE(StringToInt64("-9223372036854775808", &i64));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), i64);
  EXPECT_FALSE(StringToInt64("9223372036854775808", &i64));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), i64);
  EXPECT_TRUE(StringToInt64(string16(L"123456789012"), &i64));
  EXPECT_EQ(123456789012, i64);

  unsigned u = 77;
  EXPECT_FALSE(StringToUint("-1", &u));
  EXPECT_EQ(77u, u);  // Left as it was.
  EXPECT_TRUE(StringToUint("4294967295", &u));
  EXPECT_EQ(UINT_MAX, u);
  EXPECT_FALSE(StringToUint("4294967296", &u));
  EXPECT_EQ(UINT_MAX, u);
  EXPECT_FALSE(StringToUint(string16(L"-0"), &u));

  uint64_t u64 = 0;
  EXPECT_TRUE(StringToUint64("18446744073709551615", &u64));
  EXPECT_EQ(UINT64_MAX, u64);
  EXPECT_FALSE(StringToUint64(string16(L"18446744073709551616"), &u64));
  EXPECT_EQ(UINT64_MAX, u64);
}

TEST(StringNumberConversionsTest, HexStringToInt) {
  const struct {
    const char* input;
    int output;
    bool success;
  } kCases[] = {
      {"0x7fffffff", INT_MAX, true},
      {"7FFFFFFF", INT_MAX, true},
      {"0x80000000", INT_MAX, false},
      {"-0x80000000", INT_MIN, true},
      {"-0x10", -16, true},
      {"0x", 0, false},
      {"0X1f", 31, true},
      {"abc", 0xabc, true},
      {"0xg", 0, false},
      {" 1", 1, false},
  };
  for (const auto& c : kCases) {
    int output = 12345;
    EXPECT_EQ(c.success, HexStringToInt(c.input, &output)) << c.input;
    EXPECT_EQ(c.output, output) << c.input;
  }
  int64_t i64 = 0;
  EXPECT_TRUE(HexStringToInt64("0x7fffffffffffffff", &i64));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), i64);
  uint64_t u64 = 0;
  EXPECT_TRUE(HexStringToUInt64("FFFFFFFFFFFFFFFF", &u64));
  EXPECT_EQ(UINT64_MAX, u64);
  EXPECT_FALSE(HexStringToUInt64("10000000000000000", &u64));
  EXPECT_EQ(UINT64_MAX, u64);
}

TEST(StringNumberConversionsTest, StringToDouble) {
  const struct {
    const char* input;
    double output;
    bool success;
  } kCases[] = {
      {"1.5", 1.5, true},
      {"-0.25e2", -25, true},
      {" 1.5", 1.5, false},
      {"1.5 ", 1.5, false},
      {"", 0, false},
      {"1e400", std::numeric_limits<double>::infinity(), false},
      {"1e-400", 0, false},
      {"4e-320", 4e-320, true},
      {"0x10", 0, false},
      {"abc", 0, false},
      {"Infinity", std::numeric_limits<double>::infinity(), true},
  };
  for (const auto& c : kCases) {
    double output = 99;
    errno = 0;
    EXPECT_EQ(c.success, StringToDouble(c.input, &output)) << c.input;
    EXPECT_EQ(c.output, output) << c.input;
  }
  double output = 0;
  EXPECT_FALSE(StringToDouble(std::string("1\0" "2", 3), &output));

  // errno is restored when the read left it alone, kept when it failed.
  errno = EINVAL;
  EXPECT_TRUE(StringToDouble("2", &output));
  EXPECT_EQ(EINVAL, errno);
  errno = EINVAL;
  EXPECT_FALSE(StringToDouble("1e999", &output));
  EXPECT_EQ(ERANGE, errno);
}

TEST(StringNumberConversionsTest, DoubleToStringReadsBack) {
  EXPECT_EQ(".30000000000000004", DoubleToString(0.1 + 0.2));
  EXPECT_EQ("1e+21", DoubleToString(1e21));
  EXPECT_EQ("-0", DoubleToString(-0.0));
  const auto rows = test::ReadFixture(L"double_shortest.txt");
  ASSERT_GT(rows.size(), 3000u);
  for (const auto& row : rows) {
    const uint64_t bits = test::ParseHex64(row[0]);
    double x;
    std::memcpy(&x, &bits, sizeof(x));
    const std::string text = DoubleToString(x);
    double back = 0;
    ASSERT_TRUE(StringToDouble(text, &back)) << text;
    uint64_t back_bits;
    std::memcpy(&back_bits, &back, sizeof(back));
    EXPECT_EQ(bits, back_bits) << text;
  }
}

TEST(StringNumberConversionsTest, HexEncodeAndDecode) {
  const uint8_t kBytes[] = {0x00, 0x01, 0x7F, 0x80, 0xAB, 0xFF};
  EXPECT_EQ("00017F80ABFF", HexEncode(kBytes, sizeof(kBytes)));
  EXPECT_EQ("", HexEncode(kBytes, 0));

  std::vector<uint8_t> bytes;
  EXPECT_TRUE(HexStringToBytes("00017f80AbFF", &bytes));
  EXPECT_EQ(std::vector<uint8_t>(kBytes, kBytes + sizeof(kBytes)), bytes);

  bytes.clear();
  EXPECT_FALSE(HexStringToBytes("", &bytes));
  EXPECT_FALSE(HexStringToBytes("123", &bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(HexStringToBytes("12zz34", &bytes));
  EXPECT_EQ(std::vector<uint8_t>({0x12}), bytes);  // Earlier pairs stay.
}

}  // namespace
}  // namespace base
