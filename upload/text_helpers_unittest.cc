#include "upload/text_helpers.h"

#include <cctype>
#include <string>

#include "gtest/gtest.h"

namespace {

TEST(TextHelpersTest, Utf8RoundTrips) {
  struct Case {
    std::wstring wide;
    std::string utf8;
  } cases[] = {
      {L"", ""},
      {L"crashInfo", "crashInfo"},
      {L"Gr\xfc\xdf" L"e", "Gr\xc3\xbc\xc3\x9f" "e"},
      {L"\x65e5\x672c", "\xe6\x97\xa5\xe6\x9c\xac"},
      {L"\xd83d\xde00", "\xf0\x9f\x98\x80"},  // outside the BMP
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(c.utf8, WideToUtf8(c.wide));
    EXPECT_EQ(c.wide, Utf8ToWide(c.utf8));
  }
}

TEST(TextHelpersTest, ZerosAndBadBytes) {
  // The whole wide string is converted; narrow text ends at its first zero.
  EXPECT_EQ(std::string("a\0b", 3), WideToUtf8(std::wstring(L"a\0b", 3)));
  EXPECT_EQ(L"a", Utf8ToWide(std::string("a\0b", 3)));
  EXPECT_EQ(L"a\xfffd" L"b", Utf8ToWide("a\xff" "b"));
}

TEST(TextHelpersTest, OtherCodePages) {
  EXPECT_EQ("caf\xe9", WideToMultiByte(L"caf\xe9", 1252));
  EXPECT_EQ("", WideToMultiByte(L"", 1252));
}

TEST(TextHelpersTest, CurrentTimeHasTheIsoShape) {
  const std::string text = GetCurrentTimeString();
  ASSERT_EQ(19u, text.size()) << text;
  const std::string shape = "dddd-dd-ddTdd:dd:dd";
  for (size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd')
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text[i]))) << text;
    else
      EXPECT_EQ(shape[i], text[i]) << text;
  }
  EXPECT_GE(text.substr(0, 4), "2020");
}

}  // namespace
