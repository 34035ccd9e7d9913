#include "base/json/string_escape.h"

#include <cstdio>
#include <type_traits>

namespace base {

namespace {

// Appends the escape of |c| when it needs one and says whether it did.
bool EscapeSpecialCodePoint(unsigned c, std::string* dest) {
  switch (c) {
    case '\b':
      dest->append("\\b");
      return true;
    case '\f':
      dest->append("\\f");
      return true;
    case '\n':
      dest->append("\\n");
      return true;
    case '\r':
      dest->append("\\r");
      return true;
    case '\t':
      dest->append("\\t");
      return true;
    case '\\':
      dest->append("\\\\");
      return true;
    case '"':
      dest->append("\\\"");
      return true;
    default:
      return false;
  }
}

template <typename Unit>
void AppendEscaped(const Unit* text, size_t length, bool put_in_quotes,
                   std::string* dest) {
  if (put_in_quotes) dest->push_back('"');
  for (size_t i = 0; i < length; ++i) {
    // Bytes of the narrow form are taken as unsigned values.
    unsigned c = static_cast<unsigned>(
        static_cast<typename std::make_unsigned<Unit>::type>(text[i]));
    if (EscapeSpecialCodePoint(c, dest)) continue;
    if (c >= 0x20 && c <= 0x7E && c != '<' && c != '>') {
      dest->push_back(static_cast<char>(c));
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof(escape), "\\u%04X", c);
    dest->append(escape);
  }
  if (put_in_quotes) dest->push_back('"');
}

}  // namespace

void EscapeJsonString(const StringPiece& str, bool put_in_quotes,
                      std::string* dest) {
  AppendEscaped(str.data(), str.size(), put_in_quotes, dest);
}

void EscapeJsonString(const string16& str, bool put_in_quotes,
                      std::string* dest) {
  AppendEscaped(str.data(), str.size(), put_in_quotes, dest);
}

std::string GetDoubleQuotedJson(const std::string& str) {
  std::string dest;
  EscapeJsonString(StringPiece(str), true, &dest);
  return dest;
}

std::string GetDoubleQuotedJson(const string16& str) {
  std::string dest;
  EscapeJsonString(str, true, &dest);
  return dest;
}

}  // namespace base
