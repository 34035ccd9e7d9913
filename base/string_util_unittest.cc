#include "base/string_util.h"

#include <cstring>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringUtilTest, TrimWhitespace) {
  const struct {
    const wchar_t* input;
    TrimPositions positions;
    const wchar_t* output;
    TrimPositions result;
  } kCases[] = {
      {L" Google Video ", TRIM_LEADING, L"Google Video ", TRIM_LEADING},
      {L" Google Video ", TRIM_TRAILING, L" Google Video", TRIM_TRAILING},
      {L" Google Video ", TRIM_ALL, L"Google Video", TRIM_ALL},
      {L"Google Video", TRIM_ALL, L"Google Video", TRIM_NONE},
      {L"", TRIM_ALL, L"", TRIM_NONE},
      {L"  ", TRIM_LEADING, L"", TRIM_LEADING},
      {L"\t\r\n ", TRIM_TRAILING, L"", TRIM_TRAILING},
      {L"\x3000\x00A0x\x2028", TRIM_ALL, L"x", TRIM_ALL},
      {L"\x200Bx\x200B", TRIM_ALL, L"\x200Bx\x200B", TRIM_NONE},
      {L"\x0085" L"x\x205F", TRIM_ALL, L"x", TRIM_ALL},
  };
  for (const auto& c : kCases) {
    string16 output = L"stale";
    EXPECT_EQ(c.result, TrimWhitespace(c.input, c.positions, &output))
        << c.input;
    EXPECT_EQ(c.output, output) << c.input;
  }
  // The output may be the input itself.
  string16 in_place = L"  x  ";
  EXPECT_EQ(TRIM_ALL, TrimWhitespace(in_place, TRIM_ALL, &in_place));
  EXPECT_EQ(L"x", in_place);
}

TEST(StringUtilTest, TrimWhitespaceASCII) {
  std::string output;
  EXPECT_EQ(TRIM_ALL, TrimWhitespaceASCII(" \t\v\fa b\r\n", TRIM_ALL, &output));
  EXPECT_EQ("a b", output);
  // A no-break space byte and a NUL are not ASCII whitespace.
  EXPECT_EQ(TRIM_NONE, TrimWhitespaceASCII("\xA0x\xA0", TRIM_ALL, &output));
  EXPECT_EQ("\xA0x\xA0", output);
  const std::string with_nul("\0x \0", 4);
  EXPECT_EQ(TRIM_NONE, TrimWhitespaceASCII(with_nul, TRIM_ALL, &output));
  EXPECT_EQ(with_nul, output);
  EXPECT_EQ(TRIM_ALL, TrimWhitespaceASCII("   ", TRIM_ALL, &output));
  EXPECT_EQ("", output);
}

TEST(StringUtilTest, TrimString) {
  std::string output;
  EXPECT_TRUE(TrimString("xxaxbxx", "x", &output));
  EXPECT_EQ("axb", output);
  EXPECT_FALSE(TrimString("axb", "x", &output));
  EXPECT_EQ("axb", output);
  std::wstring wide;
  EXPECT_TRUE(TrimString(L"--a--", L"-", &wide));
  EXPECT_EQ(L"a", wide);
}

TEST(StringUtilTest, Tokenize) {
  std::vector<std::string> tokens;
  EXPECT_EQ(2u, Tokenize(",a,,b,", ",", &tokens));
  EXPECT_EQ(std::vector<std::string>({"a", "b"}), tokens);
  EXPECT_EQ(3u, Tokenize("k=v&x=1;y", "&;", &tokens));
  EXPECT_EQ(std::vector<std::string>({"k=v", "x=1", "y"}), tokens);
  EXPECT_EQ(0u, Tokenize(",,,", ",", &tokens));
  EXPECT_TRUE(tokens.empty());
  EXPECT_EQ(0u, Tokenize("", ",", &tokens));
  EXPECT_EQ(1u, Tokenize("abc", "", &tokens));
  EXPECT_EQ("abc", tokens[0]);

  std::vector<string16> wide;
  EXPECT_EQ(2u, Tokenize(string16(L" a  b "), string16(L" "), &wide));
  EXPECT_EQ(std::vector<string16>({L"a", L"b"}), wide);

  std::vector<StringPiece> pieces;
  EXPECT_EQ(3u, Tokenize(StringPiece("1 22\t333"), StringPiece(" \t"), &pieces));
  ASSERT_EQ(3u, pieces.size());
  EXPECT_EQ("22", pieces[1].as_string());
  EXPECT_EQ("333", pieces[2].as_string());
}

