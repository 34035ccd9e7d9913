#include "base/stringprintf.h"

#include <cstdio>
#include <cwchar>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringPrintfTest, Formats) {
  EXPECT_EQ("", StringPrintf("%s", ""));
  EXPECT_EQ("1 two 3.50 x", StringPrintf("%d %s %.2f %c", 1, "two", 3.5, 'x'));
  EXPECT_EQ("-9223372036854775808 ff",
            StringPrintf("%lld %x", -9223372036854775807LL - 1, 255u));
  EXPECT_EQ(L"7 wide narrow", StringPrintf(L"%d %ls %hs", 7, L"wide", "narrow"));

  std::string dst = "old";
  EXPECT_EQ("new 1", SStringPrintf(&dst, "new %d", 1));
  EXPECT_EQ("new 1", dst);
  std::wstring wdst = L"old";
  SStringPrintf(&wdst, L"%ls", L"w");
  EXPECT_EQ(L"w", wdst);

  StringAppendF(&dst, "+%s", "more");
  EXPECT_EQ("new 1+more", dst);
  StringAppendF(&wdst, L"+%d", 2);
  EXPECT_EQ(L"w+2", wdst);
}

// Lengths around the 1024-character stack buffer; the heap pass must read
// the arguments afresh.
TEST(StringPrintfTest, LongResultsComeOutWhole) {
  for (size_t length : {1022u, 1023u, 1024u, 1025u, 5000u, 100000u}) {
    const std::string filler(length - 2, 'x');
    const std::string result = StringPrintf("<%s>", filler.c_str());
    EXPECT_EQ(length, result.size());
    EXPECT_EQ("<" + filler + ">", result);
    const std::wstring wide_filler(length - 2, L'y');
    const std::wstring wide = StringPrintf(L"<%ls>", wide_filler.c_str());
    EXPECT_EQ(L"<" + wide_filler + L">", wide);
  }
  const std::string big(3000, 'q');
  EXPECT_EQ(big + "|7|" + big, StringPrintf("%s|%d|%s", big.c_str(), 7, big.c_str()));
}

TEST(StringPrintfTest, OverlongResultLeavesDestinationUnchanged) {
  const size_t kLimit = 32 * 1024 * 1024;
  std::string dst = "keep";
  const std::string too_long(kLimit, 'x');
  StringAppendF(&dst, "%s", too_long.c_str());
  EXPECT_EQ("keep", dst);
  // With its terminator the largest result fits the limit exactly.
  const std::string longest(kLimit - 1, 'y');
  StringAppendF(&dst, "%s", longest.c_str());
  EXPECT_EQ(4u + kLimit - 1, dst.size());

  std::wstring wide = L"keep";
  const std::wstring wide_too_long(kLimit, L'x');
  StringAppendF(&wide, L"%ls", wide_too_long.c_str());
  EXPECT_EQ(L"keep", wide);
}

// An engine that answers a cut-short text with -1 instead of the needed
// length, as some runtimes do; the counting pass (no buffer) still measures.
int NegativeOnTruncation(char* buffer, size_t size, const char* format,
                         va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (buffer && static_cast<size_t>(needed) >= size) return -1;
  return std::vsnprintf(buffer, size, format, ap);
}

int NeverFits(char*, size_t, const char*, va_list) { return -1; }

int WideNegativeOnTruncation(wchar_t* buffer, size_t size,
                             const wchar_t* format, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  const int needed = std::vswprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (buffer && static_cast<size_t>(needed) >= size) return -1;
  return std::vswprintf(buffer, size, format, ap);
}

void AppendWith(internal::NarrowFormatEngine engine, std::string* dst,
                const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  internal::StringAppendVWithEngine(engine, dst, format, ap);
  va_end(ap);
}

void AppendWith(internal::WideFormatEngine engine, std::wstring* dst,
                const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  internal::StringAppendVWithEngine(engine, dst, format, ap);
  va_end(ap);
}

TEST(StringPrintfTest, BothEngineConventionsForCutShortText) {
  const std::string long_text(2000, 'z');
  std::string dst = "a";
  AppendWith(&NegativeOnTruncation, &dst, "%s-%d", long_text.c_str(), 5);
  EXPECT_EQ("a" + long_text + "-5", dst);

  std::string failing = "b";
  AppendWith(&NeverFits, &failing, "%d", 1);
  EXPECT_EQ("b", failing);  // Failure appends nothing.

  const std::wstring wide_text(1500, L'w');
  std::wstring wide = L"c";
  AppendWith(&WideNegativeOnTruncation, &wide, L"%ls%d", wide_text.c_str(), 9);
  EXPECT_EQ(L"c" + wide_text + L"9", wide);
}

}  // namespace
}  // namespace base
