#include "upload/test_endpoint_port.h"

#include <windows.h>

#include <cwchar>

namespace {

const wchar_t kUnsetTestPort[] = L"9";

// The decimal number in |variable|, or 0 when it is unset or not one.
long ReadDecimal(const wchar_t* variable) {
  wchar_t text[16] = {};
  const DWORD length = GetEnvironmentVariableW(variable, text,
                                               sizeof(text) / sizeof(text[0]));
  if (length == 0 || length >= sizeof(text) / sizeof(text[0])) return 0;
  wchar_t* end = nullptr;
  const long value = std::wcstol(text, &end, 10);
  if (end == text || *end != L'\0') return 0;
  return value;
}

}  // namespace

std::wstring ReadTestEndpointPort(const wchar_t* variable) {
  const long port = ReadDecimal(variable);
  if (port < 1 || port > 65535) return kUnsetTestPort;
  return std::to_wstring(port);
}

int ReadTestTimeoutMs(const wchar_t* variable, int fallback, int longest) {
  const long timeout_ms = ReadDecimal(variable);
  if (timeout_ms < 1 || timeout_ms > longest) return fallback;
  return static_cast<int>(timeout_ms);
}
