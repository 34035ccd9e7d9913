#include "base/utf_string_conversions.h"

#include <climits>

#include "base/utf_string_conversion_utils.h"

namespace base {

namespace {

const uint32_t kReplacementCharacter = 0xFFFD;

bool TooLong(size_t length) {
  return length > static_cast<size_t>(INT_MAX);
}

}  // namespace

bool UTF8ToUTF16(const char* src, size_t src_len, string16* output) {
  output->clear();
  if (TooLong(src_len)) return false;
  if (src_len == 0) return true;
  output->reserve(static_cast<unsigned char>(src[0]) < 0x80 ? src_len
                                                            : src_len / 2);
  bool success = true;
  size_t i = 0;
  while (i < src_len) {
    uint32_t code_point;
    if (ReadUtf8CodePoint(src, src_len, &i, &code_point)) {
      WriteUtf16CodePoint(code_point, output);
    } else {
      WriteUtf16CodePoint(kReplacementCharacter, output);
      success = false;
    }
  }
  return success;
}

string16 UTF8ToUTF16(const StringPiece& utf8) {
  string16 result;
  UTF8ToUTF16(utf8.data(), utf8.length(), &result);
  return result;
}

bool UTF8ToWide(const char* src, size_t src_len, std::wstring* output) {
  return UTF8ToUTF16(src, src_len, output);
}

std::wstring UTF8ToWide(const StringPiece& utf8) { return UTF8ToUTF16(utf8); }

bool UTF16ToUTF8(const char16* src, size_t src_len, std::string* output) {
  output->clear();
  if (TooLong(src_len)) return false;
  if (src_len == 0) return true;
  output->reserve(static_cast<uint16_t>(src[0]) < 0x80 ? src_len
                                                        : src_len * 3);
  bool success = true;
  size_t i = 0;
  while (i < src_len) {
    uint32_t code_point;
    if (ReadUtf16CodePoint(src, src_len, &i, &code_point)) {
      WriteUtf8CodePoint(code_point, output);
    } else {
      WriteUtf8CodePoint(kReplacementCharacter, output);
      success = false;
    }
  }
  return success;
}

std::string UTF16ToUTF8(const string16& utf16) {
  std::string result;
  UTF16ToUTF8(utf16.data(), utf16.length(), &result);
  return result;
}

bool WideToUTF8(const wchar_t* src, size_t src_len, std::string* output) {
  return UTF16ToUTF8(src, src_len, output);
}

std::string WideToUTF8(const std::wstring& wide) { return UTF16ToUTF8(wide); }

bool WideToUTF16(const wchar_t* src, size_t src_len, string16* output) {
  output->assign(src, src_len);
  return true;
}

string16 WideToUTF16(const std::wstring& wide) { return wide; }

bool UTF16ToWide(const char16* src, size_t src_len, std::wstring* output) {
  output->assign(src, src_len);
  return true;
}

std::wstring UTF16ToWide(const string16& utf16) { return utf16; }

string16 ASCIIToUTF16(const StringPiece& ascii) {
  string16 result;
  result.reserve(ascii.size());
  for (char c : ascii) result.push_back(static_cast<unsigned char>(c));
  return result;
}

std::wstring ASCIIToWide(const StringPiece& ascii) {
  return ASCIIToUTF16(ascii);
}

std::string UTF16ToASCII(const string16& utf16) {
  std::string result;
  result.reserve(utf16.size());
  for (char16 c : utf16) result.push_back(static_cast<char>(c & 0xFF));
  return result;
}

std::string WideToASCII(const std::wstring& wide) { return UTF16ToASCII(wide); }

}  // namespace base
