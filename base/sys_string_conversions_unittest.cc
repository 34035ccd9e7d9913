#include "base/sys_string_conversions.h"

#include <windows.h>

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(SysStringConversionsTest, UTF8) {
  EXPECT_EQ(L"", SysUTF8ToWide(""));
  EXPECT_EQ("", SysWideToUTF8(L""));
  EXPECT_EQ(L"Gr\x00FC\x00DF\xD83D\xDE00", SysUTF8ToWide("Gr\xC3\xBC\xC3\x9F\xF0\x9F\x98\x80"));
  EXPECT_EQ("Gr\xC3\xBC\xC3\x9F\xF0\x9F\x98\x80", SysWideToUTF8(L"Gr\x00FC\x00DF\xD83D\xDE00"));
  // Embedded NULs are converted like any character.
  EXPECT_EQ(std::wstring(L"a\0b", 3), SysUTF8ToWide(StringPiece("a\0b", 3)));
}

TEST(SysStringConversionsTest, NativeCodePage) {
  // Whatever the ANSI code page is, ASCII survives a round trip, and a
  // character it can encode comes back unchanged.
  EXPECT_EQ(L"path\\file.txt", SysNativeMBToWide("path\\file.txt"));
  EXPECT_EQ("path\\file.txt", SysWideToNativeMB(L"path\\file.txt"));
  const std::wstring e_acute(L"\x00E9");
  const std::string native = SysWideToNativeMB(e_acute);
  ASSERT_FALSE(native.empty());
  if (GetACP() == 1252) {
    EXPECT_EQ("\xE9", native);
  }
  EXPECT_EQ(e_acute, SysNativeMBToWide(native));
}

TEST(SysStringConversionsTest, RefusedTextGivesEmpty) {
  // An unknown code page makes the system refuse the text.
  EXPECT_EQ(L"", SysMultiByteToWide("abc", 12345));
  EXPECT_EQ("", SysWideToMultiByte(L"abc", 12345));
  // A length that does not fit the system's signed count is refused.
  EXPECT_EQ(L"", SysUTF8ToWide(StringPiece("abc", (static_cast<size_t>(1) << 32) + 3)));
}

}  // namespace
}  // namespace base
