#include "base/json/json_reader.h"

#include <memory>
#include <string>

#include "base/json/json_writer.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string ToJson(const Value& value) {
  std::string json;
  JSONWriter::Write(&value, &json);
  return json;
}

// The writer's text of what |input| reads as, or "error N at L:C".
std::string ReadResult(const std::string& input, int options = 0) {
  JSONReader reader(options);
  std::unique_ptr<Value> root(reader.ReadToValue(input));
  if (root) return ToJson(*root);
  return "error " + std::to_string(reader.error_code()) + " " +
         reader.GetErrorMessage();
}

TEST(JSONReaderTest, AcceptedTexts) {
  struct Case {
    const char* input;
    int options;
    const char* written;
  } cases[] = {
      {"\xEF\xBB\xBF[1]", 0, "[1]"},
      {" \t\r\n{ \"a\" : [ true , false , null ] }\r\n", 0,
       "{\"a\":[true,false,null]}"},
      {"[1,2,]", JSON_ALLOW_TRAILING_COMMAS, "[1,2]"},
      {"{\"a\":1,}", JSON_ALLOW_TRAILING_COMMAS, "{\"a\":1}"},
      {"{\"a\":1,\"a\":2}", 0, "{\"a\":2}"},
      {"-0", 0, "0"},
      {"-0.0", 0, "-0.0"},
      {"2147483647", 0, "2147483647"},
      {"-2147483648", 0, "-2147483648"},
      {"2147483648", 0, "2147483648.0"},
      {"1.0", 0, "1.0"},
      {"1E2", 0, "100.0"},
      {"1e-2", 0, "0.01"},
      {"0.000", 0, "0.0"},
      {"[1 ]", 0, "[1]"},
      {"[1] // comment", 0, "[1]"},
      {"[1] /* comment */", 0, "[1]"},
      {"/* before */ [/* in */ 1 // line\n ]", 0, "[1]"},
      {"[1] /* unterminated", 0, "[1]"},
      {"\"\\u0041\\x41\\v\\/\\b\\f\\n\\r\\t\\\"\\\\\"", 0,
       "\"AA\\u000B/\\b\\f\\n\\r\\t\\\"\\\\\""},
      {"\"\\xE9\"", 0, "\"\\u00E9\""},
      {"\"\\uD83D\\uDE00\"", 0, "\"\\uD83D\\uDE00\""},
      {"\"a\\u0000b\"", 0, "\"ab\""},
      {"\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"", 0,
       "\"\\u00E9\\u20AC\\uD83D\\uDE00\""},
      {"\"\\uFFFE\"", 0, "\"\\uFFFE\""},
      {"{\"\\u00E9\":\"v\"}", JSON_DETACHABLE_CHILDREN, "{\"\\u00E9\":\"v\"}"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.written, ReadResult(c.input, c.options)) << c.input;
}

TEST(JSONReaderTest, RejectedTextsWithCodeAndPosition) {
  struct Case {
    const char* input;
    const char* result;
  } cases[] = {
      {"", "error 3 Line: 1, column: 1, Unexpected token."},
      {"[1,2,]", "error 4 Line: 1, column: 6, Trailing comma not allowed."},
      {"{\"a\":1,}", "error 4 Line: 1, column: 8, Trailing comma not allowed."},
      {"[,1]", "error 3 Line: 1, column: 2, Unexpected token."},
      {"{a:1}", "error 8 Line: 1, column: 2, Dictionary keys must be quoted."},
      {"{\"a\" 1}", "error 2 Line: 1, column: 6, Syntax error."},
      {"{\"a\":true \"b\":1}", "error 2 Line: 1, column: 10, Syntax error."},
      {"[true false]", "error 2 Line: 1, column: 7, Syntax error."},
      {"[tru]", "error 2 Line: 1, column: 2, Syntax error."},
      {"nul", "error 2 Line: 1, column: 1, Syntax error."},
      {"01", "error 2 Line: 1, column: 1, Syntax error."},
      {"1.", "error 2 Line: 1, column: 3, Syntax error."},
      {"-", "error 2 Line: 1, column: 2, Syntax error."},
      {"1e", "error 2 Line: 1, column: 3, Syntax error."},
      {"1e+", "error 2 Line: 1, column: 4, Syntax error."},
      {".5", "error 3 Line: 1, column: 1, Unexpected token."},
      {"+1", "error 3 Line: 1, column: 1, Unexpected token."},
      {"1x", "error 2 Line: 1, column: 2, Syntax error."},
      {"[1 2]", "error 2 Line: 1, column: 4, Syntax error."},
      // Only white space and comments may follow the root.
      {"[1]x", "error 6 Line: 1, column: 4, Unexpected data after root element."},
      {"[1] x", "error 6 Line: 1, column: 5, Unexpected data after root element."},
      {"{}}", "error 6 Line: 1, column: 3, Unexpected data after root element."},
      {"\"s\"x", "error 6 Line: 1, column: 4, Unexpected data after root element."},
      {"true,", "error 6 Line: 1, column: 5, Unexpected data after root element."},
      {"1,", "error 6 Line: 1, column: 2, Unexpected data after root element."},
      {"[1]/", "error 6 Line: 1, column: 4, Unexpected data after root element."},
      // \x and \u take exactly two or four ASCII hex digits.
      {"\"\\x-1\"", "error 1 Line: 1, column: 3, Invalid escape sequence."},
      {"\"\\x4\"", "error 1 Line: 1, column: 3, Invalid escape sequence."},
      {"\"\\u0x41\"", "error 1 Line: 1, column: 5, Invalid escape sequence."},
      {"\"\\u+041\"", "error 1 Line: 1, column: 5, Invalid escape sequence."},
      {"\"\\u 041\"", "error 1 Line: 1, column: 5, Invalid escape sequence."},
      {"\"\\uDC00\"", "error 1 Line: 1, column: 5, Invalid escape sequence."},
      {"\"\\uD83D\"", "error 1 Line: 1, column: 5, Invalid escape sequence."},
      {"\"\\uD83Dx\\uDE00\"", "error 1 Line: 1, column: 5, Invalid escape sequence."},
      {"\"\\uD83D\\u0041\"", "error 1 Line: 1, column: 11, Invalid escape sequence."},
      {"\"\\x", "error 1 Line: 1, column: 3, Invalid escape sequence."},
      {"\"\\u00", "error 1 Line: 1, column: 2, Invalid escape sequence."},
      {"\"\\q\"", "error 1 Line: 1, column: 2, Invalid escape sequence."},
      {"\"\\", "error 1 Line: 1, column: 2, Invalid escape sequence."},
      {"\"", "error 2 Line: 1, column: 1, Syntax error."},
      {"\"abc", "error 2 Line: 1, column: 4, Syntax error."},
      {"\"\xFF\"", "error 7 Line: 1, column: 2, Unsupported encoding. JSON must be UTF-8."},
      {"\"\xC3\"", "error 7 Line: 1, column: 2, Unsupported encoding. JSON must be UTF-8."},
      {"\"\xC0\x80\"", "error 7 Line: 1, column: 2, Unsupported encoding. JSON must be UTF-8."},
      {"\"\xED\xA0\x80\"", "error 7 Line: 1, column: 2, Unsupported encoding. JSON must be UTF-8."},
      {"\"\xEF\xBF\xBE\"", "error 7 Line: 1, column: 2, Unsupported encoding. JSON must be UTF-8."},
      {"\"\xEF\xB7\x90\"", "error 7 Line: 1, column: 2, Unsupported encoding. JSON must be UTF-8."},
      {"\"\xF4\x90\x80\x80\"", "error 7 Line: 1, column: 2, Unsupported encoding. JSON must be UTF-8."},
      // Later lines count columns from 2; CR LF is one line break.
      {"[\r\n1,\r\n]", "error 4 Line: 3, column: 2, Trailing comma not allowed."},
      {"[\n\n  x]", "error 3 Line: 3, column: 4, Unexpected token."},
      // Out of the double range: a failure without an error code.
      {"1e400", "error 0 "},
      {"[-1e400]", "error 0 "},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, ReadResult(c.input)) << c.input;
}

TEST(JSONReaderTest, NestingLimit) {
  EXPECT_EQ(std::string(99, '[') + std::string(99, ']'),
            ReadResult(std::string(99, '[') + std::string(99, ']')));
  EXPECT_EQ("error 5 Line: 1, column: 100, Too much nesting.",
            ReadResult(std::string(100, '[') + std::string(100, ']')));
  std::string dicts;
  for (int i = 0; i < 100; ++i) dicts += "{\"a\":";
  EXPECT_EQ("error 5 Line: 1, column: 496, Too much nesting.",
            ReadResult(dicts + "1" + std::string(100, '}')));
}

TEST(JSONReaderTest, StaticReadersReportErrors) {
  int code = -1;
  std::string message = "untouched";
  std::unique_ptr<Value> root(
      JSONReader::ReadAndReturnError("[1,]", 0, &code, &message));
  EXPECT_FALSE(root);
  EXPECT_EQ(JSONReader::JSON_TRAILING_COMMA, code);
  EXPECT_EQ("Line: 1, column: 4, Trailing comma not allowed.", message);

  root.reset(JSONReader::ReadAndReturnError("[1]", 0, &code, &message));
  EXPECT_TRUE(root);
  root.reset(JSONReader::Read("[1,]", JSON_ALLOW_TRAILING_COMMAS));
  EXPECT_TRUE(root);
  root.reset(JSONReader::Read("[1,]"));
  EXPECT_FALSE(root);

  EXPECT_EQ("", JSONReader::ErrorCodeToString(JSONReader::JSON_NO_ERROR));
  EXPECT_EQ("Dictionary keys must be quoted.",
            JSONReader::ErrorCodeToString(
                JSONReader::JSON_UNQUOTED_DICTIONARY_KEY));
  EXPECT_EQ("", JSONReader::ErrorCodeToString(
                    static_cast<JSONReader::JsonParseError>(9)));
}

TEST(JSONReaderTest, DetachableChildrenReadOnlyTheGivenBytes) {
  // The text continues past the piece; nothing beyond it may be read.
  const char text[] = "[1,\"ab\",tr" "ue]";
  EXPECT_FALSE(JSONReader::Read(StringPiece(text, 10), JSON_DETACHABLE_CHILDREN));
  std::unique_ptr<Value> root(JSONReader::Read(StringPiece(text, 6), 0));
  EXPECT_FALSE(root);
  const char number[] = "12345";
  root.reset(JSONReader::Read(StringPiece(number, 2), JSON_DETACHABLE_CHILDREN));
  ASSERT_TRUE(root);
  EXPECT_EQ("12", ToJson(*root));
  const char literal[] = "nullx";
  root.reset(JSONReader::Read(StringPiece(literal, 3), JSON_DETACHABLE_CHILDREN));
  EXPECT_FALSE(root);
}

// Plain strings refer into the parser's copy of the input; they must stay
// valid wherever they go after the root is gone.
TEST(JSONReaderTest, ParsedStringsOutliveTheirRoot) {
  const std::string input =
      "{\"outer\":{\"inner\":\"nested text\",\"list\":[\"in list\",\"b\"]},"
      "\"top\":\"top text\"}";
  std::unique_ptr<Value> removed;
  std::unique_ptr<Value> erased;
  DictionaryValue swapped_into;
  {
    std::unique_ptr<Value> root(JSONReader::Read(input));
    ASSERT_TRUE(root);
    DictionaryValue* dict = nullptr;
    ASSERT_TRUE(root->GetAsDictionary(&dict));

    ASSERT_TRUE(dict->Remove("outer.inner", &removed));
    ListValue* list = nullptr;
    ASSERT_TRUE(dict->GetList("outer.list", &list));
    list->Erase(list->begin(), &erased);
    DictionaryValue* outer = nullptr;
    ASSERT_TRUE(dict->GetDictionary("outer", &outer));
    outer->Swap(&swapped_into);
    std::string text;
    EXPECT_TRUE(dict->GetString("top", &text));
    EXPECT_EQ("top text", text);
  }
  std::string text;
  ASSERT_TRUE(removed->GetAsString(&text));
  EXPECT_EQ("nested text", text);
  ASSERT_TRUE(erased->GetAsString(&text));
  EXPECT_EQ("in list", text);
  ASSERT_TRUE(swapped_into.GetList("list", nullptr));
  EXPECT_EQ("{\"list\":[\"b\"]}", ToJson(swapped_into));

  std::unique_ptr<Value> copy(removed->DeepCopy());
  EXPECT_TRUE(copy->Equals(removed.get()));
  EXPECT_TRUE(removed->Equals(copy.get()));
  string16 wide;
  ASSERT_TRUE(copy->GetAsString(&wide));
  EXPECT_EQ(std::wstring(L"nested text"), wide);
}

TEST(JSONReaderTest, RootSwappedIntoAnotherDictionaryKeepsItsStrings) {
  DictionaryValue target;
  {
    std::unique_ptr<Value> root(JSONReader::Read("{\"k\":\"ascii only\"}"));
    ASSERT_TRUE(root);
    DictionaryValue* dict = nullptr;
    ASSERT_TRUE(root->GetAsDictionary(&dict));
    std::string before;
    EXPECT_TRUE(dict->GetString("k", &before));
    EXPECT_EQ("ascii only", before);
    dict->Swap(&target);
  }
  std::string after;
  EXPECT_TRUE(target.GetString("k", &after));
  EXPECT_EQ("ascii only", after);
}

}  // namespace
}  // namespace base
