#include "base/json/json_writer.h"

#include <cmath>
#include <cstdint>

#include "base/json/string_escape.h"
#include "base/string_number_conversions.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"

namespace base {

namespace {

const char kPrettyPrintLineEnding[] = "\r\n";
const int kIndentWidth = 3;

// 2^63, the first double above the signed 64-bit range.
const double kTwoTo63 = 9223372036854775808.0;

}  // namespace

void JSONWriter::Write(const Value* node, std::string* json) {
  WriteWithOptions(node, 0, json);
}

void JSONWriter::WriteWithOptions(const Value* node, int options,
                                  std::string* json) {
  json->clear();
  if (json->capacity() < 1024) json->reserve(1024);
  JSONWriter writer(options, json);
  writer.BuildJSONString(*node, 0);
  if (writer.pretty_print_) json->append(kPrettyPrintLineEnding);
}

JSONWriter::JSONWriter(int options, std::string* json)
    : escape_(!(options & OPTIONS_DO_NOT_ESCAPE)),
      omit_binary_values_((options & OPTIONS_OMIT_BINARY_VALUES) != 0),
      omit_double_type_preservation_(
          (options & OPTIONS_OMIT_DOUBLE_TYPE_PRESERVATION) != 0),
      pretty_print_((options & OPTIONS_PRETTY_PRINT) != 0),
      json_string_(json) {}

void JSONWriter::BuildJSONString(const Value& node, int depth) {
  switch (node.GetType()) {
    case Value::TYPE_NULL:
    case Value::TYPE_BINARY:
      json_string_->append("null");
      return;
    case Value::TYPE_BOOLEAN: {
      bool value = false;
      node.GetAsBoolean(&value);
      json_string_->append(value ? "true" : "false");
      return;
    }
    case Value::TYPE_INTEGER: {
      int value = 0;
      node.GetAsInteger(&value);
      json_string_->append(IntToString(value));
      return;
    }
    case Value::TYPE_DOUBLE: {
      double value = 0;
      node.GetAsDouble(&value);
      WriteDouble(value);
      return;
    }
    case Value::TYPE_STRING:
      WriteString(node);
      return;
    case Value::TYPE_DICTIONARY:
      WriteDictionary(node, depth);
      return;
    case Value::TYPE_LIST:
      WriteList(node, depth);
      return;
  }
}

void JSONWriter::WriteDouble(double value) {
  if (omit_double_type_preservation_ && value >= -kTwoTo63 &&
      value < kTwoTo63 && std::floor(value) == value) {
    json_string_->append(Int64ToString(static_cast<int64_t>(value)));
    return;
  }
  std::string real = DoubleToString(value);
  // Keep the text a double when read back, and give it a leading digit.
  if (real.find_first_of(".eE") == std::string::npos) real.append(".0");
  if (real[0] == '.') {
    real.insert(0, "0");
  } else if (real.length() > 1 && real[0] == '-' && real[1] == '.') {
    real.insert(1, "0");
  }
  json_string_->append(real);
}

void JSONWriter::WriteString(const Value& node) {
  if (escape_) {
    string16 value;
    node.GetAsString(&value);
    EscapeJsonString(value, true, json_string_);
    return;
  }
  std::string value;
  node.GetAsString(&value);
  EscapeJsonString(StringPiece(value), true, json_string_);
}

void JSONWriter::WriteDictionary(const Value& node, int depth) {
  const DictionaryValue* dict = nullptr;
  node.GetAsDictionary(&dict);
  json_string_->push_back('{');
  if (pretty_print_) json_string_->append(kPrettyPrintLineEnding);
  bool first_entry = true;
  for (DictionaryValue::Iterator it(*dict); !it.IsAtEnd(); it.Advance()) {
    if (omit_binary_values_ && it.value().IsType(Value::TYPE_BINARY)) continue;
    if (!first_entry) {
      json_string_->push_back(',');
      if (pretty_print_) json_string_->append(kPrettyPrintLineEnding);
    }
    first_entry = false;
    if (pretty_print_) IndentLine(depth + 1);
    EscapeJsonString(UTF8ToUTF16(it.key()), true, json_string_);
    json_string_->append(pretty_print_ ? ": " : ":");
    BuildJSONString(it.value(), depth + 1);
  }
  if (pretty_print_) {
    json_string_->append(kPrettyPrintLineEnding);
    IndentLine(depth);
  }
  json_string_->push_back('}');
}

void JSONWriter::WriteList(const Value& node, int depth) {
  const ListValue* list = nullptr;
  node.GetAsList(&list);
  json_string_->push_back('[');
  if (pretty_print_) json_string_->push_back(' ');
  bool first_element = true;
  for (const auto& element : *list) {
    if (omit_binary_values_ && element->IsType(Value::TYPE_BINARY)) continue;
    if (!first_element) {
      json_string_->push_back(',');
      if (pretty_print_) json_string_->push_back(' ');
    }
    first_element = false;
    BuildJSONString(*element, depth);
  }
  if (pretty_print_) json_string_->push_back(' ');
  json_string_->push_back(']');
}

void JSONWriter::IndentLine(int depth) {
  json_string_->append(static_cast<size_t>(depth * kIndentWidth), ' ');
}

}  // namespace base
