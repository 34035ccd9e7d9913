// What the reporter tidies at start-up, once it owns the crash pipe: the BI
// log left by the previous run and old dumps. And the ready event that the
// client application may wait on.

#ifndef QUILLAVERA_CRASH_REPORTER_STARTUP_HOUSEKEEPING_H_
#define QUILLAVERA_CRASH_REPORTER_STARTUP_HOUSEKEEPING_H_

#include <string>

#include "base/time.h"
#include "base/win/scoped_handle.h"

// False, with one debugger-output line, when the local application-data
// folder is unknown: the file stages must then be skipped, or they would
// work at the root of the current drive.
bool CheckDataFolderAvailable();

// Turns the BI backup of the previous run into the BI log. An existing BI
// log keeps its records: the backup's bytes are appended to it.
void RotateBiLog();
void RotateBiLogAt(const std::wstring& bi_log, const std::wstring& backup);

// Archives an earlier run left in the data folder (ended while uploading or
// posting): each crash data archive ("crash_data_<digits>.zip", files
// only) moves into the dumps folder, where the retention finds it; "BI.zip"
// is deleted, its records being in the BI backup until delivered.
void SweepStaleArchives();
void SweepStaleArchivesIn(const std::wstring& data_folder);

// Deletes the dumps folder's files last written 7 days ago or earlier (5
// days when the path contains "dravenko").
void DeleteOldDumps();
void DeleteOldDumpsIn(const std::wstring& folder, base::Time now);

// Signals "quillaveraCrashServerEventHandler" when another process created
// it first; a reporter started alone drops the event it made, unsignalled.
void SignalReadyEvent();
// The same for any manual-reset event; the handle returned keeps the event
// alive, so a test can see it was left unsignalled.
base::win::ScopedHandle SignalEventIfItExisted(const std::wstring& name);

#endif  // QUILLAVERA_CRASH_REPORTER_STARTUP_HOUSEKEEPING_H_
