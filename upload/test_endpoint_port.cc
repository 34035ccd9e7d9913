#include "upload/test_endpoint_port.h"

#include <windows.h>

#include <cwchar>

namespace {

const wchar_t kUnsetTestPort[] = L"9";

}  // namespace

std::wstring ReadTestEndpointPort(const wchar_t* variable) {
  wchar_t text[16] = {};
  const DWORD length = GetEnvironmentVariableW(variable, text,
                                               sizeof(text) / sizeof(text[0]));
  if (length == 0 || length >= sizeof(text) / sizeof(text[0]))
    return kUnsetTestPort;
  wchar_t* end = nullptr;
  const long port = std::wcstol(text, &end, 10);
  if (end == text || *end != L'\0' || port < 1 || port > 65535)
    return kUnsetTestPort;
  return text;
}
