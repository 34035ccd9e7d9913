#include "base/string_util.h"

#include <cstdio>
#include <cwchar>

#include "base/lazy_instance.h"
#include "base/utf_string_conversion_utils.h"

namespace base {

#define WHITESPACE_UNICODE                                                 \
  0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680, \
      0x180E, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006,      \
      0x2007, 0x2008, 0x2009, 0x200A, 0x200C, 0x2028, 0x2029, 0x202F,      \
      0x205F, 0x3000, 0

const wchar_t kWhitespaceWide[] = {WHITESPACE_UNICODE};
const char16 kWhitespaceUTF16[] = {WHITESPACE_UNICODE};
const char kWhitespaceASCII[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0};
const char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

#undef WHITESPACE_UNICODE

namespace {

struct EmptyStrings {
  const std::string s;
  const std::wstring ws;
  const string16 s16;
};

LazyInstance<EmptyStrings> g_empty_strings = LAZY_INSTANCE_INITIALIZER;

bool IsUnicodeWhitespace(uint32_t c) {
  for (const wchar_t* w = kWhitespaceWide; *w; ++w) {
    if (static_cast<uint32_t>(*w) == c) return true;
  }
  return false;
}

// Narrow text is looked up by byte value: bytes from 0x80 up belong to
// multi-byte characters and are never whitespace.
inline bool IsWhitespaceUnit(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x80 && IsUnicodeWhitespace(byte);
}
inline bool IsWhitespaceUnit(wchar_t c) {
  return IsUnicodeWhitespace(static_cast<uint16_t>(c));
}

template <typename Str>
TrimPositions TrimStringT(const Str& input,
                          const typename Str::value_type trim_chars[],
                          TrimPositions positions, Str* output) {
  if (input.empty()) {
    output->clear();
    return TRIM_NONE;
  }
  const typename Str::size_type last_index = input.length() - 1;
  const typename Str::size_type first =
      (positions & TRIM_LEADING) ? input.find_first_not_of(trim_chars) : 0;
  const typename Str::size_type last =
      (positions & TRIM_TRAILING) ? input.find_last_not_of(trim_chars)
                                  : last_index;
  if (first == Str::npos || last == Str::npos) {
    output->clear();
    return positions;
  }
  const int trimmed = (first != 0 ? TRIM_LEADING : TRIM_NONE) |
                      (last != last_index ? TRIM_TRAILING : TRIM_NONE);
  *output = input.substr(first, last - first + 1);
  return static_cast<TrimPositions>(trimmed);
}

template <typename Str>
Str CollapseWhitespaceT(const Str& text,
                        bool trim_sequences_with_line_breaks) {
  Str result;
  result.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (!IsWhitespaceUnit(text[i])) {
      result.push_back(text[i++]);
      continue;
    }
    bool has_line_break = false;
    const bool at_start = i == 0;
    for (; i < text.size() && IsWhitespaceUnit(text[i]); ++i) {
      if (text[i] == '\r' || text[i] == '\n') has_line_break = true;
    }
    const bool at_end = i == text.size();
    if (at_start || at_end) continue;
    if (trim_sequences_with_line_breaks && has_line_break) continue;
    result.push_back(' ');
  }
  return result;
}

template <typename Str>
void DoReplaceSubstringsAfterOffset(Str* str, size_t start_offset,
                                    const Str& find_this,
                                    const Str& replace_with,
                                    bool replace_all) {
  // An empty search text would match everywhere without advancing.
  if (find_this.empty() || start_offset > str->length()) return;
  size_t offset = start_offset;
  while ((offset = str->find(find_this, offset)) != Str::npos) {
    str->replace(offset, find_this.length(), replace_with);
    offset += replace_with.length();
    if (!replace_all) break;
  }
}

template <typename Str>
bool ReplaceCharsT(const Str& input,
                   const typename Str::value_type replace_chars[],
                   const Str& replace_with, Str* output) {
  bool removed = false;
  Str result;
  result.reserve(input.size());
  const Str set(replace_chars);
  for (typename Str::value_type c : input) {
    if (set.find(c) != Str::npos) {
      result.append(replace_with);
      removed = true;
    } else {
      result.push_back(c);
    }
  }
  *output = std::move(result);
  return removed;
}

template <typename Str>
Str JoinStringT(const std::vector<Str>& parts, const Str& separator) {
  Str result;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) result.append(separator);
    result.append(parts[i]);
  }
  return result;
}

