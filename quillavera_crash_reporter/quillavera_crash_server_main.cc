// The crash reporter's entry: starts the crash server as the only instance of
// the crash pipe and then parks the GUI thread in its message loop; the crash
// server's callbacks do the work and end the process.

#include <windows.h>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "quillavera_crash_reporter/quillavera_crash_server.h"
#include "quillavera_crash_reporter/report_sender_global.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Runs the registered exit callbacks when this function returns.
  base::ExitCallbackStack exit_callbacks;

  // A second copy fails here, because the pipe exists, and leaves at once
  // without a word.
  if (!StartCrashServer()) return 0;

  base::CommandLine::Init();
  // Until the log-file set-up, records go to "debug.log" beside the program.
  LOG(INFO) << "Quillavera crash server start";

  CreateReportSender();
  RegisterReporterWindowClass(instance);
  const int exit_code = RunMessageLoop();

  DestroyReportSender();
  StopCrashServer();
  return exit_code;
}
