#include "base/json/json_writer.h"

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/json/json_string_value_serializer.h"
#include "base/json/string_escape.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string Write(const Value& value, int options = 0) {
  std::string json = "stale text";
  JSONWriter::WriteWithOptions(&value, options, &json);
  return json;
}

std::string WriteDouble(double value, int options = 0) {
  return Write(FundamentalValue(value), options);
}

TEST(JSONWriterTest, IpcNoticeIsCompactWithKeysInByteOrder) {
  DictionaryValue notice;
  notice.SetInteger("id", 7);
  notice.SetString("data", "4242_renderer");
  std::string json;
  JSONWriter::Write(&notice, &json);
  EXPECT_EQ("{\"data\":\"4242_renderer\",\"id\":7}", json);
}

TEST(JSONWriterTest, Scalars) {
  EXPECT_EQ("null", Write(*std::unique_ptr<Value>(Value::CreateNullValue())));
  EXPECT_EQ("true", Write(FundamentalValue(true)));
  EXPECT_EQ("false", Write(FundamentalValue(false)));
  EXPECT_EQ("-2147483648", Write(FundamentalValue(-2147483647 - 1)));
  EXPECT_EQ("\"\"", Write(StringValue(std::string())));
}

TEST(JSONWriterTest, DoublesStayDoubles) {
  struct Case {
    double value;
    const char* json;
  } cases[] = {
      {3.0, "3.0"},
      {0.5, "0.5"},
      {-0.25, "-0.25"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {1e21, "1e+21"},
      {1e-5, "1e-05"},
      {0.0001, "0.0001"},
      {100000.0, "100000.0"},
      {1000000.0, "1e+06"},
      {123456.0, "123456.0"},
      {1.5e300, "1.5e+300"},
      {0.1 + 0.2, "0.30000000000000004"},
      {-1.5, "-1.5"},
      {4.9406564584124654e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.json, WriteDouble(c.value)) << c.json;
}

TEST(JSONWriterTest, OmitDoubleTypePreservation) {
  const int kOmit = JSONWriter::OPTIONS_OMIT_DOUBLE_TYPE_PRESERVATION;
  EXPECT_EQ("3", WriteDouble(3.0, kOmit));
  EXPECT_EQ("-9223372036854775808", WriteDouble(-9223372036854775808.0, kOmit));
  EXPECT_EQ("1e+21", WriteDouble(1e21, kOmit));
  // 2^63 is outside the signed 64-bit range.
  EXPECT_EQ("9223372036854776000.0",
            WriteDouble(9223372036854775808.0, kOmit));
  EXPECT_EQ("0.5", WriteDouble(0.5, kOmit));
}

TEST(JSONWriterTest, EscapingFromUtf16) {
  EXPECT_EQ("\"\\u003C\\u003E\\t\\u00E9\"",
            Write(StringValue(std::string("<>\t\xC3\xA9"))));
  // Each of the pair's units on its own.
  EXPECT_EQ("\"\\uD83D\\uDE00\"", Write(StringValue(std::string("\xF0\x9F\x98\x80"))));
  // Invalid UTF-8 becomes U+FFFD.
  EXPECT_EQ("\"a\\uFFFDb\"", Write(StringValue(std::string("a\xFF" "b"))));
}

TEST(JSONWriterTest, DoNotEscapeQuotesEachByte) {
  const int kRaw = JSONWriter::OPTIONS_DO_NOT_ESCAPE;
  EXPECT_EQ("\"\\u00C3\\u00A9\"", Write(StringValue(std::string("\xC3\xA9")), kRaw));
  // Keys are escaped from UTF-16 whatever the option says.
  DictionaryValue dict;
  dict.SetStringWithoutPathExpansion("\xC3\xA9", "\xC3\xA9");
  EXPECT_EQ("{\"\\u00E9\":\"\\u00C3\\u00A9\"}", Write(dict, kRaw));
}

TEST(EscapeJsonStringTest, EveryUnitBelow0x80AndAbove) {
  // The escape of every byte value through both forms.
  for (int c = 0; c < 0x100; ++c) {
    std::string expected;
    switch (c) {
      case '\b': expected = "\\b"; break;
      case '\t': expected = "\\t"; break;
      case '\n': expected = "\\n"; break;
      case '\f': expected = "\\f"; break;
      case '\r': expected = "\\r"; break;
      case '"': expected = "\\\""; break;
      case '\\': expected = "\\\\"; break;
      default: {
        if (c >= 0x20 && c <= 0x7E && c != '<' && c != '>') {
          expected = std::string(1, static_cast<char>(c));
        } else {
          char buffer[8];
          snprintf(buffer, sizeof(buffer), "\\u%04X", c);
          expected = buffer;
        }
      }
    }
    std::string narrow;
    EscapeJsonString(StringPiece(std::string(1, static_cast<char>(c))), false,
                     &narrow);
    EXPECT_EQ(expected, narrow) << c;
    std::string wide;
    EscapeJsonString(string16(1, static_cast<wchar_t>(c)), false, &wide);
    EXPECT_EQ(expected, wide) << c;
  }
  std::string appended = "x";
  EscapeJsonString(string16(L"\uFFFF\u2028/"), true, &appended);
  EXPECT_EQ("x\"\\uFFFF\\u2028/\"", appended);
  EXPECT_EQ("\"a\\\"b\"", GetDoubleQuotedJson(std::string("a\"b")));
  EXPECT_EQ("\"\\u0000\"", GetDoubleQuotedJson(string16(1, L'\0')));
}

TEST(JSONWriterTest, PrettyPrint) {
  const int kPretty = JSONWriter::OPTIONS_PRETTY_PRINT;
  EXPECT_EQ("{\r\n\r\n}\r\n", Write(DictionaryValue(), kPretty));
  EXPECT_EQ("[  ]\r\n", Write(ListValue(), kPretty));

  DictionaryValue dict;
  ListValue* list = new ListValue;
  list->AppendInteger(1);
  list->AppendInteger(2);
  dict.Set("a", list);
  EXPECT_EQ("{\r\n   \"a\": [ 1, 2 ]\r\n}\r\n", Write(dict, kPretty));

  // Nested dictionaries indent by depth; list elements stay on the line.
  DictionaryValue nested;
  nested.SetInteger("o.i", 1);
  nested.SetBoolean("z", false);
  ListValue* inner_list = new ListValue;
  DictionaryValue* in_list = new DictionaryValue;
  in_list->SetInteger("k", 2);
  inner_list->Append(in_list);
  nested.Set("l", inner_list);
  EXPECT_EQ(
      "{\r\n"
      "   \"l\": [ {\r\n"
      "      \"k\": 2\r\n"
      "   } ],\r\n"
      "   \"o\": {\r\n"
      "      \"i\": 1\r\n"
      "   },\r\n"
      "   \"z\": false\r\n"
      "}\r\n",
      Write(nested, kPretty));
}

TEST(JSONWriterTest, BinaryValues) {
  const int kOmit = JSONWriter::OPTIONS_OMIT_BINARY_VALUES;
  ListValue list;
  list.Append(BinaryValue::CreateWithCopiedBuffer("x", 1));
  list.AppendInteger(2);
  list.Append(BinaryValue::CreateWithCopiedBuffer("y", 1));
  EXPECT_EQ("[2]", Write(list, kOmit));

  DictionaryValue dict;
  dict.Set("a", BinaryValue::CreateWithCopiedBuffer("x", 1));
  dict.SetInteger("b", 2);
  EXPECT_EQ("{\"b\":2}", Write(dict, kOmit));

  // Without the option a binary value is a plain null, still valid JSON.
  EXPECT_EQ("[null,2,null]", Write(list));
}

TEST(JSONStringValueSerializerTest, SerializeAndDeserialize) {
  DictionaryValue dict;
  dict.SetInteger("a", 1);
  dict.Set("b", BinaryValue::CreateWithCopiedBuffer("x", 1));

  std::string target;
  JSONStringValueSerializer serializer(&target);
  EXPECT_TRUE(serializer.Serialize(dict));
  EXPECT_EQ("{\"a\":1,\"b\":null}", target);
  serializer.set_pretty_print(true);
  EXPECT_TRUE(serializer.SerializeAndOmitBinaryValues(dict));
  EXPECT_EQ("{\r\n   \"a\": 1\r\n}\r\n", target);
  EXPECT_TRUE(serializer.SerializeInternal(dict, false));
  EXPECT_EQ("{\r\n   \"a\": 1,\r\n   \"b\": null\r\n}\r\n", target);

  const std::string constant = "[1,2,]";
  JSONStringValueSerializer reader(constant);
  EXPECT_FALSE(reader.Serialize(dict));
  int code = 0;
  std::string message;
  EXPECT_EQ(nullptr, reader.Deserialize(&code, &message));
  EXPECT_EQ(JSONReader::JSON_TRAILING_COMMA, code);
  EXPECT_EQ("Line: 1, column: 6, Trailing comma not allowed.", message);
  reader.set_allow_trailing_comma(true);
  std::unique_ptr<Value> list(reader.Deserialize(&code, &message));
  ASSERT_TRUE(list);
  EXPECT_EQ("[1,2]", Write(*list));

  JSONStringValueSerializer nothing(static_cast<std::string*>(nullptr));
  EXPECT_FALSE(nothing.Serialize(dict));
  EXPECT_EQ(nullptr, nothing.Deserialize(nullptr, nullptr));
}

}  // namespace
}  // namespace base
