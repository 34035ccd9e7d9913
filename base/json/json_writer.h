// Turns a value tree into JSON text.

#ifndef BASE_JSON_JSON_WRITER_H_
#define BASE_JSON_JSON_WRITER_H_

#include <string>

namespace base {

class Value;

class JSONWriter {
 public:
  enum Options {
    // Strings are quoted from their UTF-8 bytes, one escape per byte above
    // 0x7E, instead of from UTF-16. Keys are always escaped from UTF-16.
    OPTIONS_DO_NOT_ESCAPE = 1 << 0,
    // Binary list elements and dictionary entries are skipped. Without this
    // option a binary value is written as null: JSON has no form for bytes.
    OPTIONS_OMIT_BINARY_VALUES = 1 << 1,
    // A whole double within the signed 64-bit range is written as an integer.
    OPTIONS_OMIT_DOUBLE_TYPE_PRESERVATION = 1 << 2,
    // Line breaks ("\r\n"), three spaces of indentation per level, and a
    // final line break.
    OPTIONS_PRETTY_PRINT = 1 << 3,
  };

  // Escaping on, nothing else.
  static void Write(const Value* node, std::string* json);

  // |options| is a mask of Options; other bits are ignored.
  static void WriteWithOptions(const Value* node, int options,
                               std::string* json);

 private:
  JSONWriter(int options, std::string* json);

  void BuildJSONString(const Value& node, int depth);
  void WriteDouble(double value);
  void WriteString(const Value& node);
  void WriteDictionary(const Value& node, int depth);
  void WriteList(const Value& node, int depth);
  void IndentLine(int depth);

  bool escape_;
  bool omit_binary_values_;
  bool omit_double_type_preservation_;
  bool pretty_print_;
  std::string* json_string_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_WRITER_H_
