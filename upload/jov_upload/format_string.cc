#include "upload/jov_upload/format_string.h"

#include <stdio.h>

#include <vector>

namespace jov_upload {

namespace {

const size_t kFirstBufferSize = 1024;

}  // namespace

std::string FormatStringV(const char* format, va_list args) {
  if (!format) return std::string();
  char buffer[kFirstBufferSize];
  va_list first;
  va_copy(first, args);
  const int needed = vsnprintf(buffer, sizeof(buffer), format, first);
  va_end(first);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof(buffer))
    return std::string(buffer, static_cast<size_t>(needed));
  std::vector<char> large(static_cast<size_t>(needed) + 1);
  va_list second;
  va_copy(second, args);
  const int written = vsnprintf(large.data(), large.size(), format, second);
  va_end(second);
  if (written < 0 || static_cast<size_t>(written) >= large.size())
    return std::string();
  return std::string(large.data(), static_cast<size_t>(written));
}

std::string FormatString(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatStringV(format, args);
  va_end(args);
  return text;
}

}  // namespace jov_upload
