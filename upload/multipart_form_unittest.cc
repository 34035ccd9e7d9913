#include "upload/multipart_form.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace http_upload {
namespace {

class MultipartFormTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.valid());
    folder_ = temp_.path();
  }

  std::wstring MakeFile(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = folder_ + L"\\" + name;
    FILE* file = _wfopen(path.c_str(), L"wb");
    EXPECT_NE(nullptr, file);
    if (file) {
      std::fwrite(bytes.data(), 1, bytes.size(), file);
      std::fclose(file);
    }
    return path;
  }

  ScopedTempFolder temp_{L"multipart_form"};
  std::wstring folder_;
};

TEST_F(MultipartFormTest, FieldNamesMustQuoteSafely) {
  struct Case {
    std::wstring name;
    bool valid;
  } cases[] = {
      {L"crashInfo", true},  {L" ~!#$%&'()*+,-./09:;<=>?@AZ[\\]^_`az{|}", true},
      {L"", false},          {L"a\"b", false},
      {L"a\x7f", false},     {L"a\x1f", false},
      {L"a\r\nb", false},    {L"gr\xfc\xdf", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name.size() << " units");
    EXPECT_EQ(c.valid, CheckParameters({{L"ok", L"1"}, {c.name, L"v"}}));
  }
  EXPECT_TRUE(CheckParameters({}));
}

