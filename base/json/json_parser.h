// The recursive-descent parser behind JSONReader. Use JSONReader instead.

#ifndef BASE_JSON_JSON_PARSER_H_
#define BASE_JSON_JSON_PARSER_H_

#include <cstddef>
#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/string_piece.h"

namespace base {

class DictionaryValue;
class ListValue;
class Value;

class JSONParser {
 public:
  explicit JSONParser(int options);
  ~JSONParser();

  JSONParser(const JSONParser&) = delete;
  JSONParser& operator=(const JSONParser&) = delete;

  // The root value (the caller owns it), or null. Without
  // JSON_DETACHABLE_CHILDREN plain strings keep referring into a copy of
  // |input| that they own jointly, so no value outlives the text it reads.
  Value* Parse(const StringPiece& input);

  JSONReader::JsonParseError error_code() const { return error_code_; }
  std::string GetErrorMessage() const;
  int error_line() const { return error_line_; }
  int error_column() const { return error_column_; }

 private:
  enum Token {
    T_OBJECT_BEGIN,
    T_OBJECT_END,
    T_ARRAY_BEGIN,
    T_ARRAY_END,
    T_STRING,
    T_NUMBER,
    T_BOOL_TRUE,
    T_BOOL_FALSE,
    T_NULL,
    T_LIST_SEPARATOR,
    T_OBJECT_PAIR_SEPARATOR,
    T_END_OF_INPUT,
    T_INVALID_TOKEN,
  };

  // Where a string's text lies in the input, and its owned form once an
  // escape or a non-ASCII character forced a copy.
  class StringBuilder;

  // Whitespace and comments are skipped first; the position is left on the
  // token's first byte.
  Token GetNextToken();
  void EatWhitespaceAndComments();
  // At a '/': skips one comment and says whether there was one.
  bool EatComment();

  bool CanConsume(size_t count) const { return count <= length_ - index_; }
  unsigned char CurrentByte() const {
    return static_cast<unsigned char>(start_[index_]);
  }

  // Each starts on the value's first byte and, on success, leaves the
  // position just past the value.
  Value* ParseToken(Token token);
  Value* ConsumeDictionary();
  Value* ConsumeList();
  Value* ConsumeString();
  Value* ConsumeNumber();
  Value* ConsumeLiteral();

  bool ConsumeStringRaw(StringBuilder* out);
  bool ConsumeEscape(StringBuilder* out);
  bool ConsumeNonAsciiCharacter(StringBuilder* out);
  // At a 'u': reads one escaped UTF-16 unit or surrogate pair.
  bool DecodeUTF16(std::string* dest_string);
  // Reads |digits| hexadecimal digits (ASCII only) after the current byte.
  bool ReadHexDigits(size_t digits, int* value);
  bool ReadInt(bool allow_leading_zeros);

  void ReportError(JSONReader::JsonParseError code, int column_adjust);
  static std::string FormatErrorMessage(int line, int column,
                                        const std::string& description);

  const int options_;

  // The copy that referring string values share; null when detachable.
  std::shared_ptr<const std::string> input_copy_;
  const char* start_;
  size_t length_;
  size_t index_;
  int stack_depth_;
  int line_number_;
  size_t index_last_line_;

  JSONReader::JsonParseError error_code_;
  int error_line_;
  int error_column_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_PARSER_H_
