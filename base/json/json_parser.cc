#include "base/json/json_parser.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "base/string_number_conversions.h"
#include "base/string_util.h"
#include "base/stringprintf.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"

namespace base {

namespace {

// At most 99 dictionaries and lists may be open at once.
const int kStackMaxDepth = 100;

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// A string value that reads its text out of the parser's copy of the input
// instead of owning it. It shares ownership of that copy, so it stays valid
// wherever it is moved: removed, erased or swapped into another tree.
class JSONStringValue : public Value {
 public:
  JSONStringValue(std::shared_ptr<const std::string> input, size_t offset,
                  size_t length)
      : Value(TYPE_STRING),
        input_(std::move(input)),
        offset_(offset),
        length_(length) {}

  bool GetAsString(std::string* out_value) const override {
    if (out_value) out_value->assign(input_->data() + offset_, length_);
    return true;
  }
  bool GetAsString(string16* out_value) const override {
    if (out_value) *out_value = UTF8ToUTF16(Piece());
    return true;
  }
  Value* DeepCopy() const override {
    return new StringValue(Piece().as_string());
  }
  bool Equals(const Value* other) const override {
    if (!other || !other->IsType(TYPE_STRING)) return false;
    std::string other_text;
    return other->GetAsString(&other_text) && StringPiece(other_text) == Piece();
  }

 private:
  StringPiece Piece() const {
    return StringPiece(input_->data() + offset_, length_);
  }

  std::shared_ptr<const std::string> input_;
  size_t offset_;
  size_t length_;
};

// Number of bytes in the UTF-8 sequence that |lead| starts; 0 when |lead|
// cannot start one.
size_t UTF8SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Depth of open containers, dropped again on every way out.
class StackMarker {
 public:
  explicit StackMarker(int* depth) : depth_(depth) { ++(*depth_); }
  ~StackMarker() { --(*depth_); }
  bool IsTooDeep() const { return *depth_ >= kStackMaxDepth; }

 private:
  int* const depth_;
};

}  // namespace

class JSONParser::StringBuilder {
 public:
  explicit StringBuilder(size_t start) : start_(start), length_(0) {}

  // Counts one more input byte while no copy exists, else appends it.
  void AppendInputByte(char c) {
    if (owned_) {
      owned_->push_back(c);
    } else {
      ++length_;
    }
  }

  // Makes the owned copy of what was counted so far; later text is appended.
  void Convert(const char* input) {
    if (!owned_) owned_.reset(new std::string(input + start_, length_));
  }

  std::string* owned() { return owned_.get(); }
  bool converted() const { return owned_ != nullptr; }
  size_t start() const { return start_; }
  size_t length() const { return length_; }

  std::string TakeText(const char* input) {
    Convert(input);
    return std::move(*owned_);
  }

