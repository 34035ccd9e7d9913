// The bookkeeping of the reporter's client processes over the shared
// reporter state: who is connected, each pid's track id, the main pid, and
// what a client's exit calls for. The caller holds the state's lock.
#ifndef QUILLAVERA_CRASH_REPORTER_PROCESS_REGISTRY_H_
#define QUILLAVERA_CRASH_REPORTER_PROCESS_REGISTRY_H_

#include <stdint.h>

#include <string>

#include "quillavera_crash_reporter/reporter_globals.h"

// What the reporter must do after a client's exit.
enum ClientExitAction {
  CLIENT_EXIT_NOTHING,       // other clients remain; nothing to tell
  CLIENT_EXIT_NOTIFY,        // tell the client application (notice 8)
  CLIENT_EXIT_END_REPORTER,  // the main process or the last client is gone
};

// Lists the client (a pid that connects twice is listed twice) and stores
// its track id (overwriting an earlier one). The first "main" client becomes
// the main process. Returns whether the client application is told: for
// every role but "main".
bool RegisterClientProcess(ReporterState* state, uint32_t pid,
                           const std::wstring& type,
                           const std::wstring& track_id);

// Removes the first entry of |pid|; |type| gets its role, or is empty when
// the pid is not listed.
ClientExitAction UnregisterClientProcess(ReporterState* state, uint32_t pid,
                                         std::wstring* type);

#endif  // QUILLAVERA_CRASH_REPORTER_PROCESS_REGISTRY_H_
