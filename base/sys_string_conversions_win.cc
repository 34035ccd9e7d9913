#include "base/sys_string_conversions.h"

#include <windows.h>

#include <climits>

namespace base {

namespace {
const uint32_t kAnsiCodePage = CP_ACP;
const uint32_t kUtf8CodePage = CP_UTF8;
}  // namespace

std::wstring SysMultiByteToWide(const StringPiece& mb, uint32_t code_page) {
  if (mb.empty() || mb.size() > static_cast<size_t>(INT_MAX))
    return std::wstring();
  const int mb_length = static_cast<int>(mb.size());
  const int wide_length =
      MultiByteToWideChar(code_page, 0, mb.data(), mb_length, nullptr, 0);
  if (wide_length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  MultiByteToWideChar(code_page, 0, mb.data(), mb_length, &wide[0],
                      wide_length);
  return wide;
}

std::string SysWideToMultiByte(const std::wstring& wide, uint32_t code_page) {
  if (wide.empty() || wide.size() > static_cast<size_t>(INT_MAX))
    return std::string();
  const int wide_length = static_cast<int>(wide.size());
  const int mb_length = WideCharToMultiByte(code_page, 0, wide.data(),
                                            wide_length, nullptr, 0, nullptr,
                                            nullptr);
  if (mb_length <= 0) return std::string();
  std::string mb(static_cast<size_t>(mb_length), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), wide_length, &mb[0],
                      mb_length, nullptr, nullptr);
  return mb;
}

std::wstring SysNativeMBToWide(const StringPiece& native_mb) {
  return SysMultiByteToWide(native_mb, kAnsiCodePage);
}

std::string SysWideToNativeMB(const std::wstring& wide) {
  return SysWideToMultiByte(wide, kAnsiCodePage);
}

std::wstring SysUTF8ToWide(const StringPiece& utf8) {
  return SysMultiByteToWide(utf8, kUtf8CodePage);
}

std::string SysWideToUTF8(const std::wstring& wide) {
  return SysWideToMultiByte(wide, kUtf8CodePage);
}

}  // namespace base
