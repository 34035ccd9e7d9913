// The report parameters the client application leaves in the dumps folder
// as "appParam", a JSON object.

#ifndef QUILLAVERA_CRASH_REPORTER_APP_PARAMS_H_
#define QUILLAVERA_CRASH_REPORTER_APP_PARAMS_H_

#include <stdint.h>

#include <string>

#include "quillavera_crash_reporter/crash_info_params.h"

// The client writes "appParam": a larger file is not read at all.
const int64_t kMaxAppParamBytes = 1024 * 1024;

// The content of dumps folder + "\appParam", one character per byte of the
// file (0x80-0xFF widened as they stand); empty when it does not open, is
// larger than kMaxAppParamBytes or cannot be read whole.
std::wstring ReadAppParam();

// Fills |parameters| from "appParam": "appChannel", "appVersion",
// "appPlatform", "buildVersion", "patchVersion", "host", "model", "brand",
// "osVersion", "startTime" and "GPU", in that order. Every member but
// "appPlatform" must be a string; the first that is not ends the read with
// false, the members before it kept. "appPlatform" takes the text of a
// string, number or boolean and "" otherwise. False, with |parameters|
// untouched, when the file is missing, empty or too large; false after
// clearing them when it is no JSON object (including nesting beyond the
// parser's depth limit).
bool AnalyseAppParams(CrashInfoParams* parameters);

#endif  // QUILLAVERA_CRASH_REPORTER_APP_PARAMS_H_
