#include "upload/http_upload.h"

#include "gtest/gtest.h"

namespace http_upload {
namespace {

TEST(HttpUploadTest, DecimalLengthsAreParsedWithoutOverflow) {
  struct Case {
    const wchar_t* text;
    bool ok;
    unsigned long long value;
  } cases[] = {
      {L"0", true, 0},
      {L"4194304", true, 4194304},
      {L"18446744073709551615", true, 18446744073709551615ull},
      {L"18446744073709551616", false, 0},
      {L"99999999999999999999999", false, 0},
      {L"", false, 0},
      {L"-1", false, 0},
      {L" 12", false, 0},
      {L"12a", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned long long value = 7;
    EXPECT_EQ(c.ok, ParseDecimal(c.text, &value));
    EXPECT_EQ(c.ok ? c.value : 7ull, value);
  }
}

TEST(HttpUploadTest, UnsupportedUrlsFailWithStatusZero) {
  for (const wchar_t* url :
       {L"ftp://127.0.0.1:9/x", L"not a url", L"file:///C:/x"}) {
    SCOPED_TRACE(url);
    int status = -1;
    std::wstring response = L"stale";
    EXPECT_FALSE(SendRequest(url, {}, {}, {}, nullptr, &response, &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ(L"stale", response);
  }
}

}  // namespace
}  // namespace http_upload
