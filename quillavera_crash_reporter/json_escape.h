// Escaping for text that goes inside a JSON string the reporter writes by
// hand (the BI records and the analysis pieces in them).

#ifndef QUILLAVERA_CRASH_REPORTER_JSON_ESCAPE_H_
#define QUILLAVERA_CRASH_REPORTER_JSON_ESCAPE_H_

#include <string>

// |text| escaped for the inside of a JSON string: '"' and '\' get a
// backslash, control characters become \u00XX; everything else stays.
std::wstring JsonEscape(const std::wstring& text);
std::string JsonEscape(const std::string& text);

#endif  // QUILLAVERA_CRASH_REPORTER_JSON_ESCAPE_H_