template <typename Iter>
bool LowerCaseEqualsASCIIT(Iter a_begin, Iter a_end, const char* b) {
  for (Iter it = a_begin; it != a_end; ++it, ++b) {
    if (!*b) return false;
    const uint32_t unit = static_cast<uint32_t>(ToLowerASCII(*it)) &
                          (sizeof(*it) == 1 ? 0xFFu : 0xFFFFu);
    if (unit != static_cast<unsigned char>(*b)) return false;
  }
  return *b == 0;
}

template <typename Str>
bool CaseInsensitivePrefixEquals(const Str& str, size_t offset,
                                 const Str& search) {
  for (size_t i = 0; i < search.size(); ++i) {
    if (ToLowerASCII(str[offset + i]) != ToLowerASCII(search[i])) return false;
  }
  return true;
}

template <typename Str>
bool EndsWithT(const Str& str, const Str& search, bool case_sensitive) {
  if (search.size() > str.size()) return false;
  const size_t offset = str.size() - search.size();
  if (case_sensitive) return str.compare(offset, search.size(), search) == 0;
  return CaseInsensitivePrefixEquals(str, offset, search);
}

template <typename Str>
size_t TokenizeT(const Str& str, const Str& delimiters,
                 std::vector<Str>* tokens) {
  tokens->clear();
  typename Str::size_type start = str.find_first_not_of(delimiters);
  while (start != Str::npos) {
    const typename Str::size_type end = str.find_first_of(delimiters, start + 1);
    if (end == Str::npos) {
      tokens->push_back(str.substr(start));
      break;
    }
    tokens->push_back(str.substr(start, end - start));
    start = str.find_first_not_of(delimiters, end + 1);
  }
  return tokens->size();
}

template <typename Str>
Str ReplaceStringPlaceholdersT(const Str& format,
                               const std::vector<Str>& subst,
                               std::vector<size_t>* offsets) {
  struct Insertion {
    size_t index;
    size_t offset;
  };
  std::vector<Insertion> insertions;
  Str formatted;
  formatted.reserve(format.size());
  const size_t end = format.size();
  size_t i = 0;
  while (i < end) {
    if (format[i] != '$') {
      formatted.push_back(format[i++]);
      continue;
    }
    ++i;
    if (i == end) break;  // A '$' at the very end is dropped.
    if (format[i] == '$') {
      // A run of n + 1 '$' characters writes n of them.
      for (; i < end && format[i] == '$'; ++i) formatted.push_back('$');
      continue;
    }
    if (!IsAsciiDigit(format[i])) continue;  // Dropped; the next is kept.
    size_t number = 0;
    for (; i < end && IsAsciiDigit(format[i]); ++i) {
      const size_t digit = static_cast<size_t>(format[i] - '0');
      number = number > (static_cast<size_t>(-1) - digit) / 10
                   ? static_cast<size_t>(-1)
                   : number * 10 + digit;
    }
    if (number == 0 || number > subst.size()) continue;
    insertions.push_back({number - 1, formatted.size()});
    formatted.append(subst[number - 1]);
  }
  if (offsets) {
    offsets->clear();
    // Stable by placeholder number: repeated placeholders keep their order.
    for (size_t n = 0; n < subst.size(); ++n) {
      for (const Insertion& insertion : insertions) {
        if (insertion.index == n) offsets->push_back(insertion.offset);
      }
    }
  }
  return formatted;
}

// Pattern matching works on decoded characters: a narrow character is one
// whole UTF-8 sequence, a wide one a unit or a surrogate pair. An undecodable
// sequence becomes kNoMatch, which equals nothing, not even itself.
const uint32_t kNoMatch = 0xFFFFFFFFu;