 private:
  size_t start_;
  size_t length_;
  std::unique_ptr<std::string> owned_;
};

JSONParser::JSONParser(int options)
    : options_(options),
      start_(nullptr),
      length_(0),
      index_(0),
      stack_depth_(0),
      line_number_(0),
      index_last_line_(0),
      error_code_(JSONReader::JSON_NO_ERROR),
      error_line_(0),
      error_column_(0) {}

JSONParser::~JSONParser() {}

Value* JSONParser::Parse(const StringPiece& input) {
  if (options_ & JSON_DETACHABLE_CHILDREN) {
    input_copy_.reset();
    start_ = input.data();
  } else {
    input_copy_ = std::make_shared<const std::string>(input.as_string());
    start_ = input_copy_->data();
  }
  length_ = input.size();
  index_ = 0;
  stack_depth_ = 0;
  line_number_ = 1;
  index_last_line_ = 0;
  error_code_ = JSONReader::JSON_NO_ERROR;
  error_line_ = 0;
  error_column_ = 0;

  if (CanConsume(3) && std::memcmp(start_, kByteOrderMark, 3) == 0) index_ = 3;

  std::unique_ptr<Value> root(ParseToken(GetNextToken()));
  // Only white space and comments may follow the root value.
  if (root && GetNextToken() != T_END_OF_INPUT) {
    ReportError(JSONReader::JSON_UNEXPECTED_DATA_AFTER_ROOT, 1);
    root.reset();
  }
  // A lone string root owns its text, so the input copy can go.
  if (root && root->IsType(Value::TYPE_STRING))
    root.reset(root->DeepCopy());

  input_copy_.reset();
  start_ = nullptr;
  length_ = 0;
  index_ = 0;
  return root.release();
}

std::string JSONParser::GetErrorMessage() const {
  return FormatErrorMessage(error_line_, error_column_,
                            JSONReader::ErrorCodeToString(error_code_));
}

JSONParser::Token JSONParser::GetNextToken() {
  EatWhitespaceAndComments();
  if (!CanConsume(1)) return T_END_OF_INPUT;
  switch (CurrentByte()) {
    case '{':
      return T_OBJECT_BEGIN;
    case '}':
      return T_OBJECT_END;
    case '[':
      return T_ARRAY_BEGIN;
    case ']':
      return T_ARRAY_END;
    case '"':
      return T_STRING;
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
    case '-':
      return T_NUMBER;
    case 't':
      return T_BOOL_TRUE;
    case 'f':
      return T_BOOL_FALSE;
    case 'n':
      return T_NULL;
    case ',':
      return T_LIST_SEPARATOR;
    case ':':
      return T_OBJECT_PAIR_SEPARATOR;
    default:
      return T_INVALID_TOKEN;
  }
}

void JSONParser::EatWhitespaceAndComments() {
  while (CanConsume(1)) {
    switch (CurrentByte()) {
      case '\r':
      case '\n':
        // CR LF counts as one line break.
        if (!(CurrentByte() == '\n' && index_ > 0 &&
              start_[index_ - 1] == '\r')) {
          ++line_number_;
        }
        index_last_line_ = index_;
        ++index_;
        break;
      case ' ':
      case '\t':
        ++index_;
        break;
      case '/':
        if (!EatComment()) return;
        break;
      default:
        return;
    }
  }
}

bool JSONParser::EatComment() {
  if (!CanConsume(2)) return false;
  char next = start_[index_ + 1];
  if (next == '/') {
    // The line break that ends it is left for the white-space loop.
    index_ += 2;
    while (CanConsume(1) && CurrentByte() != '\r' && CurrentByte() != '\n')
      ++index_;
    return true;
  }
  if (next == '*') {
    index_ += 2;
    while (CanConsume(2)) {
      if (start_[index_] == '*' && start_[index_ + 1] == '/') {
        index_ += 2;
        return true;
      }
      ++index_;
    }
    // Unterminated: it runs to the end of the input.
    index_ = length_;
    return true;
  }
  return false;
}

Value* JSONParser::ParseToken(Token token) {
  switch (token) {
    case T_OBJECT_BEGIN:
      return ConsumeDictionary();
    case T_ARRAY_BEGIN:
      return ConsumeList();
    case T_STRING:
      return ConsumeString();
    case T_NUMBER:
      return ConsumeNumber();
    case T_BOOL_TRUE:
    case T_BOOL_FALSE:
    case T_NULL:
      return ConsumeLiteral();
    default:
      ReportError(JSONReader::JSON_UNEXPECTED_TOKEN, 1);
      return nullptr;
  }
}

Value* JSONParser::ConsumeDictionary() {
  StackMarker depth_check(&stack_depth_);
  if (depth_check.IsTooDeep()) {
    ReportError(JSONReader::JSON_TOO_MUCH_NESTING, 1);
    return nullptr;
  }

  std::unique_ptr<DictionaryValue> dict(new DictionaryValue);
  ++index_;  // The '{'.
  Token token = GetNextToken();
  while (token != T_OBJECT_END) {
    if (token != T_STRING) {
      ReportError(JSONReader::JSON_UNQUOTED_DICTIONARY_KEY, 1);
      return nullptr;
    }
    StringBuilder key(index_ + 1);
    if (!ConsumeStringRaw(&key)) return nullptr;

    if (GetNextToken() != T_OBJECT_PAIR_SEPARATOR) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
    ++index_;  // The ':'.

    Value* value = ParseToken(GetNextToken());
    if (!value) return nullptr;
    dict->SetWithoutPathExpansion(key.TakeText(start_), value);

    token = GetNextToken();
    if (token == T_LIST_SEPARATOR) {
      ++index_;
      token = GetNextToken();
      if (token == T_OBJECT_END &&
          !(options_ & JSON_ALLOW_TRAILING_COMMAS)) {
        ReportError(JSONReader::JSON_TRAILING_COMMA, 1);
        return nullptr;
      }
    } else if (token != T_OBJECT_END) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
      return nullptr;
    }
  }
  ++index_;  // The '}'.
  return dict.release();
}

