#ifndef BASE_STRING_NUMBER_CONVERSIONS_H_
#define BASE_STRING_NUMBER_CONVERSIONS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/string16.h"
#include "base/string_piece.h"

namespace base {

// Decimal text: a '-' before negatives, no leading zeros or separators.
std::string IntToString(int value);
string16 IntToString16(int value);
std::string UintToString(unsigned value);
string16 UintToString16(unsigned value);
std::string Int64ToString(int64_t value);
string16 Int64ToString16(int64_t value);
std::string Uint64ToString(uint64_t value);
string16 Uint64ToString16(uint64_t value);

// The shortest text that reads back as the same double: "1e+21", ".5",
// "-0", "Infinity", "NaN".
std::string DoubleToString(double value);

// Text to numbers. True only when the whole text is one number with no
// leading whitespace. Leading whitespace is skipped (and makes the result
// false); a character that is not a digit stops the parse with false and
// the value read so far; an overflow stores the type's max or min and gives
// false. For the unsigned types a '-' gives false at once and leaves
// *output unchanged. The hexadecimal forms accept an optional "0x" or "0X".
bool StringToInt(const StringPiece& input, int* output);
bool StringToInt(const string16& input, int* output);
bool StringToUint(const StringPiece& input, unsigned* output);
bool StringToUint(const string16& input, unsigned* output);
bool StringToInt64(const StringPiece& input, int64_t* output);
bool StringToInt64(const string16& input, int64_t* output);
bool StringToUint64(const StringPiece& input, uint64_t* output);
bool StringToUint64(const string16& input, uint64_t* output);
bool HexStringToInt(const StringPiece& input, int* output);
bool HexStringToInt64(const StringPiece& input, int64_t* output);
bool HexStringToUInt64(const StringPiece& input, uint64_t* output);

// Decimal text to a double, correctly rounded. False for empty text,
// leading whitespace, anything after the number, or a value out of range
// (then *output is +-infinity or +-0). *output is always written.
bool StringToDouble(const std::string& input, double* output);

// Two upper-case hexadecimal digits per byte, high nibble first.
std::string HexEncode(const void* bytes, size_t size);

// Appends one byte per pair of hexadecimal digits (either case). False for
// empty text, an odd length, or a pair that is not two digits (bytes of
// earlier pairs stay appended).
bool HexStringToBytes(const std::string& input, std::vector<uint8_t>* output);

}  // namespace base

#endif  // BASE_STRING_NUMBER_CONVERSIONS_H_
