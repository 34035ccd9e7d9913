// Compiled-in addresses of the feedback service, and how long a post to it
// may take. A test build (QV_TEST_ENDPOINTS) points them at 127.0.0.1 on the
// port named by the environment variable QV_TEST_FEEDBACK_PORT, and lets
// QV_TEST_POST_TIMEOUT_MS shorten the time-out.

#ifndef UPLOAD_FEEDBACK_ENDPOINT_H_
#define UPLOAD_FEEDBACK_ENDPOINT_H_

#include <string>

// Scheme and host of the feedback service, no trailing slash.
std::wstring GetFeedbackHostUrl();

// Where the zipped BI log is posted.
std::wstring GetFeedbackLogUrl();

// The service's analysis path on the same host.
std::wstring GetFeedbackAnalyzeUrl();

// The time-out of one post, in milliseconds.
int GetFeedbackPostTimeoutMs();

#endif  // UPLOAD_FEEDBACK_ENDPOINT_H_
