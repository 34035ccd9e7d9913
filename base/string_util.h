#ifndef BASE_STRING_UTIL_H_
#define BASE_STRING_UTIL_H_

// Helpers over narrow text (std::string) and UTF-16 text (string16): trimming,
// ASCII tests and comparisons, prefix and suffix tests, tokenizing, replacing,
// joining, pattern matching, and the bounded copy and format primitives.

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/string16.h"
#include "base/string_piece.h"

namespace base {

// Bounded copies: copy until the terminator or until size - 1 characters, the
// destination always ends in a terminator when size is not 0. The result is
// the full length of src, so a result >= dst_size means the copy was cut.
size_t strlcpy(char* dst, const char* src, size_t dst_size);
size_t wcslcpy(wchar_t* dst, const wchar_t* src, size_t dst_size);

// Bounded formatting. When the text does not fit, the buffer becomes the
// empty string and the result is the length the whole text needs. A negative
// result means the format itself failed.
int vsnprintf(char* buffer, size_t size, const char* format, va_list arguments)
    __attribute__((format(gnu_printf, 3, 0)));
int snprintf(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));
int vswprintf(wchar_t* buffer, size_t size, const wchar_t* format,
              va_list arguments);
int swprintf(wchar_t* buffer, size_t size, const wchar_t* format, ...);

// The empty strings, for functions returning a const reference.
const std::string& EmptyString();
const std::wstring& EmptyWString();
const string16& EmptyString16();

// Whitespace sets, NUL-terminated.
extern const wchar_t kWhitespaceWide[];
extern const char16 kWhitespaceUTF16[];
extern const char kWhitespaceASCII[];
// The UTF-8 byte-order mark, EF BB BF.
extern const char kUtf8ByteOrderMark[];

// ASCII character classes. They take any integer type; a narrow char is
// looked at as its unsigned byte value, so bytes >= 0x80 never match.
template <typename Char>
inline bool IsAsciiWhitespace(Char c) {
  return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}
