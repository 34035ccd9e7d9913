// One multipart/form-data POST over WinINet.

#ifndef UPLOAD_HTTP_UPLOAD_H_
#define UPLOAD_HTTP_UPLOAD_H_

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string>

#include "upload/multipart_form.h"

namespace http_upload {

// The most response bytes kept; a longer reply counts as a failure. The
// feedback endpoint answers with a short text.
const size_t kMaxResponseBytes = 4 * 1024 * 1024;

// The longest one post may take, from connecting to the last reply byte.
// The zipped BI log is small (kilobytes to a few megabytes), and the crash
// flow keeps the crashed client blocked while it posts, twice at most: a
// minute per post lets a slow link deliver it and still bounds the wait when
// a server drips its reply a byte at a time.
const unsigned kPostDeadlineMs = 60 * 1000;

// Posts |parameters| and the contents of |files| to |url| (http or https)
// with |extra_headers| added as "Name:value". |timeout_ms|, when given, sets
// the connect, send and receive time-outs of the request. |status| (when
// given) receives the HTTP status, 0 until a status line was read; |response|
// (when given) receives the reply text decoded from UTF-8. True only when the
// server answered 200 and the whole reply was read within kPostDeadlineMs.
// Redirects are not followed: a 3xx reply is a failure with its status.
bool SendRequest(const std::wstring& url, const StringMap& extra_headers,
                 const StringMap& parameters, const StringMap& files,
                 const int* timeout_ms, std::wstring* response, int* status);

// Shortens the deadline of every later post (0 restores kPostDeadlineMs).
void SetPostDeadlineMsForTesting(unsigned deadline_ms);

// A post's worker thread lives on past an abandoned post, until WinINet's
// own time-outs end it. Each holds one of these, so that the process can
// wait for them before it ends rather than cut a post off.
class ScopedPostWorker {
 public:
  ScopedPostWorker();
  ~ScopedPostWorker();
  ScopedPostWorker(const ScopedPostWorker&) = delete;
  ScopedPostWorker& operator=(const ScopedPostWorker&) = delete;
};

// Waits at most |timeout_ms| until no post worker runs; true when none does.
bool WaitForPostWorkers(unsigned timeout_ms);

// Reads the reply body of |request|. False when a read failed, the reply
// exceeds kMaxResponseBytes, its Content-Length is not a decimal number (or
// too long to read), or fewer or more bytes came than it claims.
bool ReadResponse(HINTERNET request, std::wstring* response);

// Parses a decimal number of at most 20 digits without overflow.
bool ParseDecimal(const wchar_t* text, unsigned long long* value);

}  // namespace http_upload

#endif  // UPLOAD_HTTP_UPLOAD_H_
