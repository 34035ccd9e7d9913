// The reporter's GUI thread: its window class and message loop. The crash
// server and the way out live with the process-wide state
// (reporter_globals.h).

#ifndef QUILLAVERA_CRASH_REPORTER_QUILLAVERA_CRASH_SERVER_H_
#define QUILLAVERA_CRASH_REPORTER_QUILLAVERA_CRASH_SERVER_H_

#include <windows.h>

// Registers "QuillaVeraCrashReporter"; no window of it is ever created.
ATOM RegisterReporterWindowClass(HINSTANCE instance);
LRESULT CALLBACK ReporterWndProc(HWND hwnd, UINT message, WPARAM wparam,
                                 LPARAM lparam);

// Pumps this thread's messages until WM_QUIT (or an error of GetMessageW);
// returns the WM_QUIT exit code.
int RunMessageLoop();

#endif  // QUILLAVERA_CRASH_REPORTER_QUILLAVERA_CRASH_SERVER_H_
