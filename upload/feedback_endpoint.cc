#include "upload/feedback_endpoint.h"

#include "upload/report_sender.h"

#if defined(QV_TEST_ENDPOINTS)
#include "upload/test_endpoint_port.h"
#endif

namespace {

#if !defined(QV_TEST_ENDPOINTS)

// A reserved name that never resolves: the real host is set by the
// deployment, and a build without it reaches nothing.
const wchar_t kFeedbackHostUrl[] = L"https://feedback.quillavera.invalid";

#endif

}  // namespace

std::wstring GetFeedbackHostUrl() {
#if defined(QV_TEST_ENDPOINTS)
  return L"http://127.0.0.1:" + ReadTestEndpointPort(L"QV_TEST_FEEDBACK_PORT");
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

int GetFeedbackPostTimeoutMs() {
#if defined(QV_TEST_ENDPOINTS)
  // Only shorter: a test waits less for a silent service.
  return ReadTestTimeoutMs(L"QV_TEST_POST_TIMEOUT_MS",
                           ReportSender::kDefaultTimeoutMs,
                           ReportSender::kDefaultTimeoutMs);
#else
  return ReportSender::kDefaultTimeoutMs;
#endif
}
