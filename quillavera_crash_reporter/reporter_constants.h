// The reporter's name and version, as pairs of a key and a value made at
// start-up: "prod" -> "QuillaVeraCrashReporter" and "ver" -> "1.0". Nothing
// in the reporter reads them; the request-failed boxes of the helpers store
// "1.1" as the version.

#ifndef QUILLAVERA_CRASH_REPORTER_REPORTER_CONSTANTS_H_
#define QUILLAVERA_CRASH_REPORTER_REPORTER_CONSTANTS_H_

#include <string>
#include <utility>

typedef std::pair<std::wstring, std::wstring> NamedValue;

NamedValue GetProductPair();
NamedValue GetVersionPair();
// Stores |version| as the value of the "ver" pair. Any thread.
void SetVersionValue(const std::wstring& version);

#endif  // QUILLAVERA_CRASH_REPORTER_REPORTER_CONSTANTS_H_
