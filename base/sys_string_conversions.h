#ifndef BASE_SYS_STRING_CONVERSIONS_H_
#define BASE_SYS_STRING_CONVERSIONS_H_

// Conversions through a Windows code page, done by the operating system.
// Invalid input is replaced by whatever the system substitutes. An empty
// input, a text the system refuses, or one longer than INT_MAX gives an
// empty result.

#include <cstdint>
#include <string>

#include "base/string_piece.h"

namespace base {

std::wstring SysMultiByteToWide(const StringPiece& mb, uint32_t code_page);
std::string SysWideToMultiByte(const std::wstring& wide, uint32_t code_page);

// Code page 0, the system's ANSI code page.
std::wstring SysNativeMBToWide(const StringPiece& native_mb);
std::string SysWideToNativeMB(const std::wstring& wide);

// Code page 65001, UTF-8.
std::wstring SysUTF8ToWide(const StringPiece& utf8);
std::string SysWideToUTF8(const std::wstring& wide);

}  // namespace base

#endif  // BASE_SYS_STRING_CONVERSIONS_H_
