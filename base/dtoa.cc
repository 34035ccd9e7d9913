#include "base/dtoa.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/dtoa_pool.h"

// Digit generation uses the standard library's correctly rounded
// conversions (shortest round trip, and exact digits at a given precision);
// this file adds the modes, the special values and the pooled result.

namespace base {
namespace float_text {

namespace {

const int kSpecialDecpt = 9999;
// Past these, every further digit of a double is a zero.
const int kMaxSignificantDigits = 800;
const int kMaxFractionDigits = 1100;

struct Digits {
  std::string digits;  // No leading or trailing zeros; empty for none.
  int decpt = 0;
};

void StripTrailingZeros(std::string* digits) {
  while (!digits->empty() && digits->back() == '0') digits->pop_back();
}

// Parses "d.ddde+XX" as written by std::to_chars in scientific form.
Digits FromScientific(const char* begin, const char* end) {
  Digits result;
  const char* p = begin;
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') result.digits.push_back(*p);
  }
  int exponent = 0;
  if (p != end) std::from_chars(p[1] == '+' ? p + 2 : p + 1, end, exponent);
  result.decpt = exponent + 1;
  StripTrailingZeros(&result.digits);
  return result;
}

// v is finite and positive throughout.
Digits Shortest(double v) {
  char buffer[64];
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof(buffer), v,
                    std::chars_format::scientific);
  return FromScientific(buffer, r.ptr);
}

Digits Significant(double v, int count) {
  if (count > kMaxSignificantDigits) count = kMaxSignificantDigits;
  char buffer[kMaxSignificantDigits + 16];
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof(buffer), v,
                    std::chars_format::scientific, count - 1);
  return FromScientific(buffer, r.ptr);
}

Digits Exact(double v) { return Significant(v, kMaxSignificantDigits); }

// ndigits >= 0 digits after the point.
Digits FractionDigits(double v, int ndigits) {
  const int precision = ndigits < kMaxFractionDigits ? ndigits
                                                     : kMaxFractionDigits;
  char buffer[kMaxFractionDigits + 400];
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof(buffer), v,
                    std::chars_format::fixed, precision);
  Digits result;
  int integer_digits = 0;
  bool seen_point = false;
  for (const char* p = buffer; p != r.ptr; ++p) {
    if (*p == '.') {
      seen_point = true;
      continue;
    }
    if (!seen_point) ++integer_digits;
    if (result.digits.empty() && *p == '0') {
      --integer_digits;
      continue;
    }
    result.digits.push_back(*p);
  }
  StripTrailingZeros(&result.digits);
  result.decpt = result.digits.empty() ? -ndigits : integer_digits;
  return result;
}

// ndigits < 0: rounded to a multiple of 10^-ndigits.
Digits RoundedToPowerOfTen(double v, int ndigits) {
  const int m = -ndigits;
  const Digits exact = Exact(v);
  const long count = static_cast<long>(exact.decpt) - m;
  Digits result;
  result.decpt = m;  // No digits: the value rounds to zero.
  if (count > 0) return Significant(v, static_cast<int>(count));
  // In [10^(m-1), 10^m) the value rounds up to 10^m only when above half
  // of it; exactly half goes to the even zero.
  if (count == 0 &&
      (exact.digits[0] > '5' ||
       (exact.digits[0] == '5' && exact.digits.size() > 1))) {
    result.digits = "1";
    result.decpt = m + 1;
  }
  return result;
}

// The exact decimal digits of the point halfway between v and the next
// double up (or down), for telling whether a text lies on that boundary.
Digits Midpoint(double v, double neighbour) {
  const long double mid =
      (static_cast<long double>(v) + static_cast<long double>(neighbour)) / 2;
  char buffer[kMaxSignificantDigits + 16];
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof(buffer), mid,
                    std::chars_format::scientific, kMaxSignificantDigits - 1);
  return FromScientific(buffer, r.ptr);
}

bool SameDigits(const Digits& a, const Digits& b) {
  return a.decpt == b.decpt && a.digits == b.digits;
}