std::vector<uint32_t> DecodeForMatch(const StringPiece& text) {
  std::vector<uint32_t> chars;
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp;
    chars.push_back(ReadUtf8CodePoint(text.data(), text.size(), &i, &cp)
                        ? cp
                        : kNoMatch);
  }
  return chars;
}

std::vector<uint32_t> DecodeForMatch(const string16& text) {
  std::vector<uint32_t> chars;
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp;
    chars.push_back(ReadUtf16CodePoint(text.data(), text.size(), &i, &cp)
                        ? cp
                        : kNoMatch);
  }
  return chars;
}

class PatternMatcher {
 public:
  PatternMatcher(const std::vector<uint32_t>& eval,
                 const std::vector<uint32_t>& pattern)
      : eval_(eval), pattern_(pattern) {}

  bool Match(size_t e, size_t p, int depth) const {
    if (depth > kMaxDepth) return false;
    // Literal characters, with '\' quoting the one after it.
    while (p < pattern_.size() && !IsWildcard(pattern_[p])) {
      if (pattern_[p] == '\\') {
        ++p;
        if (p == pattern_.size()) break;
      }
      if (e == eval_.size() || !Same(eval_[e], pattern_[p])) return false;
      ++e;
      ++p;
    }
    if (p == pattern_.size()) return e == eval_.size();
    if (e == eval_.size()) return OnlyWildcardsFrom(p);
    if (pattern_[p] == '?') {
      return Match(e, p + 1, depth + 1) || Match(e + 1, p + 1, depth + 1);
    }
    // '*': absorb the wildcards after it, then try every split.
    size_t next = p + 1;
    while (next < pattern_.size() && IsWildcard(pattern_[next])) ++next;
    for (size_t start = e; start <= eval_.size(); ++start) {
      if (Match(start, next, depth + 1)) return true;
    }
    return false;
  }

 private:
  static const int kMaxDepth = 16;

  static bool IsWildcard(uint32_t c) { return c == '*' || c == '?'; }
  static bool Same(uint32_t a, uint32_t b) { return a == b && a != kNoMatch; }

  bool OnlyWildcardsFrom(size_t p) const {
    for (; p < pattern_.size(); ++p) {
      if (!IsWildcard(pattern_[p])) return false;
    }
    return true;
  }

  const std::vector<uint32_t>& eval_;
  const std::vector<uint32_t>& pattern_;
};

template <typename Char>
size_t LcpyT(Char* dst, const Char* src, size_t dst_size) {
  size_t i = 0;
  for (; i < dst_size; ++i) {
    if ((dst[i] = src[i]) == 0) return i;
  }
  if (dst_size != 0) dst[dst_size - 1] = 0;
  while (src[i]) ++i;
  return i;
}

}  // namespace

size_t strlcpy(char* dst, const char* src, size_t dst_size) {
  return LcpyT(dst, src, dst_size);
}

size_t wcslcpy(wchar_t* dst, const wchar_t* src, size_t dst_size) {
  return LcpyT(dst, src, dst_size);
}

int vsnprintf(char* buffer, size_t size, const char* format,
              va_list arguments) {
  va_list copy;
  va_copy(copy, arguments);
  int length = ::vsnprintf(buffer, size, format, copy);
  va_end(copy);
  if (length >= 0 && static_cast<size_t>(length) < size) return length;
  if (size != 0) buffer[0] = '\0';
  // Either engine convention: a negative result, or the needed length.
  va_copy(copy, arguments);
  length = ::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  return length;
}

int snprintf(char* buffer, size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int result = vsnprintf(buffer, size, format, arguments);
  va_end(arguments);
  return result;
}

int vswprintf(wchar_t* buffer, size_t size, const wchar_t* format,
              va_list arguments) {
  va_list copy;
  va_copy(copy, arguments);
  int length = ::vswprintf(buffer, size, format, copy);
  va_end(copy);
  if (length >= 0 && static_cast<size_t>(length) < size) return length;
  if (size != 0) buffer[0] = L'\0';
  va_copy(copy, arguments);
  length = ::vswprintf(nullptr, 0, format, copy);
  va_end(copy);
  return length;
}

