// The reporter's process: its crash server, window class, message loop and
// exit.

#ifndef QUILLAVERA_CRASH_REPORTER_QUILLAVERA_CRASH_SERVER_H_
#define QUILLAVERA_CRASH_REPORTER_QUILLAVERA_CRASH_SERVER_H_

#include <windows.h>

// Creates the data folders and starts the crash server as the only instance
// of the crash pipe. False when a server exists already or it cannot start
// (for instance because another copy of the program owns the pipe).
bool StartCrashServer();
// Deletes the crash server, if any. Only on the thread that started it.
void StopCrashServer();

// Ends the process with exit code 0, after deleting the report sender.
// Called from the crash-server callbacks. A crash being handled on another
// thread is waited for, within bounds, so it is not cut off half-way; the
// flow itself ends the process at once.
[[noreturn]] void ExitReporter();

// Registers "QuillaVeraCrashReporter"; no window of it is ever created.
ATOM RegisterReporterWindowClass(HINSTANCE instance);
LRESULT CALLBACK ReporterWndProc(HWND hwnd, UINT message, WPARAM wparam,
                                 LPARAM lparam);
void CleanupGlobals();

// Pumps this thread's messages until WM_QUIT (or an error of GetMessageW);
// returns the WM_QUIT exit code.
int RunMessageLoop();

#endif  // QUILLAVERA_CRASH_REPORTER_QUILLAVERA_CRASH_SERVER_H_