Value* JSONParser::ConsumeList() {
  StackMarker depth_check(&stack_depth_);
  if (depth_check.IsTooDeep()) {
    ReportError(JSONReader::JSON_TOO_MUCH_NESTING, 1);
    return nullptr;
  }

  std::unique_ptr<ListValue> list(new ListValue);
  ++index_;  // The '['.
  Token token = GetNextToken();
  while (token != T_ARRAY_END) {
    Value* item = ParseToken(token);
    if (!item) return nullptr;
    list->Append(item);

    token = GetNextToken();
    if (token == T_LIST_SEPARATOR) {
      ++index_;
      token = GetNextToken();
      if (token == T_ARRAY_END && !(options_ & JSON_ALLOW_TRAILING_COMMAS)) {
        ReportError(JSONReader::JSON_TRAILING_COMMA, 1);
        return nullptr;
      }
    } else if (token != T_ARRAY_END) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
  }
  ++index_;  // The ']'.
  return list.release();
}

Value* JSONParser::ConsumeString() {
  StringBuilder string(index_ + 1);
  if (!ConsumeStringRaw(&string)) return nullptr;
  if (!string.converted() && !(options_ & JSON_DETACHABLE_CHILDREN)) {
    return new JSONStringValue(input_copy_, string.start(), string.length());
  }
  return new StringValue(string.TakeText(start_));
}

bool JSONParser::ConsumeStringRaw(StringBuilder* out) {
  ++index_;  // The opening quote.
  if (!CanConsume(1)) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
    return false;
  }
  while (CanConsume(1)) {
    unsigned char c = CurrentByte();
    if (c == '"') {
      ++index_;
      return true;
    }
    if (c == '\\') {
      if (!ConsumeEscape(out)) return false;
      continue;
    }
    if (c >= 0x80) {
      if (!ConsumeNonAsciiCharacter(out)) return false;
      continue;
    }
    out->AppendInputByte(static_cast<char>(c));
    ++index_;
  }
  ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
  return false;
}

bool JSONParser::ConsumeNonAsciiCharacter(StringBuilder* out) {
  size_t length = UTF8SequenceLength(CurrentByte());
  // IsStringUTF8 also refuses surrogates, non-characters and code points
  // beyond U+10FFFF.
  if (length == 0 || !CanConsume(length) ||
      !IsStringUTF8(std::string(start_ + index_, length))) {
    ReportError(JSONReader::JSON_UNSUPPORTED_ENCODING, 1);
    return false;
  }
  out->Convert(start_);
  out->owned()->append(start_ + index_, length);
  index_ += length;
  return true;
}

bool JSONParser::ConsumeEscape(StringBuilder* out) {
  out->Convert(start_);
  std::string* dest = out->owned();
  ++index_;  // The backslash.
  if (!CanConsume(1)) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, 0);
    return false;
  }
  switch (CurrentByte()) {
    case '"':
    case '\\':
    case '/':
      dest->push_back(static_cast<char>(CurrentByte()));
      break;
    case 'b':
      dest->push_back('\b');
      break;
    case 'f':
      dest->push_back('\f');
      break;
    case 'n':
      dest->push_back('\n');
      break;
    case 'r':
      dest->push_back('\r');
      break;
    case 't':
      dest->push_back('\t');
      break;
    case 'v':
      dest->push_back('\v');
      break;
    case 'x': {
      if (!CanConsume(3)) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, 1);
        return false;
      }
      int value = 0;
      if (!ReadHexDigits(2, &value)) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
        return false;
      }
      if (value < 0x80) {
        dest->push_back(static_cast<char>(value));
      } else {
        dest->append(UTF16ToUTF8(string16(1, static_cast<char16>(value))));
      }
      break;
    }
    case 'u':
      if (!CanConsume(5)) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, 0);
        return false;
      }
      if (!DecodeUTF16(dest)) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
        return false;
      }
      break;
    default:
      ReportError(JSONReader::JSON_INVALID_ESCAPE, 0);
      return false;
  }
  ++index_;  // The last byte of the escape.
  return true;
}

