#include "quillavera_crash_reporter/json_escape.h"

namespace {

template <typename Text>
Text Escape(const Text& text) {
  static const char kHex[] = "0123456789abcdef";
  Text out;
  out.reserve(text.size());
  for (auto c : text) {
    const unsigned unit = static_cast<unsigned>(c) &
                          (sizeof(c) == 1 ? 0xffu : 0xffffu);
    if (unit == '"' || unit == '\\') {
      out += '\\';
      out += c;
    } else if (unit < 0x20) {
      out += '\\';
      out += 'u';
      out += '0';
      out += '0';
      out += kHex[unit >> 4];
      out += kHex[unit & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::wstring JsonEscape(const std::wstring& text) { return Escape(text); }
std::string JsonEscape(const std::string& text) { return Escape(text); }
