// Small helpers of the reporter that its crash handling does not use: a
// window of the reporter's class, debugging aids, fixed names and file
// utilities, kept for the builds that do.

#ifndef QUILLAVERA_CRASH_REPORTER_REPORTER_HELPERS_H_
#define QUILLAVERA_CRASH_REPORTER_REPORTER_HELPERS_H_

#include <windows.h>
#include <stdint.h>

#include <string>

// The reporter's WideToUtf8 is the product's own (code page 65001).
#include "upload/text_helpers.h"

// Creates, shows and updates a window of the class
// "QuillaVeraCrashReporter" (registered beforehand) and keeps |instance| in
// a global. False when the window cannot be created.
bool CreateReporterWindow(HINSTANCE instance, int show_command);
HINSTANCE GetReporterInstance();

// Says "Dump generation request:succeeded" or "...failed" in a text nobody
// reads and returns |succeeded|.
bool FormatDumpRequestResult(const void*, const void*, const void*,
                             const void*, const void*, bool succeeded);

// Debugging aids for a build that hosts an in-process crash handler
// (GetInProcessCrashHandler). Each asks it for a dump of this process, or
// for the upload of crash 0, and when that fails (or there is no handler)
// shows "Dump request failed" or "upload request failed" in a box captioned
// "Dumper"; then stores "1.1" as the version (reporter_constants.h).
void ShowDumpRequestFailedBox();
void ShowUploadRequestFailedBox();

// Tests only: the boxes above go through this (null puts back
// MessageBoxW).
typedef int(WINAPI* HelperMessageBox)(HWND owner, LPCWSTR text,
                                      LPCWSTR caption, UINT style);
void SetHelperMessageBoxForTesting(HelperMessageBox box);

// Logs "Monitor process info: " + |text| at INFO.
void LogMonitorProcessInfo(const std::string& text);

// "quillavera_crash_server_reporter"
std::wstring GetCrashServerReporterName();
// "quillavera_reporter.exe"
std::wstring GetReporterExeName();
// "quillavera_" + |n| in decimal.
std::string MakeProductPrefixedName(uint32_t n);
// The HTTP base URL of the object-storage host, no trailing slash. A test
// build (QV_TEST_ENDPOINTS) names 127.0.0.1 on the port in QV_TEST_LBS_PORT.
std::string GetStorageBaseUrl();
// 1, always.
int GetOne();

// The file name of |path| (after its last '\' or '/') without its extension
// (from its last '.').
std::wstring GetFileStem(const std::wstring& path);

// A value of an ini file; "" when it is missing. At most 4095 characters.
std::wstring ReadIniString(const std::wstring& file, const std::wstring& section,
                           const std::wstring& key);

// Starts |program| from the reporter's folder, hidden, with |parameters|,
// and waits in steps of a second until it signals |event_name| or ends.
// False when the program is missing or cannot be started.
bool RunProgramAndWait(const std::wstring& program,
                       const std::wstring& parameters,
                       const std::wstring& event_name);

#endif  // QUILLAVERA_CRASH_REPORTER_REPORTER_HELPERS_H_