bool JSONParser::ReadHexDigits(size_t digits, int* value) {
  if (!CanConsume(digits + 1)) return false;
  int result = 0;
  bool valid = true;
  for (size_t i = 1; i <= digits; ++i) {
    char c = start_[index_ + i];
    // Exactly ASCII hexadecimal digits: no sign, no "0x", no space.
    if (!IsHexDigit(c)) {
      valid = false;
      continue;
    }
    result = result * 16 + HexDigitToInt(c);
  }
  // Left on the last digit either way, which is where errors are reported.
  index_ += digits;
  if (valid) *value = result;
  return valid;
}

bool JSONParser::DecodeUTF16(std::string* dest_string) {
  int high = 0;
  if (!ReadHexDigits(4, &high)) return false;

  string16 units(1, static_cast<char16>(high));
  if (high >= 0xD800 && high <= 0xDFFF) {
    // A lead surrogate must be followed by an escaped trail surrogate.
    if (high >= 0xDC00 || !CanConsume(7) || start_[index_ + 1] != '\\' ||
        start_[index_ + 2] != 'u') {
      return false;
    }
    index_ += 2;
    int low = 0;
    if (!ReadHexDigits(4, &low) || low < 0xDC00 || low > 0xDFFF) return false;
    units.push_back(static_cast<char16>(low));
  }
  // The escape \u0000 adds nothing: the text is appended up to a zero.
  if (high != 0) dest_string->append(UTF16ToUTF8(units));
  return true;
}

Value* JSONParser::ConsumeNumber() {
  size_t number_start = index_;
  if (CurrentByte() == '-') ++index_;

  if (!ReadInt(false)) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
    return nullptr;
  }
  if (CanConsume(1) && CurrentByte() == '.') {
    ++index_;
    if (!ReadInt(true)) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
  }
  if (CanConsume(1) && (CurrentByte() == 'e' || CurrentByte() == 'E')) {
    ++index_;
    if (CanConsume(1) && (CurrentByte() == '-' || CurrentByte() == '+'))
      ++index_;
    if (!ReadInt(true)) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
  }
  std::string number_text(start_ + number_start, index_ - number_start);

  switch (GetNextToken()) {
    case T_OBJECT_END:
    case T_ARRAY_END:
    case T_LIST_SEPARATOR:
    case T_END_OF_INPUT:
      break;
    default:
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
  }

  int integer = 0;
  if (StringToInt(StringPiece(number_text), &integer))
    return new FundamentalValue(integer);
  double real = 0;
  if (StringToDouble(number_text, &real) && std::isfinite(real))
    return new FundamentalValue(real);
  // Out of the double range: a failure with no error code.
  return nullptr;
}

bool JSONParser::ReadInt(bool allow_leading_zeros) {
  size_t digits = 0;
  while (CanConsume(digits + 1) && IsAsciiDigit(start_[index_ + digits]))
    ++digits;
  if (digits == 0) return false;
  if (!allow_leading_zeros && digits > 1 && start_[index_] == '0')
    return false;
  index_ += digits;
  return true;
}

Value* JSONParser::ConsumeLiteral() {
  const char* literal = nullptr;
  switch (CurrentByte()) {
    case 't':
      literal = "true";
      break;
    case 'f':
      literal = "false";
      break;
    default:
      literal = "null";
      break;
  }
  size_t length = std::strlen(literal);
  if (!CanConsume(length) ||
      std::memcmp(start_ + index_, literal, length) != 0) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
    return nullptr;
  }
  index_ += length;
  if (literal[0] == 'n') return Value::CreateNullValue();
  return new FundamentalValue(literal[0] == 't');
}

void JSONParser::ReportError(JSONReader::JsonParseError code,
                             int column_adjust) {
  error_code_ = code;
  error_line_ = line_number_;
  error_column_ =
      static_cast<int>(index_) - static_cast<int>(index_last_line_) +
      column_adjust;
}

// static
std::string JSONParser::FormatErrorMessage(int line, int column,
                                           const std::string& description) {
  if (line || column)
    return StringPrintf("Line: %i, column: %i, %s", line, column,
                        description.c_str());
  return description;
}

}  // namespace base
