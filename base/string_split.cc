#include "base/string_split.h"

#include "base/string_util.h"

namespace base {

namespace {

string16 TrimBothEnds(const string16& piece) {
  string16 output;
  TrimWhitespace(piece, TRIM_ALL, &output);
  return output;
}

std::string TrimBothEnds(const std::string& piece) {
  std::string output;
  TrimWhitespaceASCII(piece, TRIM_ALL, &output);
  return output;
}

template <typename Str>
void SplitStringT(const Str& str, typename Str::value_type c,
                  std::vector<Str>* r) {
  r->clear();
  size_t last = 0;
  const size_t size = str.size();
  for (size_t i = 0; i <= size; ++i) {
    if (i != size && str[i] != c) continue;
    Str piece = TrimBothEnds(str.substr(last, i - last));
    if (i != size || !r->empty() || !piece.empty()) r->push_back(piece);
    last = i + 1;
  }
}

template <typename Str>
void SplitStringUsingSubstrT(const Str& str, const Str& s,
                             std::vector<Str>* r) {
  r->clear();
  if (s.empty()) {
    // An empty separator matches everywhere without advancing: one piece.
    r->push_back(TrimBothEnds(str));
    return;
  }
  typename Str::size_type begin = 0;
  for (;;) {
    const typename Str::size_type end = str.find(s, begin);
    if (end == Str::npos) {
      r->push_back(TrimBothEnds(str.substr(begin)));
      return;
    }
    r->push_back(TrimBothEnds(str.substr(begin, end - begin)));
    begin = end + s.size();
  }
}

template <typename Char>
inline bool IsSplitWhitespace(Char c) {
  return c == ' ' || (c >= 0x09 && c <= 0x0D);
}

template <typename Str>
void SplitStringAlongWhitespaceT(const Str& str, std::vector<Str>* result) {
  result->clear();
  size_t i = 0;
  const size_t size = str.size();
  while (i < size) {
    while (i < size && IsSplitWhitespace(str[i])) ++i;
    const size_t start = i;
    while (i < size && !IsSplitWhitespace(str[i])) ++i;
    if (i > start) result->push_back(str.substr(start, i - start));
  }
}

}  // namespace

void SplitString(const string16& str, char16 c, std::vector<string16>* r) {
  SplitStringT(str, c, r);
}

void SplitString(const std::string& str, char c,
                 std::vector<std::string>* r) {
  SplitStringT(str, c, r);
}

bool SplitStringIntoKeyValues(const std::string& line,
                              char key_value_delimiter, std::string* key,
                              std::vector<std::string>* values) {
  key->clear();
  values->clear();
  const size_t end_key = line.find(key_value_delimiter);
  if (end_key == std::string::npos) return false;
  key->assign(line, 0, end_key);
  const size_t begin_values = line.find_first_not_of(key_value_delimiter,
                                                     end_key);
  if (begin_values == std::string::npos) return false;
  values->push_back(line.substr(begin_values));
  return true;
}

bool SplitStringIntoKeyValuePairs(
    const std::string& line, char key_value_delimiter,
    char key_value_pair_delimiter,
    std::vector<std::pair<std::string, std::string>>* pairs) {
  pairs->clear();
  std::vector<std::string> pieces;
  SplitString(line, key_value_pair_delimiter, &pieces);
  bool success = true;
  for (const std::string& piece : pieces) {
    if (piece.empty()) continue;
    std::string key;
    std::vector<std::string> values;
    if (!SplitStringIntoKeyValues(piece, key_value_delimiter, &key, &values))
      success = false;
    pairs->push_back(
        std::make_pair(key, values.empty() ? std::string() : values[0]));
  }
  return success;
}

void SplitStringUsingSubstr(const string16& str, const string16& s,
                            std::vector<string16>* r) {
  SplitStringUsingSubstrT(str, s, r);
}

void SplitStringUsingSubstr(const std::string& str, const std::string& s,
                            std::vector<std::string>* r) {
  SplitStringUsingSubstrT(str, s, r);
}

void SplitStringAlongWhitespace(const string16& str,
                                std::vector<string16>* result) {
  SplitStringAlongWhitespaceT(str, result);
}

void SplitStringAlongWhitespace(const std::string& str,
                                std::vector<std::string>* result) {
  SplitStringAlongWhitespaceT(str, result);
}

}  // namespace base
