// The reporter's folders and fixed names.

#ifndef QUILLAVERA_CRASH_REPORTER_REPORTER_PATHS_H_
#define QUILLAVERA_CRASH_REPORTER_REPORTER_PATHS_H_

#include <string>

// The local application-data folder + "\Kestrix"; empty when the system
// folder cannot be found (so are the folders below).
std::wstring GetMakerDataFolder();
// The local application-data folder + "\Kestrix\QuillaVera".
std::wstring GetLocalDataFolder();
// The data folder + "\dumps".
std::wstring GetDumpsFolder();

// "\\.\pipe\QuillaveraCrashServices\Server".
std::wstring GetCrashPipeName();

#endif  // QUILLAVERA_CRASH_REPORTER_REPORTER_PATHS_H_
