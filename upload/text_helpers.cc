#include "upload/text_helpers.h"

#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

const unsigned int kUtf8CodePage = 65001;

}  // namespace

std::string WideToMultiByte(const std::wstring& wide, unsigned int code_page) {
  if (wide.empty() || wide.size() > static_cast<size_t>(INT_MAX))
    return std::string();
  const int wide_length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(code_page, 0, wide.data(), wide_length,
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return std::string();
  std::string narrow(static_cast<size_t>(size), '\0');
  const int written = WideCharToMultiByte(code_page, 0, wide.data(),
                                          wide_length, &narrow[0], size,
                                          nullptr, nullptr);
  if (written <= 0)
    return std::string();
  narrow.resize(static_cast<size_t>(written));
  return narrow;
}

std::string WideToUtf8(const std::wstring& wide) {
  return WideToMultiByte(wide, kUtf8CodePage);
}

std::wstring Utf8ToWide(const std::string& utf8) {
  const size_t length = std::strlen(utf8.c_str());
  if (length == 0 || length > static_cast<size_t>(INT_MAX))
    return std::wstring();
  const int narrow_length = static_cast<int>(length);
  const int size = MultiByteToWideChar(kUtf8CodePage, 0, utf8.c_str(),
                                       narrow_length, nullptr, 0);
  if (size <= 0)
    return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  const int written = MultiByteToWideChar(kUtf8CodePage, 0, utf8.c_str(),
                                          narrow_length, &wide[0], size);
  if (written <= 0)
    return std::wstring();
  wide.resize(static_cast<size_t>(written));
  return wide;
}

std::string GetCurrentTimeString() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u",
                static_cast<unsigned>(now.wYear),
                static_cast<unsigned>(now.wMonth),
                static_cast<unsigned>(now.wDay),
                static_cast<unsigned>(now.wHour),
                static_cast<unsigned>(now.wMinute),
                static_cast<unsigned>(now.wSecond));
  return text;
}