int swprintf(wchar_t* buffer, size_t size, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int result = vswprintf(buffer, size, format, arguments);
  va_end(arguments);
  return result;
}

const std::string& EmptyString() { return g_empty_strings.Get().s; }
const std::wstring& EmptyWString() { return g_empty_strings.Get().ws; }
const string16& EmptyString16() { return g_empty_strings.Get().s16; }

bool TrimString(const std::wstring& input, const wchar_t trim_chars[],
                std::wstring* output) {
  return TrimStringT(input, trim_chars, TRIM_ALL, output) != TRIM_NONE;
}

bool TrimString(const std::string& input, const char trim_chars[],
                std::string* output) {
  return TrimStringT(input, trim_chars, TRIM_ALL, output) != TRIM_NONE;
}

TrimPositions TrimWhitespace(const string16& input, TrimPositions positions,
                             string16* output) {
  return TrimStringT(input, kWhitespaceUTF16, positions, output);
}

TrimPositions TrimWhitespaceASCII(const std::string& input,
                                  TrimPositions positions,
                                  std::string* output) {
  return TrimStringT(input, kWhitespaceASCII, positions, output);
}

std::wstring CollapseWhitespace(const std::wstring& text,
                                bool trim_sequences_with_line_breaks) {
  return CollapseWhitespaceT(text, trim_sequences_with_line_breaks);
}

std::string CollapseWhitespace(const std::string& text,
                                    bool trim_sequences_with_line_breaks) {
  return CollapseWhitespaceT(text, trim_sequences_with_line_breaks);
}

bool ContainsOnlyWhitespaceASCII(const std::string& str) {
  for (char c : str) {
    if (!IsAsciiWhitespace(c)) return false;
  }
  return true;
}

bool ContainsOnlyWhitespace(const string16& str) {
  return str.find_first_not_of(kWhitespaceUTF16) == string16::npos;
}

bool ContainsOnlyChars(const std::wstring& input,
                       const std::wstring& characters) {
  return input.find_first_not_of(characters) == std::wstring::npos;
}

bool ContainsOnlyChars(const std::string& input,
                       const std::string& characters) {
  return input.find_first_not_of(characters) == std::string::npos;
}