template <typename Char>
inline bool IsAsciiAlpha(Char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
template <typename Char>
inline bool IsAsciiDigit(Char c) {
  return c >= '0' && c <= '9';
}
template <typename Char>
inline bool IsHexDigit(Char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') ||
         (c >= 'a' && c <= 'f');
}
// The value of a hexadecimal digit; call only when IsHexDigit(c).
template <typename Char>
inline int HexDigitToInt(Char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c - 'a' + 10;
}
template <typename Char>
inline Char ToLowerASCII(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}
template <typename Char>
inline Char ToUpperASCII(Char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<Char>(c - ('a' - 'A')) : c;
}
template <typename Str>
inline void StringToLowerASCII(Str* s) {
  for (auto& c : *s) c = ToLowerASCII(c);
}
template <typename Str>
inline Str StringToLowerASCII(const Str& s) {
  Str result(s);
  StringToLowerASCII(&result);
  return result;
}
template <typename Str>
inline void StringToUpperASCII(Str* s) {
  for (auto& c : *s) c = ToUpperASCII(c);
}
template <typename Str>
inline Str StringToUpperASCII(const Str& s) {
  Str result(s);
  StringToUpperASCII(&result);
  return result;
}

// Trimming.
enum TrimPositions {
  TRIM_NONE = 0,
  TRIM_LEADING = 1 << 0,
  TRIM_TRAILING = 1 << 1,
  TRIM_ALL = TRIM_LEADING | TRIM_TRAILING,
};

// Trims the characters of trim_chars from both ends; true when any went.
bool TrimString(const std::wstring& input, const wchar_t trim_chars[],
                std::wstring* output);
bool TrimString(const std::string& input, const char trim_chars[],
                std::string* output);

// Trim the UTF-16 (or ASCII) whitespace set from the ends asked for. The
// result is the ends actually trimmed, or the ends asked for when the whole
// text was whitespace (then the output is empty). output may be &input.
TrimPositions TrimWhitespace(const string16& input, TrimPositions positions,
                             string16* output);
TrimPositions TrimWhitespaceASCII(const std::string& input,
                                  TrimPositions positions,
                                  std::string* output);

// Every run of whitespace becomes one space and the ends go. With
// trim_sequences_with_line_breaks, a run holding CR or LF after other text
// is removed entirely.
std::wstring CollapseWhitespace(const std::wstring& text,
                                bool trim_sequences_with_line_breaks);
std::string CollapseWhitespace(const std::string& text,
                                    bool trim_sequences_with_line_breaks);

bool ContainsOnlyWhitespaceASCII(const std::string& str);
bool ContainsOnlyWhitespace(const string16& str);

// True when every character of input occurs in characters.
bool ContainsOnlyChars(const std::wstring& input,
                       const std::wstring& characters);
bool ContainsOnlyChars(const std::string& input,
                       const std::string& characters);

bool IsStringASCII(const StringPiece& str);
bool IsStringASCII(const string16& str);

// True for well-formed UTF-8 holding no surrogate, nothing above U+10FFFF
// and no non-character.
bool IsStringUTF8(const std::string& str);

// Cuts input to at most byte_size bytes without splitting a character.
void TruncateUTF8ToByteSize(const std::string& input, size_t byte_size,
                            std::string* output);

// One byte per unit; false (output cleared) when a unit is above 255.
bool WideToLatin1(const string16& wide, std::string* latin1);

// Compare against lower-case ASCII b, lowering only 'A'-'Z' in the text.
bool LowerCaseEqualsASCII(const std::string& a, const char* b);
bool LowerCaseEqualsASCII(const string16& a, const char* b);
bool LowerCaseEqualsASCII(std::string::const_iterator a_begin,
                          std::string::const_iterator a_end, const char* b);
bool LowerCaseEqualsASCII(string16::const_iterator a_begin,
                          string16::const_iterator a_end, const char* b);
bool LowerCaseEqualsASCII(const char* a_begin, const char* a_end,
                          const char* b);
bool LowerCaseEqualsASCII(const char16* a_begin, const char16* a_end,
                          const char* b);

// Equal lengths and each unit equal to the ASCII byte.
bool EqualsASCII(const string16& a, const StringPiece& b);

bool StartsWithASCII(const std::string& str, const std::string& search,
                     bool case_sensitive);
bool StartsWith(const string16& str, const string16& search,
                bool case_sensitive);
bool EndsWith(const std::string& str, const std::string& search,
              bool case_sensitive);
bool EndsWith(const string16& str, const string16& search,
              bool case_sensitive);

// False when the format holds a conversion that differs between wprintf
// implementations (%c or %s without 'l', or %C %D %F %O %S %U).
bool IsWprintfFormatPortable(const wchar_t* format);

// Replace the first (or every) occurrence of find_this at or after
// start_offset. An empty find_this changes nothing.
void ReplaceFirstSubstringAfterOffset(string16* str, size_t start_offset,
                                      const string16& find_this,
                                      const string16& replace_with);
void ReplaceFirstSubstringAfterOffset(std::string* str, size_t start_offset,
                                      const std::string& find_this,
                                      const std::string& replace_with);
void ReplaceSubstringsAfterOffset(string16* str, size_t start_offset,
                                  const string16& find_this,
                                  const string16& replace_with);
void ReplaceSubstringsAfterOffset(std::string* str, size_t start_offset,
                                  const std::string& find_this,
                                  const std::string& replace_with);

// output = input with every character of replace_chars replaced by
// replace_with (or removed); true when any was.
bool ReplaceChars(const string16& input, const char16 replace_chars[],
                  const string16& replace_with, string16* output);
bool ReplaceChars(const std::string& input, const char replace_chars[],
                  const std::string& replace_with, std::string* output);
bool RemoveChars(const string16& input, const char16 remove_chars[],
                 string16* output);
bool RemoveChars(const std::string& input, const char remove_chars[],
                 std::string* output);

std::string JoinString(const std::vector<std::string>& parts, char s);
string16 JoinString(const std::vector<string16>& parts, char16 s);
std::string JoinString(const std::vector<std::string>& parts,
                       const std::string& separator);
string16 JoinString(const std::vector<string16>& parts,
                    const string16& separator);

// "$1".."$N" insert subst[0]..subst[N-1]; "$$" writes "$". offsets, when
// given, receives the output offsets of the insertions in placeholder order.
string16 ReplaceStringPlaceholders(const string16& format_string,
                                   const std::vector<string16>& subst,
                                   std::vector<size_t>* offsets);
std::string ReplaceStringPlaceholders(const StringPiece& format_string,
                                      const std::vector<std::string>& subst,
                                      std::vector<size_t>* offsets);

// '*' matches any run, '?' one character or none, '\' quotes the next one.
bool MatchPattern(const StringPiece& string, const StringPiece& pattern);
bool MatchPattern(const string16& string, const string16& pattern);

// "1.5 kB" style text for a byte count.
string16 FormatBytes(int64_t bytes);

// Splits str into the maximal runs of characters not in delimiters; clears
// tokens first and returns the count.
size_t Tokenize(const std::string& str, const std::string& delimiters,
                std::vector<std::string>* tokens);
size_t Tokenize(const string16& str, const string16& delimiters,
                std::vector<string16>* tokens);
size_t Tokenize(const StringPiece& str, const StringPiece& delimiters,
                std::vector<StringPiece>* tokens);

// Resizes str to length_with_null - 1 and returns a writable pointer to its
// characters, for APIs that fill a caller's buffer. Returns null when
// length_with_null is below 2.
template <class Str>
inline typename Str::value_type* WriteInto(Str* str, size_t length_with_null) {
  if (length_with_null < 2) return nullptr;
  str->reserve(length_with_null);
  str->resize(length_with_null - 1);
  return &((*str)[0]);
}

}  // namespace base

#endif  // BASE_STRING_UTIL_H_