double ReadBack(const Digits& d) {
  std::string text = "0." + d.digits + "e" + std::to_string(d.decpt);
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Candidates of n digits around v: the truncation and one unit above.
Digits Truncated(const Digits& exact, size_t n) {
  Digits result;
  result.digits = exact.digits.substr(0, n);
  result.decpt = exact.decpt;
  StripTrailingZeros(&result.digits);
  return result;
}

Digits OneUnitUp(const Digits& truncated_exact, size_t n) {
  Digits result;
  std::string digits = truncated_exact.digits.substr(0, n);
  digits.resize(n, '0');
  int i = static_cast<int>(n) - 1;
  while (i >= 0 && digits[i] == '9') digits[i--] = '0';
  result.decpt = truncated_exact.decpt;
  if (i < 0) {
    digits.insert(digits.begin(), '1');
    digits.pop_back();
    ++result.decpt;
  } else {
    ++digits[i];
  }
  result.digits = digits;
  StripTrailingZeros(&result.digits);
  return result;
}

// Shortest digits strictly inside the rounding interval of v.
Digits ShortestStrict(double v) {
  const Digits shortest = Shortest(v);
  const Digits upper = Midpoint(v, std::nextafter(v, HUGE_VAL));
  const Digits lower = Midpoint(v, std::nextafter(v, 0.0));
  if (!SameDigits(shortest, upper) && !SameDigits(shortest, lower))
    return shortest;
  const Digits exact = Exact(v);
  for (size_t n = shortest.digits.size(); n <= 17; ++n) {
    const Digits candidates[] = {Truncated(exact, n), OneUnitUp(exact, n)};
    for (const Digits& c : candidates) {
      if (c.digits.empty() || SameDigits(c, upper) || SameDigits(c, lower))
        continue;
      if (ReadBack(c) == v) return c;
    }
  }
  return Significant(v, 17);
}

Digits Generate(double v, int mode, int ndigits) {
  switch (mode) {
    case 1:
      return ShortestStrict(v);
    case 2:
      return Significant(v, ndigits > 0 ? ndigits : 1);
    case 3:
      return ndigits >= 0 ? FractionDigits(v, ndigits)
                          : RoundedToPowerOfTen(v, ndigits);
    case 4: {
      const int count = ndigits > 0 ? ndigits : 1;
      const Digits shortest = Shortest(v);
      if (shortest.digits.size() <= static_cast<size_t>(count))
        return shortest;
      return Significant(v, count);
    }
    case 5: {
      const Digits shortest = Shortest(v);
      if (static_cast<long>(shortest.digits.size()) - shortest.decpt <=
          ndigits)
        return shortest;
      return Generate(v, 3, ndigits);
    }
    default:
      return Shortest(v);
  }
}

int NormalizeMode(int mode) {
  if (mode < 0 || mode > 9) return 0;
  return mode > 5 ? mode - 4 : mode;
}

// A pooled buffer with its size class in front of the text.
char* AllocateResult(size_t text_bytes) {
  int k = 0;
  while (((static_cast<size_t>(1) << k) - 1) * sizeof(uint32_t) < text_bytes)
    ++k;
  PoolRecord* record = PoolAllocate(k);
  if (!record) return nullptr;
  record->x[0] = static_cast<uint32_t>(k);
  return reinterpret_cast<char*>(&record->x[1]);
}

char* MakeResult(const char* text, size_t length, char** rve) {
  char* result = AllocateResult(length + 1);
  if (!result) return nullptr;
  std::memcpy(result, text, length);
  result[length] = '\0';
  if (rve) *rve = result + length;
  return result;
}

// Mode 0, the one the short formatter uses, without any heap allocation:
// the digits go straight from the scientific text into the pooled result.
char* ShortestIntoResult(double v, int* decpt, char** rve) {
  char buffer[64];
  const std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof(buffer), v,
                    std::chars_format::scientific);
  char digits[32];
  size_t count = 0;
  const char* p = buffer;
  for (; p != r.ptr && *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  while (count > 1 && digits[count - 1] == '0') --count;
  int exponent = 0;
  if (p != r.ptr) std::from_chars(p[1] == '+' ? p + 2 : p + 1, r.ptr, exponent);
  *decpt = exponent + 1;
  return MakeResult(digits, count, rve);
}

}  // namespace

char* dtoa(double d, int mode, int ndigits, int* decpt, int* sign,
           char** rve) {
  *sign = std::signbit(d) ? 1 : 0;
  if (std::isnan(d)) {
    *decpt = kSpecialDecpt;
    return MakeResult("NaN", 3, rve);
  }
  if (std::isinf(d)) {
    *decpt = kSpecialDecpt;
    return MakeResult("Infinity", 8, rve);
  }
  if (d == 0) {
    *decpt = 1;
    return MakeResult("0", 1, rve);
  }
  const int normalized_mode = NormalizeMode(mode);
  if (normalized_mode == 0) return ShortestIntoResult(std::fabs(d), decpt, rve);
  const Digits digits = Generate(std::fabs(d), normalized_mode, ndigits);
  *decpt = digits.decpt;
  return MakeResult(digits.digits.data(), digits.digits.size(), rve);
}

void freedtoa(char* s) {
  if (!s) return;
  PoolRecord* record = reinterpret_cast<PoolRecord*>(
      s - sizeof(uint32_t) - offsetof(PoolRecord, x));
  PoolFree(record);
}

}  // namespace float_text
}  // namespace base
