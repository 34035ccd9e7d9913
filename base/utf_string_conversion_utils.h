#ifndef BASE_UTF_STRING_CONVERSION_UTILS_H_
#define BASE_UTF_STRING_CONVERSION_UTILS_H_

// Low-level readers and writers of single code points, shared by the UTF
// conversions and the UTF-8 checks of the string utilities.

#include <cstddef>
#include <cstdint>
#include <string>

namespace base {

// Below 0xD800, or from 0xE000 up to 0x10FFFF.
inline bool IsValidCodepoint(uint32_t code_point) {
  return code_point < 0xD800u ||
         (code_point >= 0xE000u && code_point <= 0x10FFFFu);
}

// A valid code point that is also no non-character (U+FDD0-U+FDEF and every
// code point whose low 16 bits are FFFE or FFFF).
inline bool IsValidCharacter(uint32_t code_point) {
  return IsValidCodepoint(code_point) &&
         !(code_point >= 0xFDD0u && code_point <= 0xFDEFu) &&
         (code_point & 0xFFFEu) != 0xFFFEu;
}

// Reads one UTF-8 code point at *index of src[0, length) and moves *index past
// the bytes it consumed (at least one). Returns false for a bad sequence,
// which consumes the lead byte and those following bytes that could belong
// to it.
bool ReadUtf8CodePoint(const char* src, size_t length, size_t* index,
                       uint32_t* code_point);

// Reads one UTF-16 code point (a unit or a surrogate pair) at *index and
// moves *index past it. A lone surrogate is an error that consumes one unit.
bool ReadUtf16CodePoint(const wchar_t* src, size_t length, size_t* index,
                        uint32_t* code_point);

// Append a valid code point.
void WriteUtf8CodePoint(uint32_t code_point, std::string* output);
void WriteUtf16CodePoint(uint32_t code_point, std::wstring* output);

}  // namespace base

#endif  // BASE_UTF_STRING_CONVERSION_UTILS_H_