bool IsStringASCII(const StringPiece& str) {
  for (char c : str) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool IsStringASCII(const string16& str) {
  for (char16 c : str) {
    if (static_cast<uint16_t>(c) > 0x7F) return false;
  }
  return true;
}

bool IsStringUTF8(const std::string& str) {
  size_t i = 0;
  while (i < str.size()) {
    uint32_t code_point;
    if (!ReadUtf8CodePoint(str.data(), str.size(), &i, &code_point) ||
        !IsValidCharacter(code_point))
      return false;
  }
  return true;
}

void TruncateUTF8ToByteSize(const std::string& input, size_t byte_size,
                            std::string* output) {
  if (byte_size > input.length()) {
    *output = input;
    return;
  }
  // Step back from the last byte kept to the start of a whole character
  // that ends inside the kept bytes.
  for (size_t start = byte_size; start-- > 0;) {
    size_t end = start;
    uint32_t code_point;
    if (ReadUtf8CodePoint(input.data(), byte_size, &end, &code_point) &&
        IsValidCharacter(code_point)) {
      *output = input.substr(0, end);
      return;
    }
  }
  output->clear();
}

bool WideToLatin1(const string16& wide, std::string* latin1) {
  std::string result;
  result.reserve(wide.size());
  for (char16 c : wide) {
    if (static_cast<uint16_t>(c) > 255) {
      latin1->clear();
      return false;
    }
    result.push_back(static_cast<char>(c));
  }
  latin1->swap(result);
  return true;
}

bool LowerCaseEqualsASCII(const std::string& a, const char* b) {
  return LowerCaseEqualsASCIIT(a.begin(), a.end(), b);
}

bool LowerCaseEqualsASCII(const string16& a, const char* b) {
  return LowerCaseEqualsASCIIT(a.begin(), a.end(), b);
}

bool LowerCaseEqualsASCII(std::string::const_iterator a_begin,
                          std::string::const_iterator a_end, const char* b) {
  return LowerCaseEqualsASCIIT(a_begin, a_end, b);
}

bool LowerCaseEqualsASCII(string16::const_iterator a_begin,
                          string16::const_iterator a_end, const char* b) {
  return LowerCaseEqualsASCIIT(a_begin, a_end, b);
}

bool LowerCaseEqualsASCII(const char* a_begin, const char* a_end,
                          const char* b) {
  return LowerCaseEqualsASCIIT(a_begin, a_end, b);
}

bool LowerCaseEqualsASCII(const char16* a_begin, const char16* a_end,
                          const char* b) {
  return LowerCaseEqualsASCIIT(a_begin, a_end, b);
}

bool EqualsASCII(const string16& a, const StringPiece& b) {
  if (a.length() != b.length()) return false;
  for (size_t i = 0; i < a.length(); ++i) {
    if (static_cast<uint16_t>(a[i]) != static_cast<unsigned char>(b[i]))
      return false;
  }
  return true;
}

bool StartsWithASCII(const std::string& str, const std::string& search,
                     bool case_sensitive) {
  if (case_sensitive) return str.compare(0, search.length(), search) == 0;
  if (search.size() > str.size()) return false;
  return CaseInsensitivePrefixEquals(str, 0, search);
}

bool StartsWith(const string16& str, const string16& search,
                bool case_sensitive) {
  if (case_sensitive) return str.compare(0, search.length(), search) == 0;
  if (search.size() > str.size()) return false;
  return CaseInsensitivePrefixEquals(str, 0, search);
}

bool EndsWith(const std::string& str, const std::string& search,
              bool case_sensitive) {
  return EndsWithT(str, search, case_sensitive);
}

bool EndsWith(const string16& str, const string16& search,
              bool case_sensitive) {
  return EndsWithT(str, search, case_sensitive);
}

bool IsWprintfFormatPortable(const wchar_t* format) {
  static const wchar_t kConversions[] = L"diouxXeEfgGaAcspn%";
  static const wchar_t kNonPortable[] = L"CDFOSU";
  for (const wchar_t* p = format; *p; ++p) {
    if (*p != L'%') continue;
    bool long_modifier = false;
    for (++p;; ++p) {
      if (!*p) return true;  // The format ends inside a conversion.
      if (*p == L'l') {
        long_modifier = true;
      } else if ((*p == L's' || *p == L'c') && !long_modifier) {
        return false;
      } else if (std::wcschr(kNonPortable, *p)) {
        return false;
      }
      if (std::wcschr(kConversions, *p)) break;
    }
  }
  return true;
}

void ReplaceFirstSubstringAfterOffset(string16* str, size_t start_offset,
                                      const string16& find_this,
                                      const string16& replace_with) {
  DoReplaceSubstringsAfterOffset(str, start_offset, find_this, replace_with,
                                 false);
}

void ReplaceFirstSubstringAfterOffset(std::string* str, size_t start_offset,
                                      const std::string& find_this,
                                      const std::string& replace_with) {
  DoReplaceSubstringsAfterOffset(str, start_offset, find_this, replace_with,
                                 false);
}

void ReplaceSubstringsAfterOffset(string16* str, size_t start_offset,
                                  const string16& find_this,
                                  const string16& replace_with) {
  DoReplaceSubstringsAfterOffset(str, start_offset, find_this, replace_with,
                                 true);
}

void ReplaceSubstringsAfterOffset(std::string* str, size_t start_offset,
                                  const std::string& find_this,
                                  const std::string& replace_with) {
  DoReplaceSubstringsAfterOffset(str, start_offset, find_this, replace_with,
                                 true);
}

bool ReplaceChars(const string16& input, const char16 replace_chars[],
                  const string16& replace_with, string16* output) {
  return ReplaceCharsT(input, replace_chars, replace_with, output);
}

bool ReplaceChars(const std::string& input, const char replace_chars[],
                  const std::string& replace_with, std::string* output) {
  return ReplaceCharsT(input, replace_chars, replace_with, output);
}

bool RemoveChars(const string16& input, const char16 remove_chars[],
                 string16* output) {
  return ReplaceCharsT(input, remove_chars, string16(), output);
}

bool RemoveChars(const std::string& input, const char remove_chars[],
                 std::string* output) {
  return ReplaceCharsT(input, remove_chars, std::string(), output);
}

std::string JoinString(const std::vector<std::string>& parts, char s) {
  return JoinStringT(parts, std::string(1, s));
}

string16 JoinString(const std::vector<string16>& parts, char16 s) {
  return JoinStringT(parts, string16(1, s));
}

std::string JoinString(const std::vector<std::string>& parts,
                       const std::string& separator) {
  return JoinStringT(parts, separator);
}

string16 JoinString(const std::vector<string16>& parts,
                    const string16& separator) {
  return JoinStringT(parts, separator);
}

string16 ReplaceStringPlaceholders(const string16& format_string,
                                   const std::vector<string16>& subst,
                                   std::vector<size_t>* offsets) {
  return ReplaceStringPlaceholdersT(format_string, subst, offsets);
}

std::string ReplaceStringPlaceholders(const StringPiece& format_string,
                                      const std::vector<std::string>& subst,
                                      std::vector<size_t>* offsets) {
  return ReplaceStringPlaceholdersT(format_string.as_string(), subst, offsets);
}

bool MatchPattern(const StringPiece& eval, const StringPiece& pattern) {
  const std::vector<uint32_t> e = DecodeForMatch(eval);
  const std::vector<uint32_t> p = DecodeForMatch(pattern);
  return PatternMatcher(e, p).Match(0, 0, 0);
}

bool MatchPattern(const string16& eval, const string16& pattern) {
  const std::vector<uint32_t> e = DecodeForMatch(eval);
  const std::vector<uint32_t> p = DecodeForMatch(pattern);
  return PatternMatcher(e, p).Match(0, 0, 0);
}

string16 FormatBytes(int64_t bytes) {
  static const char* const kUnits[] = {" B", " kB", " MB", " GB", " TB",
                                       " PB"};
  const size_t kLastUnit = sizeof(kUnits) / sizeof(kUnits[0]) - 1;
  double amount = static_cast<double>(bytes);
  size_t unit = 0;
  while (amount >= 1024 && unit < kLastUnit) {
    amount /= 1024;
    ++unit;
  }
  char buffer[64];
  const char* format =
      (bytes != 0 && unit > 0 && amount < 100) ? "%.1lf%s" : "%.0lf%s";
  base::snprintf(buffer, sizeof(buffer), format, amount, kUnits[unit]);
  string16 result;
  for (const char* c = buffer; *c; ++c)
    result.push_back(static_cast<unsigned char>(*c));
  return result;
}

size_t Tokenize(const std::string& str, const std::string& delimiters,
                std::vector<std::string>* tokens) {
  return TokenizeT(str, delimiters, tokens);
}

size_t Tokenize(const string16& str, const string16& delimiters,
                std::vector<string16>* tokens) {
  return TokenizeT(str, delimiters, tokens);
}

size_t Tokenize(const StringPiece& str, const StringPiece& delimiters,
                std::vector<StringPiece>* tokens) {
  tokens->clear();
  StringPiece::size_type start = str.find_first_not_of(delimiters);
  while (start != StringPiece::npos) {
    const StringPiece::size_type end = str.find_first_of(delimiters, start + 1);
    if (end == StringPiece::npos) {
      tokens->push_back(str.substr(start));
      break;
    }
    tokens->push_back(str.substr(start, end - start));
    start = str.find_first_not_of(delimiters, end + 1);
  }
  return tokens->size();
}

}  // namespace base
