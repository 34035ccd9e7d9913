// Percent-escaping and unescaping of URL pieces. Escaped bytes use
// upper-case hexadecimal digits. Buffer forms write at most |capacity|
// bytes, always zero-terminated, and return the length written; they stop
// escaping where the next escape would not fit.

#ifndef UPLOAD_JOV_UPLOAD_URL_ESCAPE_H_
#define UPLOAD_JOV_UPLOAD_URL_ESCAPE_H_

#include <stddef.h>

#include <string>

namespace jov_upload {

// Keeps ASCII letters, digits and "-_.!~*'()"; escapes everything else.
std::string UrlEscape(const std::string& text);
size_t UrlEscapeToBuffer(const char* text, char* out, size_t capacity);

// As UrlEscape, with a space written as "+".
std::string UrlEscapePlus(const std::string& text);
size_t UrlEscapePlusToBuffer(const char* text, char* out, size_t capacity);

// Escapes only control bytes, the space, bytes from 128 up and the
// characters \ " ^ & ` < > [ ] { }.
std::string UrlEscapeReserved(const std::string& text);
size_t UrlEscapeReservedToBuffer(const char* text, char* out,
                                 size_t capacity);

// "%XY" gives the byte XY; a "%" not followed by two hexadecimal digits
// gives "?". The Plus forms also turn "+" into a space. |out| must hold
// strlen(text) + 1 bytes.
std::string UrlUnescape(const std::string& text);
std::string UrlUnescapePlus(const std::string& text);
size_t UrlUnescapeToBuffer(const char* text, char* out);
size_t UrlUnescapePlusToBuffer(const char* text, char* out);

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_URL_ESCAPE_H_
