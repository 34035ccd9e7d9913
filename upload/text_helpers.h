// Wide/narrow text helpers of the product side, used by the uploaders and the
// crash reporter. UTF-8 is code page 65001.

#ifndef UPLOAD_TEXT_HELPERS_H_
#define UPLOAD_TEXT_HELPERS_H_

#include <string>

// Converts the whole of |wide| (embedded zeros included) to |code_page|.
// Empty input or a failed conversion gives an empty string.
std::string WideToMultiByte(const std::wstring& wide, unsigned int code_page);

// WideToMultiByte with UTF-8.
std::string WideToUtf8(const std::wstring& wide);

// Converts |utf8| up to its first zero byte from UTF-8. Empty input or a
// failed conversion gives an empty string; invalid sequences become U+FFFD.
std::wstring Utf8ToWide(const std::string& utf8);

// The current local time as "%Y-%m-%dT%H:%M:%S", no zone.
std::string GetCurrentTimeString();

#endif  // UPLOAD_TEXT_HELPERS_H_
