#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "base/dtoa.h"

// Reading uses std::from_chars as its correctly rounded engine. This file
// fixes the accepted syntax (no hexadecimal form, a leading '+', the words
// inf, infinity and nan) and the errno reporting: only a result that
// overflows to infinity or underflows to zero is a range error.

namespace base {
namespace float_text {

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline bool IsLeadingSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

inline char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// True when s starts with the lower-case word, in any case.
bool StartsWithWord(const char* s, const char* word) {
  for (; *word; ++s, ++word) {
    if (Lower(*s) != *word) return false;
  }
  return true;
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

double FromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof(d));
  return d;
}

const uint64_t kDefaultNaNBits = 0x7FF8000000000000ull;
const uint64_t kExponentBits = 0x7FF0000000000000ull;
const uint64_t kMantissaBits = 0x000FFFFFFFFFFFFFull;

// After "nan": an optional "(hex)" payload that sets the mantissa bits. A
// malformed payload is not consumed.
double ReadNaN(const char* s, const char** end) {
  *end = s;
  if (*s != '(') return FromBits(kDefaultNaNBits);
  uint64_t payload = 0;
  const char* p = s + 1;
  bool any = false;
  for (; HexValue(*p) >= 0; ++p) {
    payload = (payload << 4) | static_cast<uint64_t>(HexValue(*p));
    any = true;
  }
  if (*p != ')' || !any) return FromBits(kDefaultNaNBits);
  *end = p + 1;
  payload &= kMantissaBits;
  // A zero mantissa would read as an infinity.
  return FromBits(payload ? kExponentBits | payload : kDefaultNaNBits);
}

// Scans the decimal syntax from s; returns the end, or s when there are no
// digits. *decimal_exponent receives a rough power of ten of the value
// (position of the first non-zero digit plus the exponent), enough to tell
// an overflow from an underflow.
const char* ScanDecimal(const char* s, long* decimal_exponent) {
  const char* p = s;
  bool any_digit = false;
  bool seen_nonzero = false;
  long position = 0;  // Power of ten of the first non-zero digit, plus one.
  for (; IsDigit(*p); ++p) {
    any_digit = true;
    if (*p != '0') seen_nonzero = true;
    if (seen_nonzero) ++position;
  }
  if (*p == '.') {
    ++p;
    for (; IsDigit(*p); ++p) {
      any_digit = true;
      if (seen_nonzero) continue;
      if (*p == '0') {
        --position;
      } else {
        seen_nonzero = true;
      }
    }
  }
  if (!any_digit) return s;
  long exponent = 0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (IsDigit(*q)) {
      for (; IsDigit(*q); ++q) {
        if (exponent < 100000000) exponent = exponent * 10 + (*q - '0');
      }
      if (negative) exponent = -exponent;
      p = q;
    }
  }
  *decimal_exponent = position + exponent;
  return p;
}

}  // namespace

double strtod(const char* s00, char** se) {
  const char* s = s00;
  while (IsLeadingSpace(*s)) ++s;
  bool negative = false;
  if (*s == '-' || *s == '+') negative = *s++ == '-';
  const double sign = negative ? -1.0 : 1.0;

  long decimal_exponent = 0;
  const char* end = ScanDecimal(s, &decimal_exponent);
  if (end == s) {
    const char* word_end = s00;
    double value = 0;
    if (StartsWithWord(s, "inf")) {
      word_end = s + (StartsWithWord(s + 3, "inity") ? 8 : 3);
      value = sign * std::numeric_limits<double>::infinity();
    } else if (StartsWithWord(s, "nan")) {
      value = std::copysign(ReadNaN(s + 3, &word_end), sign);
    }
    if (se) *se = const_cast<char*>(word_end);
    return value;
  }

  double value = 0;
  const std::from_chars_result r =
      std::from_chars(s, end, value, std::chars_format::general);
  if (se) *se = const_cast<char*>(r.ptr);
  if (r.ec == std::errc::result_out_of_range) {
    errno = ERANGE;
    value = decimal_exponent > 0 ? std::numeric_limits<double>::infinity()
                                 : 0.0;
  }
  return sign * value;
}

}  // namespace float_text
}  // namespace base
