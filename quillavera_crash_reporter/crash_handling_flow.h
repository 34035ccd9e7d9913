// The crash server's dump-request hook: for the first crash only, it pauses,
// logs the crashed process, has the dump analysed, tells the user about a
// main-process crash, packs the crash data (with a plain copy of the log,
// removed once packed) into an archive that it uploads, or keeps in the
// dumps folder, removes the dump once that archive is stored or kept (the
// dump stays when the archive could not be made or kept) and its analysis,
// writes the request line to the debugger output and, after a main-process
// crash, ends the reporter. With the local application-data folder unknown
// it reports nothing and keeps the dump. The crashed client stays blocked
// until the hook returns.

#ifndef QUILLAVERA_CRASH_REPORTER_CRASH_HANDLING_FLOW_H_
#define QUILLAVERA_CRASH_REPORTER_CRASH_HANDLING_FLOW_H_

#include <windows.h>
#include <stdint.h>

#include <string>

#include "crash_capture/crash_pipe_protocol.h"

namespace crash_capture {
class ClientRecord;
}

// |context| is not read. |dump_path| is null when no dump was written.
void HandleClientCrash(void* context, const crash_capture::ClientRecord* client,
                       const std::wstring* dump_path);

// What the client said about itself in its custom information.
struct CrashedClientInfo {
  std::wstring type;        // "process_type"; empty when absent
  std::wstring start_text;  // "custom_info"; empty when absent
  bool is_main() const { return type == L"main"; }
};

// Scans the entries in order; a later entry of the same name wins.
CrashedClientInfo ScanCustomInfo(const crash_capture::ClientCustomInfo& info);

// "Client requested dump:<pid>\r\n<name>: <value>, <name>: <value>..."
std::wstring MakeDumpRequestLine(uint32_t pid,
                                 const crash_capture::ClientCustomInfo& info);

// The track id the client registered with, as UTF-8; "0" for a pid that
// never connected.
std::string LookUpTrackId(uint32_t pid);

// The full-memory dump written beside |dump_path| ("x.dmp" -> "x-full.dmp")
// when |dump_type| has the full-memory bit, whatever its other bits; ""
// otherwise. It is collected with the crash data and survives the clean-up.
std::wstring GetFullDumpPath(const std::wstring& dump_path, DWORD dump_type);

// Runs the analysis, and once more after a second when it fails. Returns
// the last result (0 when the stack walker was started).
typedef int (*DumpAnalyser)(const std::wstring& dump_path,
                            const std::wstring& result_path);
int AnalyseDumpWithRetry(DumpAnalyser analyser, const std::wstring& dump_path,
                         const std::wstring& result_path);

// The error box's text and caption.
std::wstring GetCrashMessageText();
std::wstring GetCrashMessageCaption();

// Tests only: the flow's pauses and its error box go through these (null
// puts back Sleep and MessageBoxW).
typedef VOID(WINAPI* CrashFlowSleep)(DWORD ms);
typedef int(WINAPI* CrashMessageBox)(HWND owner, LPCWSTR text, LPCWSTR caption,
                                     UINT style);
void SetCrashFlowSleepForTesting(CrashFlowSleep sleep);
void SetCrashMessageBoxForTesting(CrashMessageBox box);

#endif  // QUILLAVERA_CRASH_REPORTER_CRASH_HANDLING_FLOW_H_
