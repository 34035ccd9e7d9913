#include "quillavera_crash_reporter/reporter_paths.h"

#include <windows.h>
#include <shlobj.h>

#include <time.h>

namespace {

bool QuerySystemAppDataFolder(std::wstring* folder) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0,
                                buffer))) {
    return false;
  }
  *folder = buffer;
  return true;
}

AppDataFolderQuery g_app_data_query = &QuerySystemAppDataFolder;

// |suffix| appended to the local application-data folder; "" when that
// folder is unknown.
std::wstring UnderAppData(const wchar_t* suffix) {
  std::wstring folder;
  if (!g_app_data_query(&folder) || folder.empty()) return std::wstring();
  return folder + suffix;
}

// |suffix| appended to |base|, or "" when |base| is.
std::wstring Under(const std::wstring& base, const wchar_t* suffix) {
  return base.empty() ? std::wstring() : base + suffix;
}

}  // namespace

std::wstring GetMakerDataFolder() { return UnderAppData(L"\\Kestrix"); }

std::wstring GetLocalDataFolder() {
  return UnderAppData(L"\\Kestrix\\QuillaVera");
}

std::wstring GetDumpsFolder() { return Under(GetLocalDataFolder(), L"\\dumps"); }

std::wstring GetBiLogPath() {
  return Under(GetLocalDataFolder(), L"\\Log\\bilog.elog");
}

std::wstring GetBiLogBackupPath() {
  return Under(GetLocalDataFolder(), L"\\Log\\bilog.elog.backup");
}

std::wstring GetAnalysisFileName() { return L"\\dump_analyse_result.txt"; }

std::wstring GetBiZipPath() { return L"\\BI.zip"; }

std::wstring MakeCrashDataZipPath() {
  return L"\\crash_data_" +
         std::to_wstring(static_cast<long long>(time(nullptr))) + L".zip";
}

std::wstring GetDumpsMarkerPath() {
  return Under(GetDumpsFolder(), L"\\dravenko");
}

std::wstring GetCrashPipeName() {
  return L"\\\\.\\pipe\\QuillaveraCrashServices\\Server";
}

std::wstring GetReadyEventName() { return L"quillaveraCrashServerEventHandler"; }

int64_t GetMaxCollectedLogSize() { return 52428800; }

bool FileExists(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  ::FindClose(find);
  return true;
}

void SetAppDataFolderQueryForTesting(AppDataFolderQuery query) {
  g_app_data_query = query ? query : &QuerySystemAppDataFolder;
}
