#ifndef BASE_STRING16_H_
#define BASE_STRING16_H_

// UTF-16 text. This library is built for Windows only, where wchar_t is a
// 16-bit unit, so the UTF-16 string is simply the wide string and conversions
// between the two are plain copies.

#include <string>

static_assert(sizeof(wchar_t) == 2, "string16 needs a 16-bit wchar_t");

typedef wchar_t char16;
typedef std::wstring string16;

#endif  // BASE_STRING16_H_