TEST(StringUtilTest, PrefixesAndSuffixes) {
  EXPECT_TRUE(StartsWith(L"javascript:x", L"javascript", true));
  EXPECT_FALSE(StartsWith(L"JavaScript:x", L"javascript", true));
  EXPECT_TRUE(StartsWith(L"JavaScript:x", L"javascript", false));
  EXPECT_FALSE(StartsWith(L"java", L"javascript", false));
  EXPECT_FALSE(StartsWith(L"java", L"javascript", true));
  EXPECT_TRUE(StartsWith(L"", L"", true));
  EXPECT_TRUE(StartsWith(L"abc", L"", true));
  EXPECT_TRUE(StartsWith(L"abc", L"", false));
  // Only A-Z are folded.
  EXPECT_FALSE(StartsWith(L"\x00C9t\x00E9", L"\x00E9t", false));

  EXPECT_TRUE(StartsWithASCII("Hello", "HEL", false));
  EXPECT_FALSE(StartsWithASCII("Hello", "HEL", true));
  EXPECT_FALSE(StartsWithASCII("He", "Hello", false));

  EXPECT_TRUE(EndsWith(std::string("photo.JPG"), std::string(".jpg"), false));
  EXPECT_FALSE(EndsWith(std::string("photo.JPG"), std::string(".jpg"), true));
  EXPECT_FALSE(EndsWith(std::string("g"), std::string(".jpg"), false));
  EXPECT_TRUE(EndsWith(string16(L"a.DMP"), string16(L".dmp"), false));
  EXPECT_TRUE(EndsWith(string16(L"x"), string16(L""), true));
}

TEST(StringUtilTest, AsciiTestsAndComparisons) {
  EXPECT_TRUE(IsStringASCII(StringPiece("")));
  EXPECT_TRUE(IsStringASCII(StringPiece("abc\x7F")));
  EXPECT_FALSE(IsStringASCII(StringPiece("abc\x80")));
  EXPECT_TRUE(IsStringASCII(string16(L"abc\x007F")));
  EXPECT_FALSE(IsStringASCII(string16(L"\x0080")));

  EXPECT_TRUE(LowerCaseEqualsASCII(string16(L"GZ"), "gz"));
  EXPECT_FALSE(LowerCaseEqualsASCII(string16(L"GZ"), "g"));
  EXPECT_FALSE(LowerCaseEqualsASCII(string16(L"G"), "gz"));
  EXPECT_TRUE(LowerCaseEqualsASCII(std::string("TeXt"), "text"));
  // A wide unit whose low byte matches is still another character.
  EXPECT_FALSE(LowerCaseEqualsASCII(string16(L"\x0167"), "g"));
  const std::string range = "xxABCxx";
  EXPECT_TRUE(LowerCaseEqualsASCII(range.begin() + 2, range.begin() + 5, "abc"));
  const char16 units[] = L"ExE";
  EXPECT_TRUE(LowerCaseEqualsASCII(units, units + 3, "exe"));

  EXPECT_TRUE(EqualsASCII(L"abc", "abc"));
  EXPECT_FALSE(EqualsASCII(L"abc", "abcd"));
  EXPECT_FALSE(EqualsASCII(L"\xFF80", "\x80"));
}

TEST(StringUtilTest, CollapseWhitespace) {
  const struct {
    const wchar_t* input;
    bool trim_line_breaks;
    const wchar_t* output;
  } kCases[] = {
      {L"Google Video", false, L"Google Video"},
      {L"  Google   Video  ", false, L"Google Video"},
      {L"\t\x3000Google\x00A0\x2028Video\n", false, L"Google Video"},
      {L"Google\r\nVideo", false, L"Google Video"},
      {L"Google\r\nVideo", true, L"GoogleVideo"},
      {L"Google \n Video  x", true, L"GoogleVideo x"},
      {L"   ", false, L""},
      {L"", false, L""},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.output, CollapseWhitespace(c.input, c.trim_line_breaks));
  EXPECT_EQ("a b", CollapseWhitespace("  a \t\n b ", false));
  // Bytes of multi-byte characters are never whitespace: U+00A0 and U+0085
  // end in 0xA0 and 0x85.
  EXPECT_EQ("x\xC2\xA0y\xC2\x85", CollapseWhitespace("x\xC2\xA0y\xC2\x85", false));
}

