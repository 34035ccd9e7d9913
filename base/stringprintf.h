#ifndef BASE_STRINGPRINTF_H_
#define BASE_STRINGPRINTF_H_

// printf-style formatting into std::string and std::wstring. Wide formats
// must spell narrow and wide string arguments as %hs and %ls: the runtime here
// reads a plain %s in a wide format as a narrow string.

#include <cstdarg>
#include <cstddef>
#include <string>

namespace base {

std::string StringPrintf(const char* format, ...)
    __attribute__((format(gnu_printf, 1, 2)));
std::wstring StringPrintf(const wchar_t* format, ...);

std::string StringPrintV(const char* format, va_list ap)
    __attribute__((format(gnu_printf, 1, 0)));

// Clears dst, formats into it and returns it.
const std::string& SStringPrintf(std::string* dst, const char* format, ...)
    __attribute__((format(gnu_printf, 2, 3)));
const std::wstring& SStringPrintf(std::wstring* dst, const wchar_t* format,
                                  ...);

// Appends to dst. When formatting fails or the text would need more than
// 32 Mi characters, dst is left as it was.
void StringAppendF(std::string* dst, const char* format, ...)
    __attribute__((format(gnu_printf, 2, 3)));
void StringAppendF(std::wstring* dst, const wchar_t* format, ...);
void StringAppendV(std::string* dst, const char* format, va_list ap)
    __attribute__((format(gnu_printf, 2, 0)));
void StringAppendV(std::wstring* dst, const wchar_t* format, va_list ap);

namespace internal {

// StringAppendV over a given formatting engine, so that both engine
// conventions for a cut-short text can be exercised.
typedef int (*NarrowFormatEngine)(char*, size_t, const char*, va_list);
typedef int (*WideFormatEngine)(wchar_t*, size_t, const wchar_t*, va_list);
void StringAppendVWithEngine(NarrowFormatEngine engine, std::string* dst,
                             const char* format, va_list ap);
void StringAppendVWithEngine(WideFormatEngine engine, std::wstring* dst,
                             const wchar_t* format, va_list ap);

}  // namespace internal

}  // namespace base

#endif  // BASE_STRINGPRINTF_H_
