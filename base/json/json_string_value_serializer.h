// Binds the JSON writer and reader to one caller-owned string.

#ifndef BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_
#define BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_

#include <string>

#include "base/values.h"

namespace base {

class JSONStringValueSerializer : public ValueSerializer {
 public:
  // Serializes into and deserializes from |json_string|, which must outlive
  // the serializer. May be null: then both directions fail.
  explicit JSONStringValueSerializer(std::string* json_string);
  // Deserializing only: Serialize is refused.
  explicit JSONStringValueSerializer(const std::string& json_string);
  ~JSONStringValueSerializer() override;

  JSONStringValueSerializer(const JSONStringValueSerializer&) = delete;
  JSONStringValueSerializer& operator=(const JSONStringValueSerializer&) =
      delete;

  bool Serialize(const Value& root) override;
  // Leaves out binary values.
  bool SerializeAndOmitBinaryValues(const Value& root);
  // Leaves out binary values when |omit_binary_values| is set.
  bool SerializeInternal(const Value& root, bool omit_binary_values);

  Value* Deserialize(int* error_code, std::string* error_str) override;

  void set_pretty_print(bool new_value) { pretty_print_ = new_value; }
  bool pretty_print() const { return pretty_print_; }

  void set_allow_trailing_comma(bool new_value) {
    allow_trailing_comma_ = new_value;
  }

 private:
  std::string* json_string_;
  bool initialized_with_const_string_;
  bool pretty_print_;
  bool allow_trailing_comma_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_
