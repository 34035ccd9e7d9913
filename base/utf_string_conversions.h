#ifndef BASE_UTF_STRING_CONVERSIONS_H_
#define BASE_UTF_STRING_CONVERSIONS_H_

// UTF-8 <-> UTF-16 conversions done by the library itself. Every invalid
// sequence becomes U+FFFD; the core forms report through their bool whether
// any replacement was made. Texts longer than INT_MAX units are refused:
// the output is empty and the core returns false.

#include <cstddef>
#include <string>

#include "base/string16.h"
#include "base/string_piece.h"

namespace base {

bool UTF8ToUTF16(const char* src, size_t src_len, string16* output);
string16 UTF8ToUTF16(const StringPiece& utf8);
bool UTF8ToWide(const char* src, size_t src_len, std::wstring* output);
std::wstring UTF8ToWide(const StringPiece& utf8);

bool UTF16ToUTF8(const char16* src, size_t src_len, std::string* output);
std::string UTF16ToUTF8(const string16& utf16);
bool WideToUTF8(const wchar_t* src, size_t src_len, std::string* output);
std::string WideToUTF8(const std::wstring& wide);

// string16 and std::wstring are the same type here: these are copies.
bool WideToUTF16(const wchar_t* src, size_t src_len, string16* output);
string16 WideToUTF16(const std::wstring& wide);
bool UTF16ToWide(const char16* src, size_t src_len, std::wstring* output);
std::wstring UTF16ToWide(const string16& utf16);

// Each byte becomes one unit of the same value (bytes are not sign-
// extended). Meant for ASCII input, which is not checked.
string16 ASCIIToUTF16(const StringPiece& ascii);
std::wstring ASCIIToWide(const StringPiece& ascii);

// Each unit's low byte becomes one byte. Meant for ASCII input, which is
// not checked; test with IsStringASCII first where the text may be anything.
std::string UTF16ToASCII(const string16& utf16);
std::string WideToASCII(const std::wstring& wide);

}  // namespace base

#endif  // BASE_UTF_STRING_CONVERSIONS_H_
