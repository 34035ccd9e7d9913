#include "base/string_split.h"

#include "gtest/gtest.h"

namespace base {
namespace {

typedef std::vector<std::string> Pieces;
typedef std::vector<std::pair<std::string, std::string>> Pairs;

TEST(StringSplitTest, SplitString) {
  const struct {
    const char* input;
    Pieces pieces;
  } kCases[] = {
      {"", {}},
      {"   ", {}},
      {",x", {"", "x"}},
      {"a,", {"a", ""}},
      {",", {"", ""}},
      {"a, b ,c", {"a", "b", "c"}},
      {" a ,, b ", {"a", "", "b"}},
      {"\tone\t", {"one"}},
  };
  for (const auto& c : kCases) {
    Pieces pieces = {"stale"};
    SplitString(c.input, ',', &pieces);
    EXPECT_EQ(c.pieces, pieces) << '"' << c.input << '"';
  }
  std::vector<string16> wide;
  SplitString(L"\x3000" L"a\x3000|b|", L'|', &wide);
  EXPECT_EQ(std::vector<string16>({L"a", L"b", L""}), wide);
  SplitString(L" \x00A0 ", L'|', &wide);
  EXPECT_TRUE(wide.empty());
}

TEST(StringSplitTest, KeyValuePairs) {
  const struct {
    const char* line;
    Pairs pairs;
    bool success;
  } kCases[] = {
      {"a=1, b=2", {{"a", "1"}, {"b", "2"}}, true},
      {"a=1,b", {{"a", "1"}, {"", ""}}, false},
      {"a==1", {{"a", "1"}}, true},
      {"a=", {{"a", ""}}, false},
      {"", {}, true},
      {"a=1,,b=x=y", {{"a", "1"}, {"b", "x=y"}}, true},
      {"x,a=1", {{"", ""}, {"a", "1"}}, false},  // A failure does not stop.
  };
  for (const auto& c : kCases) {
    Pairs pairs = {{"stale", "stale"}};
    EXPECT_EQ(c.success, SplitStringIntoKeyValuePairs(c.line, '=', ',', &pairs))
        << c.line;
    EXPECT_EQ(c.pairs, pairs) << c.line;
  }
}

TEST(StringSplitTest, KeyValues) {
  std::string key = "stale";
  Pieces values = {"stale"};
  EXPECT_FALSE(SplitStringIntoKeyValues("novalue", ':', &key, &values));
  EXPECT_EQ("", key);
  EXPECT_TRUE(values.empty());
  EXPECT_FALSE(SplitStringIntoKeyValues("k:::", ':', &key, &values));
  EXPECT_EQ("k", key);
  EXPECT_TRUE(values.empty());
  EXPECT_TRUE(SplitStringIntoKeyValues("k::v:w", ':', &key, &values));
  EXPECT_EQ("k", key);
  EXPECT_EQ(Pieces({"v:w"}), values);
}

TEST(StringSplitTest, SplitStringUsingSubstr) {
  const struct {
    const char* input;
    const char* separator;
    Pieces pieces;
  } kCases[] = {
      {"", "::", {""}},
      {"a::b:: c ", "::", {"a", "b", "c"}},
      {"::", "::", {"", ""}},
      {"abc", "x", {"abc"}},
      {"aaa", "aa", {"", "a"}},
      // An empty separator gives one piece instead of looping.
      {" abc ", "", {"abc"}},
  };
  for (const auto& c : kCases) {
    Pieces pieces = {"stale"};
    SplitStringUsingSubstr(c.input, c.separator, &pieces);
    EXPECT_EQ(c.pieces, pieces) << c.input << " / " << c.separator;
  }
  std::vector<string16> wide;
  SplitStringUsingSubstr(string16(L"x<>y"), string16(L"<>"), &wide);
  EXPECT_EQ(std::vector<string16>({L"x", L"y"}), wide);
  SplitStringUsingSubstr(string16(L"xy"), string16(), &wide);
  EXPECT_EQ(std::vector<string16>({L"xy"}), wide);
}

TEST(StringSplitTest, SplitStringAlongWhitespace) {
  Pieces pieces = {"stale"};
  SplitStringAlongWhitespace(" a\tb\n\v\f\rc  ", &pieces);
  EXPECT_EQ(Pieces({"a", "b", "c"}), pieces);
  SplitStringAlongWhitespace("   ", &pieces);
  EXPECT_TRUE(pieces.empty());
  std::vector<string16> wide;
  SplitStringAlongWhitespace(string16(L"x\x3000y z"), &wide);
  EXPECT_EQ(std::vector<string16>({L"x\x3000y", L"z"}), wide);
}

}  // namespace
}  // namespace base