TEST(StringUtilTest, ContainsOnly) {
  EXPECT_TRUE(ContainsOnlyWhitespaceASCII(" \r\n\t"));
  EXPECT_TRUE(ContainsOnlyWhitespaceASCII(""));
  EXPECT_FALSE(ContainsOnlyWhitespaceASCII(" \v"));
  EXPECT_TRUE(ContainsOnlyWhitespace(L"\x3000 \x2029"));
  EXPECT_FALSE(ContainsOnlyWhitespace(L" x"));
  EXPECT_TRUE(ContainsOnlyChars(std::string(""), std::string("")));
  EXPECT_FALSE(ContainsOnlyChars(std::string("a"), std::string("")));
  EXPECT_TRUE(ContainsOnlyChars(std::string("1223"), std::string("123")));
  EXPECT_FALSE(ContainsOnlyChars(std::string("1a"), std::string("123")));
  EXPECT_TRUE(ContainsOnlyChars(std::wstring(L"\x00E9\x00E9"), std::wstring(L"\x00E9")));
}

TEST(StringUtilTest, TruncateUTF8ToByteSize) {
  const struct {
    std::string input;
    size_t size;
    std::string output;
  } kCases[] = {
      {"abc", 10, "abc"},
      {"abc", 3, "abc"},
      {"abc", 2, "ab"},
      {"abc", 0, ""},
      {"a\xE2\x82\xAC", 4, "a\xE2\x82\xAC"},  // a + euro sign
      {"a\xE2\x82\xAC", 3, "a"},
      {"a\xE2\x82\xAC", 2, "a"},
      {"\xE2\x82\xAC", 2, ""},
      {"a\xF0\x9F\x98\x80" "b", 5, "a\xF0\x9F\x98\x80"},
      {"a\xEF\xBF\xBE", 4, "a"},  // U+FFFE is no character.
      {"\x80\x80", 2, ""},
  };
  for (const auto& c : kCases) {
    std::string output = "stale";
    TruncateUTF8ToByteSize(c.input, c.size, &output);
    EXPECT_EQ(c.output, output) << c.input << " " << c.size;
  }
}

TEST(StringUtilTest, WideToLatin1) {
  std::string latin1;
  EXPECT_TRUE(WideToLatin1(L"a\x00E9\x00FF", &latin1));
  EXPECT_EQ("a\xE9\xFF", latin1);
  EXPECT_FALSE(WideToLatin1(L"a\x0100", &latin1));
  EXPECT_EQ("", latin1);
}

TEST(StringUtilTest, IsWprintfFormatPortable) {
  const struct {
    const wchar_t* format;
    bool portable;
  } kCases[] = {
      {L"%ls", true},     {L"%s", false},    {L"%S", false},
      {L"%lS", false},    {L"Hello, %s", false}, {L"%lc", true},
      {L"%c", false},     {L"%C", false},    {L"%d %5.2f %%", true},
      {L"%ld", true},     {L"%D", false},    {L"%F", false},
      {L"%O", false},     {L"%U", false},    {L"%-10ls", true},
      {L"%10s", false},   {L"%", true},      {L"%l", true},
      {L"no format", true}, {L"%% %s", false},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.portable, IsWprintfFormatPortable(c.format)) << c.format;
}

