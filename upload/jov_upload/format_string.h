// printf-style formatting into a std::string, for the upload client's
// message texts.

#ifndef UPLOAD_JOV_UPLOAD_FORMAT_STRING_H_
#define UPLOAD_JOV_UPLOAD_FORMAT_STRING_H_

#include <stdarg.h>

#include <string>

namespace jov_upload {

// An empty text when the format cannot be applied.
std::string FormatString(const char* format, ...)
    __attribute__((format(gnu_printf, 1, 2)));
std::string FormatStringV(const char* format, va_list args);

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_FORMAT_STRING_H_
