// Quoting one text as a JSON string literal.
//
// '\b', '\t', '\n', '\f', '\r', '"' and '\\' get their two-character escapes;
// other printable ASCII except '<' and '>' is copied; everything else is
// written as \uXXXX (upper-case digits) of the unit: each byte of the narrow
// form, each UTF-16 unit (surrogates included) of the wide form.

#ifndef BASE_JSON_STRING_ESCAPE_H_
#define BASE_JSON_STRING_ESCAPE_H_

#include <string>

#include "base/string16.h"
#include "base/string_piece.h"

namespace base {

// Append the escaped text to |dest|, between double quotes when
// |put_in_quotes| is set.
void EscapeJsonString(const StringPiece& str, bool put_in_quotes,
                      std::string* dest);
void EscapeJsonString(const string16& str, bool put_in_quotes,
                      std::string* dest);

// The escaped text between double quotes, as a new string.
std::string GetDoubleQuotedJson(const std::string& str);
std::string GetDoubleQuotedJson(const string16& str);

}  // namespace base

#endif  // BASE_JSON_STRING_ESCAPE_H_