TEST(StringUtilTest, ReplaceSubstrings) {
  const struct {
    const char* str;
    size_t start_offset;
    const char* find_this;
    const char* replace_with;
    const char* all;
    const char* first;
  } kCases[] = {
      {"aaa", 0, "a", "b", "bbb", "baa"},
      {"aaa", 1, "a", "b", "abb", "aba"},
      {"aaa", 0, "aa", "b", "ba", "ba"},
      {"abc", 0, "c", "cc", "abcc", "abcc"},
      {"aaa", 0, "a", "aa", "aaaaaa", "aaaa"},  // No re-scan of replacements.
      {"aaa", 10, "a", "b", "aaa", "aaa"},
      {"abc", 0, "", "X", "abc", "abc"},  // An empty search text changes nothing.
      {"", 0, "", "X", "", ""},
      {"abab", 0, "ab", "", "", "ab"},
  };
  for (const auto& c : kCases) {
    std::string all = c.str;
    ReplaceSubstringsAfterOffset(&all, c.start_offset, c.find_this, c.replace_with);
    EXPECT_EQ(c.all, all) << c.str << " / " << c.find_this;
    std::string first = c.str;
    ReplaceFirstSubstringAfterOffset(&first, c.start_offset, c.find_this, c.replace_with);
    EXPECT_EQ(c.first, first) << c.str << " / " << c.find_this;
  }
  string16 wide = L"a.b.c";
  ReplaceSubstringsAfterOffset(&wide, 0, L".", L"::");
  EXPECT_EQ(L"a::b::c", wide);
  ReplaceSubstringsAfterOffset(&wide, 0, L"", L"x");
  EXPECT_EQ(L"a::b::c", wide);
}

TEST(StringUtilTest, ReplaceAndRemoveChars) {
  std::string output;
  EXPECT_TRUE(ReplaceChars("a/b\\c", "/\\", "_", &output));
  EXPECT_EQ("a_b_c", output);
  EXPECT_FALSE(ReplaceChars("abc", "/", "_", &output));
  EXPECT_EQ("abc", output);
  EXPECT_TRUE(ReplaceChars("a.b", ".", "...", &output));
  EXPECT_EQ("a...b", output);
  EXPECT_TRUE(RemoveChars("a-b-c", "-", &output));
  EXPECT_EQ("abc", output);
  string16 wide = L"x\x00E9y";
  EXPECT_TRUE(RemoveChars(wide, L"\x00E9", &wide));
  EXPECT_EQ(L"xy", wide);
}

TEST(StringUtilTest, JoinString) {
  EXPECT_EQ("", JoinString(std::vector<std::string>(), ','));
  EXPECT_EQ("a", JoinString(std::vector<std::string>({"a"}), ','));
  EXPECT_EQ("a,,b", JoinString(std::vector<std::string>({"a", "", "b"}), ','));
  EXPECT_EQ("a, b", JoinString(std::vector<std::string>({"a", "b"}), std::string(", ")));
  EXPECT_EQ(L"a\\b", JoinString(std::vector<string16>({L"a", L"b"}), L'\\'));
  EXPECT_EQ(L"a--b", JoinString(std::vector<string16>({L"a", L"b"}), string16(L"--")));
}

