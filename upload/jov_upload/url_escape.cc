#include "upload/jov_upload/url_escape.h"

#include <string.h>

#include <vector>

namespace jov_upload {

namespace {

// "%XY" and the terminating zero.
const size_t kEscapeRoom = 4;
const char kHexDigits[] = "0123456789ABCDEF";

bool IsUnreserved(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
      (c >= '0' && c <= '9'))
    return true;
  return c != '\0' && strchr("-_.!~*'()", c) != nullptr;
}

bool KeptInReservedOnlyMode(char c) {
  // Signed bytes: 128 to 255 are negative and escaped.
  if (static_cast<signed char>(c) <= 32) return false;
  return strchr("\\\"^&`<>[]{}", c) == nullptr;
}

size_t EscapeCore(const char* text, char* out, size_t capacity,
                  bool space_to_plus, bool reserved_only) {
  if (capacity == 0) return 0;
  size_t written = 0;
  for (const char* p = text; *p && written + 1 < capacity; ++p) {
    const char c = *p;
    if (c == ' ' && space_to_plus && !reserved_only) {
      out[written++] = '+';
    } else if (reserved_only ? KeptInReservedOnlyMode(c) : IsUnreserved(c)) {
      out[written++] = c;
    } else {
      if (capacity - written < kEscapeRoom) break;
      const unsigned char byte = static_cast<unsigned char>(c);
      out[written++] = '%';
      out[written++] = kHexDigits[byte >> 4];
      out[written++] = kHexDigits[byte & 15];
    }
  }
  out[written] = '\0';
  return written;
}

std::string EscapeString(const std::string& text, bool space_to_plus,
                         bool reserved_only) {
  const size_t length = strlen(text.c_str());
  std::vector<char> out(3 * length + 1 + 36);
  const size_t written = EscapeCore(text.c_str(), out.data(), out.size(),
                                    space_to_plus, reserved_only);
  return std::string(out.data(), written);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

size_t UnescapeCore(const char* text, char* out, bool plus_to_space) {
  size_t written = 0;
  for (const char* p = text; *p; ++p) {
    if (*p == '%') {
      if (p[1] == '\0' || p[2] == '\0') {
        out[written++] = '?';
        continue;
      }
      const int high = HexValue(p[1]);
      const int low = HexValue(p[2]);
      if (high < 0 || low < 0) {
        out[written++] = '?';
        continue;
      }
      out[written++] = static_cast<char>(high * 16 + low);
      p += 2;
    } else if (*p == '+' && plus_to_space) {
      out[written++] = ' ';
    } else {
      out[written++] = *p;
    }
  }
  out[written] = '\0';
  return written;
}

std::string UnescapeString(const std::string& text, bool plus_to_space) {
  std::vector<char> out(strlen(text.c_str()) + 1);
  const size_t written = UnescapeCore(text.c_str(), out.data(), plus_to_space);
  return std::string(out.data(), written);
}

}  // namespace

std::string UrlEscape(const std::string& text) {
  return EscapeString(text, false, false);
}

size_t UrlEscapeToBuffer(const char* text, char* out, size_t capacity) {
  return EscapeCore(text, out, capacity, false, false);
}

std::string UrlEscapePlus(const std::string& text) {
  return EscapeString(text, true, false);
}

size_t UrlEscapePlusToBuffer(const char* text, char* out, size_t capacity) {
  return EscapeCore(text, out, capacity, true, false);
}

std::string UrlEscapeReserved(const std::string& text) {
  return EscapeString(text, false, true);
}

size_t UrlEscapeReservedToBuffer(const char* text, char* out,
                                 size_t capacity) {
  return EscapeCore(text, out, capacity, false, true);
}

std::string UrlUnescape(const std::string& text) {
  return UnescapeString(text, false);
}

std::string UrlUnescapePlus(const std::string& text) {
  return UnescapeString(text, true);
}

size_t UrlUnescapeToBuffer(const char* text, char* out) {
  return UnescapeCore(text, out, false);
}

size_t UrlUnescapePlusToBuffer(const char* text, char* out) {
  return UnescapeCore(text, out, true);
}

}  // namespace jov_upload
