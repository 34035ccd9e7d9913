#include "upload/jov_upload/url_escape.h"

#include <string>

#include "gtest/gtest.h"
#include "upload/jov_upload/format_string.h"

namespace jov_upload {
namespace {

TEST(UrlEscapeTest, EscapesAllButUnreservedBytes) {
  EXPECT_EQ("a%20b%2Fc", UrlEscape("a b/c"));
  EXPECT_EQ("AZaz09-_.!~*'()", UrlEscape("AZaz09-_.!~*'()"));
  std::string high;
  std::string escaped;
  for (int c = 128; c < 256; ++c) {
    high.push_back(static_cast<char>(c));
    escaped += FormatString("%%%02X", c);
  }
  EXPECT_EQ(escaped, UrlEscape(high));
  EXPECT_EQ("%25%26%3D%3F%23%2B%0D%0A", UrlEscape("%&=?#+\r\n"));
}

TEST(UrlEscapeTest, PlusAndReservedOnlyForms) {
  EXPECT_EQ("a+b%2Fc", UrlEscapePlus("a b/c"));
  EXPECT_EQ("a%20b/c?x=1%7B%5C%22%5E%26%60%3C%3E%5B%5D%7D%C3%A9%09",
            UrlEscapeReserved("a b/c?x=1{\\\"^&`<>[]}\xC3\xA9\t"));
  // DEL is above 32: kept by the reserved-only form.
  EXPECT_EQ("\x7F", UrlEscapeReserved("\x7F"));
}

TEST(UrlEscapeTest, BufferFormsStopWhereTheNextByteWouldNotFit) {
  char out[8];
  EXPECT_EQ(0u, UrlEscapeToBuffer("abc", out, 0));
  EXPECT_EQ(5u, UrlEscapeToBuffer("ab/cd", out, 6));
  EXPECT_STREQ("ab%2F", out);
  EXPECT_EQ(2u, UrlEscapeToBuffer("ab/cd", out, 5));
  EXPECT_STREQ("ab", out);
  EXPECT_EQ(7u, UrlEscapeToBuffer("abcdefghij", out, sizeof(out)));
  EXPECT_STREQ("abcdefg", out);
}

TEST(UrlEscapeTest, Unescape) {
  EXPECT_EQ("?4g", UrlUnescape("%4g"));
  EXPECT_EQ("a b/+", UrlUnescape("a%20b%2f+"));
  EXPECT_EQ("a b/ ", UrlUnescapePlus("a%20b%2F+"));
  EXPECT_EQ("x?", UrlUnescape("x%"));
  EXPECT_EQ("x?1", UrlUnescape("x%1"));
  EXPECT_EQ(std::string("a\0b", 3), UrlUnescape("a%00b"));
  const std::string text = "Gr\xC3\xBC\xC3\x9F" "e & 100% / ?";
  EXPECT_EQ(text, UrlUnescape(UrlEscape(text)));
  EXPECT_EQ(text, UrlUnescapePlus(UrlEscapePlus(text)));
  char out[16];
  EXPECT_EQ(3u, UrlUnescapePlusToBuffer("a+b", out));
  EXPECT_STREQ("a b", out);
  EXPECT_EQ(3u, UrlUnescapeToBuffer("a+b", out));
  EXPECT_STREQ("a+b", out);
}

TEST(FormatStringTest, LongTextsAreKeptWhole) {
  EXPECT_EQ("code 7, msg:x", FormatString("code %d, msg:%s", 7, "x"));
  const std::string long_text(5000, 'y');
  EXPECT_EQ("<" + long_text + ">", FormatString("<%s>", long_text.c_str()));
}

}  // namespace
}  // namespace jov_upload
