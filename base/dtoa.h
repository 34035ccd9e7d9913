#ifndef BASE_DTOA_H_
#define BASE_DTOA_H_

// Exact conversion between IEEE 754 doubles and decimal text: correctly
// rounded reading (round to nearest, ties to even) and shortest or rounded
// digit generation, with a short formatter on top.

namespace base {
namespace float_text {

// Digits of d (without sign, point or trailing zeros); the caller frees the
// result with freedtoa. *decpt is the position of the decimal point relative
// to the digits, *sign the sign bit, *rve (when given) the end of the
// digits. Zero gives "0" with *decpt 1; an infinity "Infinity" and a NaN
// "NaN", both with *decpt 9999.
//
// mode 0: the shortest digits that read back as d.
// mode 1: the same, except that a text lying exactly halfway between d and
//         a neighbour is not taken even when reading it back gives d.
// mode 2: max(1, ndigits) significant digits, correctly rounded.
// mode 3: ndigits digits past the decimal point (ndigits may be negative).
// modes 4 and 5: as 2 and 3, but the mode 0 digits when those are shorter.
// Modes 6 to 9 act as 2 to 5; any other mode acts as 0.
char* dtoa(double d, int mode, int ndigits, int* decpt, int* sign,
           char** rve);
void freedtoa(char* s);

// Reads a decimal number after optional leading whitespace (TAB, LF, VT, FF,
// CR, space): optional sign, digits with an optional point, an optional
// exponent; or inf, infinity, nan or nan(hex payload) in any case. *se (when
// given) points after the last character used, or at s00 when there is no
// number. Overflow gives +-infinity and underflow to zero gives +-0, both
// setting errno to ERANGE; a subnormal result is not a range error. There
// is no hexadecimal form.
double strtod(const char* s00, char** se);

// Writes the shortest text that reads back as x ("1e+21", ".5", "-0",
// "Infinity", "NaN") into b, which must hold 32 bytes, and returns b.
char* g_fmt(char* b, double x);

}  // namespace float_text
}  // namespace base

#endif  // BASE_DTOA_H_