TEST(StringUtilTest, ReplaceStringPlaceholders) {
  const std::vector<std::string> subst = {"one", "two", "three", "4", "5",
                                          "6", "7", "8", "9", "ten"};
  const struct {
    const char* format;
    const char* output;
  } kCases[] = {
      {"$1 $2 $3", "one two three"},
      {"$10!", "ten!"},
      {"$11|$0|", "||"},  // Out of range inserts nothing.
      {"$$1", "$1"},
      {"$$$1", "$$1"},
      {"cost $", "cost "},
      {"$x", "x"},
      {"a$", "a"},
      {"$01", "one"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.output, ReplaceStringPlaceholders(c.format, subst, nullptr)) << c.format;

  std::vector<size_t> offsets;
  EXPECT_EQ("two-one-two",
            ReplaceStringPlaceholders("$2-$1-$2", subst, &offsets));
  EXPECT_EQ(std::vector<size_t>({4, 0, 8}), offsets);

  const std::vector<string16> wide_subst = {L"x", L"y"};
  EXPECT_EQ(L"y+x", ReplaceStringPlaceholders(string16(L"$2+$1"), wide_subst, nullptr));
}

TEST(StringUtilTest, MatchPattern) {
  const struct {
    const char* eval;
    const char* pattern;
    bool match;
  } kCases[] = {
      {"www.google.com", "*.com", true},
      {"www.google.com", "*", true},
      {"www.google.com", "www*.g*.org", false},
      {"Hello", "H?l?o", true},
      {"Hllo", "H?llo", true},  // '?' may match nothing.
      {"Heello", "H?llo", false},
      {"", "*", true},
      {"", "*?*", true},
      {"", "", true},
      {"a", "", false},
      {"", "a", false},
      {"Hello*1234", "He??o\\*1*", true},
      {"HelloX1234", "He??o\\*1*", false},
      {"a*b", "a\\*b", true},
      {"abc", "a*b*c*", true},
      {"\xC3\xA9t\xC3\xA9", "?t?", true},  // '?' takes a whole UTF-8 sequence.
      {"\xC3\xA9t\xC3\xA9", "?t?\xA9", false},
      {"aaa", "a**?*", true},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.match, MatchPattern(c.eval, c.pattern)) << c.eval << " ~ " << c.pattern;
  EXPECT_TRUE(MatchPattern(string16(L"\xD83D\xDE00!"), string16(L"?!")));
  EXPECT_FALSE(MatchPattern(string16(L"abc"), string16(L"?b")));

  // Recursion is bounded: a match that needs 16 nested wildcards works,
  // one that needs 17 fails.
  EXPECT_TRUE(MatchPattern(std::string(16, 'x'), std::string(16, '?')));
  EXPECT_FALSE(MatchPattern(std::string(17, 'x'), std::string(17, '?')));
}

TEST(StringUtilTest, FormatBytes) {
  const struct {
    int64_t bytes;
    const wchar_t* text;
  } kCases[] = {
      {0, L"0 B"},
      {512, L"512 B"},
      {1023, L"1023 B"},
      {1024, L"1.0 kB"},
      {1536, L"1.5 kB"},
      {99 * 1024 + 512, L"99.5 kB"},
      {100 * 1024, L"100 kB"},
      {1024 * 1024, L"1.0 MB"},
      {5LL * 1024 * 1024 * 1024, L"5.0 GB"},
      {1LL << 50, L"1.0 PB"},
      {1LL << 60, L"1024 PB"},  // At most five divisions.
  };
  for (const auto& c : kCases) EXPECT_EQ(c.text, FormatBytes(c.bytes)) << c.bytes;
}

TEST(StringUtilTest, BoundedCopies) {
  char buffer[4];
  EXPECT_EQ(10u, strlcpy(buffer, "0123456789", sizeof(buffer)));
  EXPECT_STREQ("012", buffer);
  EXPECT_EQ(2u, strlcpy(buffer, "ab", sizeof(buffer)));
  EXPECT_STREQ("ab", buffer);
  buffer[0] = 'z';
  EXPECT_EQ(3u, strlcpy(buffer, "abc", 0));
  EXPECT_EQ('z', buffer[0]);  // Size 0 writes nothing.

  wchar_t wide[3];
  EXPECT_EQ(5u, wcslcpy(wide, L"hello", 3));
  EXPECT_STREQ(L"he", wide);
}

TEST(StringUtilTest, BoundedFormatting) {
  char buffer[8];
  EXPECT_EQ(5, base::snprintf(buffer, sizeof(buffer), "%d-%s", 12, "ab"));
  EXPECT_STREQ("12-ab", buffer);
  EXPECT_EQ(11, base::snprintf(buffer, sizeof(buffer), "%s", "hello world"));
  EXPECT_STREQ("", buffer);  // Cut short: emptied.
  EXPECT_EQ(3, base::snprintf(nullptr, 0, "%d", 123));

  wchar_t wide[4];
  EXPECT_EQ(3, base::swprintf(wide, 4, L"%ls", L"abc"));
  EXPECT_STREQ(L"abc", wide);
  EXPECT_EQ(5, base::swprintf(wide, 4, L"%ls", L"abcde"));
  EXPECT_STREQ(L"", wide);
}

TEST(StringUtilTest, EmptyStrings) {
  EXPECT_TRUE(EmptyString().empty());
  EXPECT_TRUE(EmptyWString().empty());
  EXPECT_TRUE(EmptyString16().empty());
  EXPECT_EQ(&EmptyString(), &EmptyString());
}

}  // namespace
}  // namespace base
