#include "upload/feedback_endpoint.h"

#if defined(QV_TEST_ENDPOINTS)
#include <windows.h>

#include <cwchar>
#endif

namespace {

#if defined(QV_TEST_ENDPOINTS)

// Nothing listens on the discard port, so a test that forgot to name its
// fake server fails fast and stays on this machine.
const wchar_t kUnsetTestPort[] = L"9";

std::wstring TestPort() {
  wchar_t text[16] = {};
  const DWORD length = GetEnvironmentVariableW(L"QV_TEST_FEEDBACK_PORT", text,
                                               sizeof(text) / sizeof(text[0]));
  if (length == 0 || length >= sizeof(text) / sizeof(text[0]))
    return kUnsetTestPort;
  wchar_t* end = nullptr;
  const long port = std::wcstol(text, &end, 10);
  if (end == text || *end != L'\0' || port < 1 || port > 65535)
    return kUnsetTestPort;
  return text;
}

#else

// A reserved name that never resolves: the real host is set by the
// deployment, and a build without it reaches nothing.
const wchar_t kFeedbackHostUrl[] = L"https://feedback.quillavera.invalid";

#endif

}  // namespace

std::wstring GetFeedbackHostUrl() {
#if defined(QV_TEST_ENDPOINTS)
  return L"http://127.0.0.1:" + TestPort();
#else
  return kFeedbackHostUrl;
#endif
}

std::wstring GetFeedbackLogUrl() {
  return GetFeedbackHostUrl() + L"/api/feedback/client/log";
}

std::wstring GetFeedbackAnalyzeUrl() {
  return GetFeedbackHostUrl() + L"/api/feedback/analyze/log";
}
