#include "base/utf_string_conversion_utils.h"

namespace base {

namespace {

inline bool IsTrailByte(unsigned char b) { return (b & 0xC0) == 0x80; }

// Number of trail bytes a lead byte announces; 0 for bytes that cannot lead.
int TrailCount(unsigned char lead) {
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  if (lead < 0xF8) return 3;
  if (lead < 0xFC) return 4;
  if (lead < 0xFE) return 5;
  return 0;
}

// Smallest code point that needs the given number of trail bytes; anything
// below it is an overlong form.
uint32_t MinimumForTrailCount(int count) {
  static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  return kMinimum[count];
}

// After a bad multi-byte sequence: consume only those of the following bytes
// (at most count) that are trail bytes.
void SkipTrailBytes(const unsigned char* s, size_t length, int count,
                    size_t* index) {
  while (count > 0 && *index < length && IsTrailByte(s[*index])) {
    ++*index;
    --count;
  }
}

}  // namespace

bool ReadUtf8CodePoint(const char* src, size_t length, size_t* index,
                       uint32_t* code_point) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  const unsigned char lead = s[(*index)++];
  if (lead < 0x80) {
    *code_point = lead;
    return true;
  }
  const int count = TrailCount(lead);
  *code_point = 0xFFFD;
  if (count == 0) return false;  // Stray trail byte, or FE / FF.

  if (length - *index < static_cast<size_t>(count)) {
    // Cut short by the end of the text.
    while (*index < length && IsTrailByte(s[*index])) ++*index;
    return false;
  }
  if (count > 3) {
    // Five- and six-byte forms lie beyond Unicode.
    SkipTrailBytes(s, length, count, index);
    return false;
  }

  uint32_t value = lead & ((1u << (6 - count)) - 1);
  for (int i = 0; i < count; ++i) {
    const unsigned char trail = s[*index + i];
    value = (value << 6) | (trail & 0x3F);
    const bool beyond_unicode = count == 3 && i == 0 && value >= 0x110;
    if (!IsTrailByte(trail) || beyond_unicode) {
      SkipTrailBytes(s, length, count, index);
      return false;
    }
  }
  if (value < MinimumForTrailCount(count) || !IsValidCodepoint(value)) {
    SkipTrailBytes(s, length, count, index);
    return false;
  }
  *index += count;
  *code_point = value;
  return true;
}

bool ReadUtf16CodePoint(const wchar_t* src, size_t length, size_t* index,
                        uint32_t* code_point) {
  const uint32_t unit = static_cast<uint16_t>(src[(*index)++]);
  if (unit < 0xD800 || unit > 0xDFFF) {
    *code_point = unit;
    return true;
  }
  if (unit <= 0xDBFF && *index < length) {
    const uint32_t low = static_cast<uint16_t>(src[*index]);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      ++*index;
      *code_point = (unit << 10) + low - 0x35FDC00;
      return true;
    }
  }
  *code_point = 0xFFFD;
  return false;
}

void WriteUtf8CodePoint(uint32_t cp, std::string* output) {
  if (cp < 0x80) {
    output->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    output->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    output->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    output->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    output->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    output->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    output->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    output->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    output->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    output->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void WriteUtf16CodePoint(uint32_t cp, std::wstring* output) {
  if (cp < 0x10000) {
    output->push_back(static_cast<wchar_t>(cp));
    return;
  }
  output->push_back(static_cast<wchar_t>((cp >> 10) + 0xD7C0));
  output->push_back(static_cast<wchar_t>((cp & 0x3FF) | 0xDC00));
}

}  // namespace base
