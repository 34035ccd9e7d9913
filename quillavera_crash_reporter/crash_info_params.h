// The report parameters: filled from "appParam" and by the crash handling
// flow, read by the BI-record writer. Keys and values are UTF-8.

#ifndef QUILLAVERA_CRASH_REPORTER_CRASH_INFO_PARAMS_H_
#define QUILLAVERA_CRASH_REPORTER_CRASH_INFO_PARAMS_H_

#include <map>
#include <string>

typedef std::map<std::string, std::string> CrashInfoParams;

#endif  // QUILLAVERA_CRASH_REPORTER_CRASH_INFO_PARAMS_H_
