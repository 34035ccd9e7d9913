// Reads UTF-8 JSON text into a value tree.
//
// Beyond strict JSON the reader accepts // and /* */ comments, a leading
// UTF-8 byte-order mark, the escapes \v and \xHH, and on request a comma
// before a closing bracket. Nesting is limited to 99 levels. The first error
// is kept as a code with its line and column.

#ifndef BASE_JSON_JSON_READER_H_
#define BASE_JSON_JSON_READER_H_

#include <memory>
#include <string>

#include "base/string_piece.h"

namespace base {

class JSONParser;
class Value;

enum JSONParserOptions {
  JSON_PARSE_RFC = 0,
  // A ',' directly before '}' or ']' is accepted.
  JSON_ALLOW_TRAILING_COMMAS = 1 << 0,
  // Every string value owns its text, and the caller's text is parsed in
  // place instead of copied.
  JSON_DETACHABLE_CHILDREN = 1 << 1,
};

class JSONReader {
 public:
  enum JsonParseError {
    JSON_NO_ERROR = 0,
    JSON_INVALID_ESCAPE,
    JSON_SYNTAX_ERROR,
    JSON_UNEXPECTED_TOKEN,
    JSON_TRAILING_COMMA,
    JSON_TOO_MUCH_NESTING,
    JSON_UNEXPECTED_DATA_AFTER_ROOT,
    JSON_UNSUPPORTED_ENCODING,
    JSON_UNQUOTED_DICTIONARY_KEY,
  };

  static const char kInvalidEscape[];
  static const char kSyntaxError[];
  static const char kUnexpectedToken[];
  static const char kTrailingComma[];
  static const char kTooMuchNesting[];
  static const char kUnexpectedDataAfterRoot[];
  static const char kUnsupportedEncoding[];
  static const char kUnquotedDictionaryKey[];

  explicit JSONReader(int options = JSON_PARSE_RFC);
  ~JSONReader();

  JSONReader(const JSONReader&) = delete;
  JSONReader& operator=(const JSONReader&) = delete;

  // The root value (the caller owns it), or null on any error.
  static Value* Read(const StringPiece& json);
  static Value* Read(const StringPiece& json, int options);

  // Like Read; on failure the error code and message go to whichever
  // out-pointer is not null.
  static Value* ReadAndReturnError(const StringPiece& json, int options,
                                   int* error_code_out,
                                   std::string* error_msg_out);

  // The text of an error code; empty for JSON_NO_ERROR and unknown codes.
  static std::string ErrorCodeToString(JsonParseError error_code);

  // Parses with this reader's parser; the caller owns the result.
  Value* ReadToValue(const std::string& json);

  JsonParseError error_code() const;
  // "Line: L, column: C, text", or the text alone when both are 0.
  std::string GetErrorMessage() const;

 private:
  std::unique_ptr<JSONParser> parser_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_READER_H_
