// Hex-encoded text on probe command lines and output lines, so a test
// driver can pass and read any byte (CR, LF, quotes, zeros).
#ifndef TESTING_PROBE_COMMON_HEX_TEXT_H_
#define TESTING_PROBE_COMMON_HEX_TEXT_H_

#include <string>

namespace probe_text {

inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// False for an odd length or a character that is no hexadecimal digit.
inline bool HexToBytes(const std::string& hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes->push_back(static_cast<char>(high * 16 + low));
  }
  return true;
}

inline std::string BytesToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

}  // namespace probe_text

#endif  // TESTING_PROBE_COMMON_HEX_TEXT_H_
