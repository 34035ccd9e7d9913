// The reporter's folders, file names and fixed names. Every function builds
// its path afresh from the local application-data folder; when that folder
// is unknown the folder functions return "" and so do the paths built on
// them.

#ifndef QUILLAVERA_CRASH_REPORTER_REPORTER_PATHS_H_
#define QUILLAVERA_CRASH_REPORTER_REPORTER_PATHS_H_

#include <stdint.h>

#include <string>

// <local application data>\Kestrix
std::wstring GetMakerDataFolder();
// <local application data>\Kestrix\QuillaVera
std::wstring GetLocalDataFolder();
// data folder + "\dumps"
std::wstring GetDumpsFolder();
// data folder + "\Log\bilog.elog"
std::wstring GetBiLogPath();
// data folder + "\Log\bilog.elog.backup"
std::wstring GetBiLogBackupPath();
// "\dump_analyse_result.txt", to append to the dumps folder.
std::wstring GetAnalysisFileName();
// "\BI.zip", to append to the data folder.
std::wstring GetBiZipPath();
// "\crash_data_<seconds since 1970>.zip", to append to the data folder.
std::wstring MakeCrashDataZipPath();
// dumps folder + "\dravenko": its dumps are kept for a shorter time.
std::wstring GetDumpsMarkerPath();

// "\\.\pipe\QuillaveraCrashServices\Server"
std::wstring GetCrashPipeName();
// "quillaveraCrashServerEventHandler"
std::wstring GetReadyEventName();
// Logs above this size are not collected.
int64_t GetMaxCollectedLogSize();

// FindFirstFileW finds |path|; folders count.
bool FileExists(const std::wstring& path);

// Replaces the local application-data query of the functions above (null
// restores the system's). The query returns false when the folder is unknown.
typedef bool (*AppDataFolderQuery)(std::wstring* folder);
void SetAppDataFolderQueryForTesting(AppDataFolderQuery query);

#endif  // QUILLAVERA_CRASH_REPORTER_REPORTER_PATHS_H_
