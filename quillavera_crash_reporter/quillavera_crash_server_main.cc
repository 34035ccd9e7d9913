// The crash reporter's entry: starts the crash server as the only instance of
// the crash pipe and then parks the GUI thread in its message loop; the crash
// server's callbacks do the work and end the process.

#include <windows.h>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "player/common/path_service2.h"
#include "qzcrypto/crypt_file_helper.h"
#include "quillavera_crash_reporter/quillavera_crash_server.h"
#include "quillavera_crash_reporter/reporter_globals.h"
#include "quillavera_crash_reporter/startup_housekeeping.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Runs the registered exit callbacks when this function returns.
  base::ExitCallbackStack exit_callbacks;
  // Records written before the log file is set up (to the default log)
  // are encrypted as well.
  InstallLogRecordEncryption();

  // Clients may register as soon as the pipe is won: until the log is set
  // up their hooks write nothing, and until start-up is done none ends the
  // process.
  BeginStartup();

  // A second copy fails here, because the pipe exists, and leaves at once
  // without a word; a client waiting for the ready event is still woken.
  if (!StartCrashServer()) {
    SignalReadyEvent();
    return 0;
  }

  base::CommandLine::Init();
  InitLogFile(L"quillavera");
  MarkLoggingReady();
  LOG(INFO) << "Quillavera crash server start";

  // Only the copy that owns the crash pipe tidies up: a second copy must not
  // move the BI backup away or delete dumps under a running one. Without a
  // data folder the paths would name the current drive's root instead.
  if (CheckDataFolderAvailable()) {
    RotateBiLog();
    SweepStaleArchives();
    DeleteOldDumps();
  }

  SignalReadyEvent();
  CreateReportSender();
  MarkStartupDone();

  RegisterReporterWindowClass(instance);
  const int exit_code = RunMessageLoop();

  // Ended from outside: a crash being handled, the dumps in progress and
  // posts under way finish first, as when a callback ends the reporter.
  // When a callback is ending it already, that one ends the process.
  if (!PrepareReporterExit(GetReporterExitWaitMs())) {
    for (;;) Sleep(INFINITE);
  }
  DestroyReportSender();
  // The crash server is left to the process's end, as on a callback's way
  // out: a callback that gave way to this exit waits inside it, and
  // stopping the server would wait for that callback for ever.
  return exit_code;
}
