#include "base/json/json_string_value_serializer.h"

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"

namespace base {

JSONStringValueSerializer::JSONStringValueSerializer(std::string* json_string)
    : json_string_(json_string),
      initialized_with_const_string_(false),
      pretty_print_(false),
      allow_trailing_comma_(false) {}

JSONStringValueSerializer::JSONStringValueSerializer(
    const std::string& json_string)
    : json_string_(const_cast<std::string*>(&json_string)),
      initialized_with_const_string_(true),
      pretty_print_(false),
      allow_trailing_comma_(false) {}

JSONStringValueSerializer::~JSONStringValueSerializer() {}

bool JSONStringValueSerializer::Serialize(const Value& root) {
  return SerializeInternal(root, false);
}

bool JSONStringValueSerializer::SerializeAndOmitBinaryValues(
    const Value& root) {
  return SerializeInternal(root, true);
}

bool JSONStringValueSerializer::SerializeInternal(const Value& root,
                                                  bool omit_binary_values) {
  if (!json_string_ || initialized_with_const_string_) return false;
  int options = 0;
  if (omit_binary_values) options |= JSONWriter::OPTIONS_OMIT_BINARY_VALUES;
  if (pretty_print_) options |= JSONWriter::OPTIONS_PRETTY_PRINT;
  JSONWriter::WriteWithOptions(&root, options, json_string_);
  return true;
}

Value* JSONStringValueSerializer::Deserialize(int* error_code,
                                              std::string* error_str) {
  if (!json_string_) return nullptr;
  return JSONReader::ReadAndReturnError(
      *json_string_,
      allow_trailing_comma_ ? JSON_ALLOW_TRAILING_COMMAS : JSON_PARSE_RFC,
      error_code, error_str);
}

}  // namespace base
