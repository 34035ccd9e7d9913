#include "base/string_number_conversions.h"

#include <cctype>
#include <cerrno>
#include <cwctype>
#include <limits>
#include <type_traits>

#include "base/dtoa.h"

namespace base {

namespace {

template <typename Str, typename Int>
Str IntToStringT(Int value) {
  typedef typename std::make_unsigned<Int>::type Unsigned;
  // Three characters per byte are enough for the digits and the sign.
  typename Str::value_type buffer[3 * sizeof(Int) + 1];
  const bool negative = value < 0;
  // Negate as unsigned so the most negative value prints in full.
  Unsigned magnitude = negative ? static_cast<Unsigned>(0u - static_cast<Unsigned>(value))
                                : static_cast<Unsigned>(value);
  size_t start = sizeof(buffer) / sizeof(buffer[0]);
  do {
    buffer[--start] = static_cast<typename Str::value_type>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (negative) buffer[--start] = '-';
  return Str(buffer + start, buffer + sizeof(buffer) / sizeof(buffer[0]));
}

inline bool IsParseSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}
inline bool IsParseSpace(wchar_t c) { return std::iswspace(c) != 0; }

template <int Base, typename Char>
bool CharToDigit(Char c, int* digit) {
  if (c >= '0' && c <= '9') {
    *digit = c - '0';
    return true;
  }
  if (Base == 16) {
    if (c >= 'a' && c <= 'f') {
      *digit = c - 'a' + 10;
      return true;
    }
    if (c >= 'A' && c <= 'F') {
      *digit = c - 'A' + 10;
      return true;
    }
  }
  return false;
}

template <typename Int, int Base, typename Char>
bool ParseDigits(const Char* begin, const Char* end, bool negative,
                 Int* output) {
  const Int max = std::numeric_limits<Int>::max();
  const Int min = std::numeric_limits<Int>::min();
  for (const Char* current = begin; current != end; ++current) {
    int digit;
    if (!CharToDigit<Base>(*current, &digit)) return false;
    if (current != begin) {
      if (!negative) {
        if (*output > max / Base ||
            (*output == max / Base && digit > static_cast<int>(max % Base))) {
          *output = max;
          return false;
        }
      } else {
        if (*output < min / Base ||
            (*output == min / Base && digit > -static_cast<int>(min % Base))) {
          *output = min;
          return false;
        }
      }
      *output = static_cast<Int>(*output * Base);
    }
    *output = negative ? static_cast<Int>(*output - digit)
                       : static_cast<Int>(*output + digit);
  }
  return true;
}

template <typename Int, int Base, typename Char>
bool StringToIntT(const Char* begin, const Char* end, Int* output) {
  bool valid = true;
  while (begin != end && IsParseSpace(*begin)) {
    valid = false;
    ++begin;
  }
  bool negative = false;
  if (begin != end && *begin == '-') {
    if (!std::numeric_limits<Int>::is_signed) return false;
    negative = true;
    ++begin;
  } else if (begin != end && *begin == '+') {
    ++begin;
  }
  *output = 0;
  if (begin == end) return false;
  if (Base == 16 && end - begin > 2 && begin[0] == '0' &&
      (begin[1] == 'x' || begin[1] == 'X'))
    begin += 2;
  return ParseDigits<Int, Base>(begin, end, negative, output) && valid;
}

template <typename Int, int Base>
bool ParseNarrow(const StringPiece& input, Int* output) {
  return StringToIntT<Int, Base>(input.data(), input.data() + input.size(),
                                 output);
}

template <typename Int>
bool ParseWide(const string16& input, Int* output) {
  return StringToIntT<Int, 10>(input.data(), input.data() + input.size(),
                               output);
}

}  // namespace

std::string IntToString(int value) {
  return IntToStringT<std::string>(value);
}
string16 IntToString16(int value) { return IntToStringT<string16>(value); }
std::string UintToString(unsigned value) {
  return IntToStringT<std::string>(value);
}
string16 UintToString16(unsigned value) {
  return IntToStringT<string16>(value);
}
std::string Int64ToString(int64_t value) {
  return IntToStringT<std::string>(value);
}
string16 Int64ToString16(int64_t value) {
  return IntToStringT<string16>(value);
}
std::string Uint64ToString(uint64_t value) {
  return IntToStringT<std::string>(value);
}
string16 Uint64ToString16(uint64_t value) {
  return IntToStringT<string16>(value);
}

std::string DoubleToString(double value) {
  char buffer[32];
  float_text::g_fmt(buffer, value);
  return std::string(buffer);
}

bool StringToInt(const StringPiece& input, int* output) {
  return ParseNarrow<int, 10>(input, output);
}
bool StringToInt(const string16& input, int* output) {
  return ParseWide(input, output);
}
bool StringToUint(const StringPiece& input, unsigned* output) {
  return ParseNarrow<unsigned, 10>(input, output);
}
bool StringToUint(const string16& input, unsigned* output) {
  return ParseWide(input, output);
}
bool StringToInt64(const StringPiece& input, int64_t* output) {
  return ParseNarrow<int64_t, 10>(input, output);
}
bool StringToInt64(const string16& input, int64_t* output) {
  return ParseWide(input, output);
}
bool StringToUint64(const StringPiece& input, uint64_t* output) {
  return ParseNarrow<uint64_t, 10>(input, output);
}
bool StringToUint64(const string16& input, uint64_t* output) {
  return ParseWide(input, output);
}
bool HexStringToInt(const StringPiece& input, int* output) {
  return ParseNarrow<int, 16>(input, output);
}
bool HexStringToInt64(const StringPiece& input, int64_t* output) {
  return ParseNarrow<int64_t, 16>(input, output);
}
bool HexStringToUInt64(const StringPiece& input, uint64_t* output) {
  return ParseNarrow<uint64_t, 16>(input, output);
}

bool StringToDouble(const std::string& input, double* output) {
  const int saved_errno = errno;
  errno = 0;
  char* end = nullptr;
  *output = float_text::strtod(input.c_str(), &end);
  const bool valid = errno == 0 && !input.empty() &&
                     end == input.c_str() + input.length() &&
                     !std::isspace(static_cast<unsigned char>(input[0]));
  if (errno == 0) errno = saved_errno;
  return valid;
}

std::string HexEncode(const void* bytes, size_t size) {
  static const char kHexChars[] = "0123456789ABCDEF";
  const unsigned char* data = static_cast<const unsigned char*>(bytes);
  std::string result;
  result.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    result.push_back(kHexChars[data[i] >> 4]);
    result.push_back(kHexChars[data[i] & 0x0F]);
  }
  return result;
}

bool HexStringToBytes(const std::string& input, std::vector<uint8_t>* output) {
  const size_t count = input.size();
  if (count == 0 || count % 2 != 0) return false;
  for (size_t i = 0; i < count; i += 2) {
    int high;
    int low;
    if (!CharToDigit<16>(input[i], &high) ||
        !CharToDigit<16>(input[i + 1], &low))
      return false;
    output->push_back(static_cast<uint8_t>((high << 4) | low));
  }
  return true;
}

}  // namespace base
