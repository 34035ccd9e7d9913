#ifndef BASE_STRING_SPLIT_H_
#define BASE_STRING_SPLIT_H_

#include <string>
#include <utility>
#include <vector>

#include "base/string16.h"

namespace base {

// Splits str at every occurrence of c; each piece is trimmed of whitespace
// at both ends. An empty or all-whitespace text gives no pieces; a text
// ending in c after other text gives a last empty piece.
void SplitString(const string16& str, char16 c, std::vector<string16>* r);
void SplitString(const std::string& str, char c, std::vector<std::string>* r);

// Splits "key<delim>value" at the first key_value_delimiter: key is the text
// before it, values the one string after the run of delimiters. False when
// there is no delimiter or nothing follows it.
bool SplitStringIntoKeyValues(const std::string& line,
                              char key_value_delimiter, std::string* key,
                              std::vector<std::string>* values);

// Splits line into pairs at key_value_pair_delimiter and each pair at
// key_value_delimiter. A malformed pair makes the result false but is still
// appended (with empty parts) and the rest is still read.
bool SplitStringIntoKeyValuePairs(
    const std::string& line, char key_value_delimiter,
    char key_value_pair_delimiter,
    std::vector<std::pair<std::string, std::string>>* pairs);

// Splits str at every occurrence of the text s; pieces are trimmed. The
// result always has at least one piece; an empty s gives the whole text.
void SplitStringUsingSubstr(const string16& str, const string16& s,
                            std::vector<string16>* r);
void SplitStringUsingSubstr(const std::string& str, const std::string& s,
                            std::vector<std::string>* r);

// Splits at runs of space, TAB, LF, VT, FF and CR; never gives empty pieces.
void SplitStringAlongWhitespace(const string16& str,
                                std::vector<string16>* result);
void SplitStringAlongWhitespace(const std::string& str,
                                std::vector<std::string>* result);

}  // namespace base

#endif  // BASE_STRING_SPLIT_H_