TEST_F(MultipartFormTest, HeadersCannotBreakTheRequestHead) {
  struct Case {
    std::wstring name;
    std::wstring value;
    bool valid;
  } cases[] = {
      {L"Cookie", L"uid=1; token=a/b+c==", true},
      {L"Cookie", L"", true},
      {L"Cookie", L"uid=1\r\nX-Injected: 1", false},
      {L"Cookie", L"uid=1\n", false},
      {L"Cookie", std::wstring(L"a\0b", 3), false},
      {L"", L"1", false},
      {L"X Y", L"1", false},
      {L"X:Y", L"1", false},
      {L"X\x7f", L"1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name.size() << "/" << c.value.size());
    EXPECT_EQ(c.valid, CheckHeaders({{c.name, c.value}}));
  }
}

TEST_F(MultipartFormTest, BoundaryIsDashesAndSixteenHexDigits) {
  const std::wstring first = GenerateMultipartBoundary();
  ASSERT_EQ(43u, first.size());
  EXPECT_EQ(std::wstring(27, L'-'), first.substr(0, 27));
  for (wchar_t c : first.substr(27))
    EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F')) << c;
  EXPECT_EQ(L"Content-Type: multipart/form-data; boundary=" + first,
            GenerateRequestHeader(first));
}

// The boundary comes from rand(), so the next one can be known, and a file
// may hold it: the body is then built with one that no content holds.
TEST_F(MultipartFormTest, BoundaryHeldByAFileIsNotUsed) {
  std::srand(20261210);
  const std::wstring next = GenerateMultipartBoundary();
  const std::string next_utf8(next.begin(), next.end());
  const std::string contents = "PK\r\n--" + next_utf8 + "--\r\n";
  const std::wstring file = MakeFile(L"holds.bin", contents);
  std::srand(20261210);
  std::wstring boundary;
  std::string body;
  ASSERT_TRUE(GenerateBoundaryAndBody({{L"ver", L"1.0"}}, {{L"f", file}},
                                      &boundary, &body));
  EXPECT_NE(next, boundary);
  const std::string used(boundary.begin(), boundary.end());
  std::string expected;
  ASSERT_TRUE(GenerateRequestBody({{L"ver", L"1.0"}}, {{L"f", file}}, boundary,
                                  &expected));
  EXPECT_EQ(expected, body);
  EXPECT_NE(std::string::npos, body.find(contents));
  // Its own delimiters only: one per part and the closing one.
  size_t found = 0;
  for (size_t at = body.find(used); at != std::string::npos;
       at = body.find(used, at + 1)) {
    ++found;
  }
  EXPECT_EQ(3u, found);
}

TEST_F(MultipartFormTest, BodyPutsParametersBeforeFilesInMapOrder) {
  const std::wstring zip = MakeFile(L"BI.zip", std::string("PK\0\x01", 4));
  const std::wstring empty = MakeFile(L"empty.bin", "");
  std::string body;
  ASSERT_TRUE(GenerateRequestBody(
      {{L"ver", L"1.0"}, {L"note", L"Gr\xfc\xdf" L"e"}},
      {{L"crashInfo", zip}, {L"blank", empty}}, L"--B", &body));
  const std::string expected =
      "----B\r\n"
      "Content-Disposition: form-data; name=\"note\"\r\n\r\n"
      "Gr\xc3\xbc\xc3\x9f" "e\r\n"
      "----B\r\n"
      "Content-Disposition: form-data; name=\"ver\"\r\n\r\n"
      "1.0\r\n"
      "----B\r\n"
      "Content-Disposition: form-data; name=\"blank\"; filename=\"empty.bin\""
      "\r\n"
      "Content-Type: application/octet-stream\r\n"
      "\r\n"
      "\r\n"
      "----B\r\n"
      "Content-Disposition: form-data; name=\"crashInfo\"; filename=\"BI.zip\""
      "\r\n"
      "Content-Type: application/octet-stream\r\n"
      "\r\n" +
      std::string("PK\0\x01", 4) +
      "\r\n"
      "----B--\r\n";
  EXPECT_EQ(expected, body);
}

TEST_F(MultipartFormTest, BodyFailsForPartsItCannotWrite) {
  const std::wstring zip = MakeFile(L"r.zip", "PK");
  struct Case {
    const char* what;
    StringMap parameters;
    StringMap files;
    std::wstring boundary;
  } cases[] = {
      {"empty boundary", {}, {{L"crashInfo", zip}}, L""},
      {"path without separator", {}, {{L"crashInfo", L"r.zip"}}, L"B"},
      {"path ending in a separator", {}, {{L"crashInfo", folder_ + L"\\"}},
       L"B"},
      {"missing file", {}, {{L"crashInfo", zip + L".gone"}}, L"B"},
      {"folder as file", {}, {{L"crashInfo", folder_}}, L"B"},
      {"file field with quote", {}, {{L"crash\"Info", zip}}, L"B"},
      {"parameter name with line break", {{L"a\r\n", L"1"}}, {}, L"B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string body = "untouched";
    EXPECT_FALSE(GenerateRequestBody(c.parameters, c.files, c.boundary, &body));
    EXPECT_EQ("untouched", body);
  }
}

TEST_F(MultipartFormTest, FileNameIsTakenAfterTheLastSeparator) {
  EXPECT_EQ(L"b.zip", FileNameOfPath(L"C:\\a\\b.zip"));
  EXPECT_EQ(L"c", FileNameOfPath(L"x/y\\c"));
  EXPECT_EQ(L"x.zip", FileNameOfPath(L"dir/x.zip"));
  EXPECT_EQ(L"", FileNameOfPath(L"x.zip"));
}

TEST_F(MultipartFormTest, ReadsWholeFilesEvenWhileOthersHoldThemOpen) {
  std::string bytes;
  for (int i = 0; i < 300000; ++i)
    bytes.push_back(static_cast<char>(i * 7));
  const std::wstring path = MakeFile(L"big.bin", bytes);
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  std::string contents;
  EXPECT_TRUE(GetFileContents(path, &contents));
  CloseHandle(writer);
  EXPECT_EQ(bytes, contents);

  std::string empty = "stale";
  EXPECT_TRUE(GetFileContents(MakeFile(L"empty.bin", ""), &empty));
  EXPECT_EQ("", empty);

  std::string missing = "stale";
  EXPECT_FALSE(GetFileContents(path + L".gone", &missing));
  EXPECT_FALSE(GetFileContents(folder_, &missing));
  EXPECT_EQ("stale", missing);
}

}  // namespace
}  // namespace http_upload
