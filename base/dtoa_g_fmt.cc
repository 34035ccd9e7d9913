#include <cstring>

#include "base/dtoa.h"

namespace base {
namespace float_text {

char* g_fmt(char* b, double x) {
  int decpt;
  int sign;
  char* se;
  char* s = dtoa(x, 0, 0, &decpt, &sign, &se);
  char* out = b;
  if (!s) {
    *out = '\0';
    return b;
  }
  if (sign) *out++ = '-';
  const char* digits = s;
  const int count = static_cast<int>(se - s);
  if (decpt == 9999) {
    // "Infinity" or "NaN".
    std::memcpy(out, digits, static_cast<size_t>(count));
    out += count;
  } else if (decpt <= -4 || decpt > count + 5) {
    *out++ = *digits++;
    if (*digits) {
      *out++ = '.';
      while (*digits) *out++ = *digits++;
    }
    *out++ = 'e';
    int exponent = decpt - 1;
    if (exponent < 0) {
      *out++ = '-';
      exponent = -exponent;
    } else {
      *out++ = '+';
    }
    char reversed[8];
    int n = 0;
    do {
      reversed[n++] = static_cast<char>('0' + exponent % 10);
      exponent /= 10;
    } while (exponent);
    if (n < 2) reversed[n++] = '0';
    while (n) *out++ = reversed[--n];
  } else if (decpt <= 0) {
    *out++ = '.';
    for (; decpt < 0; ++decpt) *out++ = '0';
    while (*digits) *out++ = *digits++;
  } else {
    for (int i = 0; *digits; ++i) {
      if (i == decpt) *out++ = '.';
      *out++ = *digits++;
    }
    for (int i = count; i < decpt; ++i) *out++ = '0';
  }
  *out = '\0';
  freedtoa(s);
  return b;
}

}  // namespace float_text
}  // namespace base
