// The crash server's connect and exit hooks: they keep the process registry,
// tell the client application when a non-main process comes or goes, and end
// the reporter when the main process or the last client is gone.
#ifndef QUILLAVERA_CRASH_REPORTER_CLIENT_CALLBACKS_H_
#define QUILLAVERA_CRASH_REPORTER_CLIENT_CALLBACKS_H_

#include <stdint.h>

#include <string>

namespace crash_capture {
class ClientRecord;
}

// IPC notice codes sent to the client application.
const int kIpcNoticeClientConnected = 7;
const int kIpcNoticeClientExited = 8;

// |context| is not read.
void HandleClientConnected(void* context,
                           const crash_capture::ClientRecord* client);
void HandleClientExited(void* context,
                        const crash_capture::ClientRecord* client);

// One notice to the client application's IPC window, sent at once; dropped
// silently when there is none. The send waits a bounded time for the window.
// The hooks post their notices to the reporter's queue instead.
void SendIpcNotice(int code, const std::string& data);

// "<pid>_<type>" in UTF-8, the type as the system's ANSI code page holds it:
// what the code page cannot hold becomes its default character.
std::string MakeIpcNoticeData(uint32_t pid, const std::wstring& type);

#endif  // QUILLAVERA_CRASH_REPORTER_CLIENT_CALLBACKS_H_
