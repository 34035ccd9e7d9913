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

// Posts |parameters| and the contents of |files| to |url| (http or https)
// with |extra_headers| added as "Name:value". |timeout_ms|, when given, sets
// the connect, send and receive time-outs of the request. |status| (when
// given) receives the HTTP status, 0 until a status line was read; |response|
// (when given) receives the reply text decoded from UTF-8. True only when the
// server answered 200 and the whole reply was read.
bool SendRequest(const std::wstring& url, const StringMap& extra_headers,
                 const StringMap& parameters, const StringMap& files,
                 const int* timeout_ms, std::wstring* response, int* status);

// Reads the reply body of |request|. False when a read failed, the reply
// exceeds kMaxResponseBytes, its Content-Length is not a decimal number, or
// fewer or more bytes came than it claims.
bool ReadResponse(HINTERNET request, std::wstring* response);

// Parses a decimal number of at most 20 digits without overflow.
bool ParseDecimal(const wchar_t* text, unsigned long long* value);

}  // namespace http_upload

#endif  // UPLOAD_HTTP_UPLOAD_H_
