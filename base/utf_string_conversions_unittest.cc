#include "base/utf_string_conversions.h"

#include <cstdint>
#include <string>

#include "base/string_util.h"
#include "base/test_data/strings/fixture_lines.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string BytesFromHex(const std::string& hex) {
  std::string bytes;
  if (hex == "-") return bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

string16 UnitsFromHex(const std::string& hex) {
  string16 units;
  if (hex == "-") return units;
  for (size_t i = 0; i + 3 < hex.size(); i += 4)
    units.push_back(static_cast<char16>(std::stoi(hex.substr(i, 4), nullptr, 16)));
  return units;
}

// Valid text, both directions, against Python's codecs.
TEST(UTFStringConversionsTest, RoundTripsMatchPythonCodecs) {
  const auto rows = test::ReadFixture(L"utf_round_trips.txt");
  ASSERT_GT(rows.size(), 400u);
  for (const auto& row : rows) {
    ASSERT_EQ(2u, row.size());
    const std::string utf8 = BytesFromHex(row[0]);
    const string16 utf16 = UnitsFromHex(row[1]);
    string16 wide;
    EXPECT_TRUE(UTF8ToUTF16(utf8.data(), utf8.size(), &wide)) << row[0];
    EXPECT_EQ(utf16, wide) << row[0];
    std::string narrow;
    EXPECT_TRUE(UTF16ToUTF8(utf16.data(), utf16.size(), &narrow)) << row[1];
    EXPECT_EQ(utf8, narrow) << row[1];
    EXPECT_EQ(utf16, UTF8ToWide(utf8));
    EXPECT_EQ(utf8, WideToUTF8(utf16));
  }
}

TEST(UTFStringConversionsTest, InvalidUTF8IsReplaced) {
  const struct {
    std::string input;
    string16 output;
  } kCases[] = {
      {"\xC3\x28", L"\xFFFD("},
      {"\xE2\x82", L"\xFFFD"},
      {"\xED\xA0\x80", L"\xFFFD"},
      {"\xC0\x80", L"\xFFFD"},
      {"\xE0\x80\xAF", L"\xFFFD"},
      {"\xF4\x90\x80\x80", L"\xFFFD"},
      {"\xF8\x88\x80\x80\x80", L"\xFFFD"},
      {"\xFC\x84\x80\x80\x80\x80", L"\xFFFD"},
      {"\x80", L"\xFFFD"},
      {"\x80\xBF", L"\xFFFD\xFFFD"},
      {"\xFE\xFF", L"\xFFFD\xFFFD"},
      {"a\xF0\x9F\x98", L"a\xFFFD"},
      {"\xF0\x9F\x98" "a", L"\xFFFD" L"a"},
      {"\xE2\x28\xA1", L"\xFFFD(\xFFFD"},
  };
  for (const auto& c : kCases) {
    string16 output;
    EXPECT_FALSE(UTF8ToUTF16(c.input.data(), c.input.size(), &output));
    EXPECT_EQ(c.output, output);
  }
}

TEST(UTFStringConversionsTest, InvalidUTF16IsReplaced) {
  const struct {
    string16 input;
    std::string output;
  } kCases[] = {
      {string16(1, static_cast<char16>(0xD83D)), "\xEF\xBF\xBD"},
      {string16(1, static_cast<char16>(0xDE00)), "\xEF\xBF\xBD"},
      {string16(L"\xD83D" L"a"), "\xEF\xBF\xBD" "a"},
      {string16(L"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : kCases) {
    std::string output;
    EXPECT_FALSE(UTF16ToUTF8(c.input.data(), c.input.size(), &output));
    EXPECT_EQ(c.output, output);
  }
  std::string emoji;
  EXPECT_TRUE(UTF16ToUTF8(L"\xD83D\xDE00", 2, &emoji));
  EXPECT_EQ("\xF0\x9F\x98\x80", emoji);
}

TEST(UTFStringConversionsTest, EmptyInput) {
  string16 wide = L"stale";
  EXPECT_TRUE(UTF8ToUTF16("", 0, &wide));
  EXPECT_TRUE(wide.empty());
  std::string narrow = "stale";
  EXPECT_TRUE(UTF16ToUTF8(L"", 0, &narrow));
  EXPECT_TRUE(narrow.empty());
}

// A length that does not fit a signed 32-bit count is refused, not cut down
// to its low bits (which would read "abc" here).
TEST(UTFStringConversionsTest, RefusesLengthsAboveIntMax) {
  const size_t kWrapsToThree = (static_cast<size_t>(1) << 32) + 3;
  string16 wide = L"stale";
  EXPECT_FALSE(UTF8ToUTF16("abc", kWrapsToThree, &wide));
  EXPECT_TRUE(wide.empty());
  std::string narrow = "stale";
  EXPECT_FALSE(UTF16ToUTF8(L"abc", kWrapsToThree, &narrow));
  EXPECT_TRUE(narrow.empty());
  EXPECT_TRUE(UTF8ToWide(StringPiece("abc", kWrapsToThree)).empty());
}

TEST(UTFStringConversionsTest, ASCIIConversions) {
  // Bytes are widened by value, never sign-extended.
  EXPECT_EQ(string16(L"a\x0080\x00FF"), ASCIIToWide("a\x80\xFF"));
  EXPECT_EQ(string16(L"abc"), ASCIIToUTF16("abc"));
  EXPECT_EQ(string16(1, L'\0'), ASCIIToUTF16(StringPiece("\0", 1)));
  EXPECT_EQ("abc", UTF16ToASCII(L"abc"));
  EXPECT_EQ("A", WideToASCII(L"\x0141"));  // Low byte only, unchecked.
}

TEST(UTFStringConversionsTest, WideAndUTF16AreCopies) {
  const string16 text = L"x\xD800y";
  EXPECT_EQ(text, UTF16ToWide(text));
  EXPECT_EQ(text, WideToUTF16(text));
  string16 out;
  EXPECT_TRUE(WideToUTF16(text.data(), text.size(), &out));
  EXPECT_EQ(text, out);
}

TEST(UTFStringConversionsTest, IsStringUTF8) {
  EXPECT_TRUE(IsStringUTF8(""));
  EXPECT_TRUE(IsStringUTF8("abc\xC3\xA9\xF0\x9F\x98\x80"));
  EXPECT_TRUE(IsStringUTF8("\xEF\xBF\xBD"));
  EXPECT_FALSE(IsStringUTF8("\xC3\x28"));
  EXPECT_FALSE(IsStringUTF8("\xED\xA0\x80"));       // Surrogate.
  EXPECT_FALSE(IsStringUTF8("\xEF\xB7\x90"));       // U+FDD0.
  EXPECT_FALSE(IsStringUTF8("\xEF\xBF\xBE"));       // U+FFFE.
  EXPECT_FALSE(IsStringUTF8("\xF0\x9F\xBF\xBF"));   // U+1FFFF.
  EXPECT_FALSE(IsStringUTF8("\xF4\x90\x80\x80"));   // Beyond U+10FFFF.
}

}  // namespace
}  // namespace base
