#include "quillavera_crash_reporter/reporter_paths.h"

#include <windows.h>
#include <shlobj.h>

namespace {

std::wstring GetLocalAppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path)))
    return std::wstring();
  return path;
}

// Keeps an empty base empty rather than making a relative path.
std::wstring Append(const std::wstring& base, const wchar_t* suffix) {
  return base.empty() ? std::wstring() : base + suffix;
}

}  // namespace

std::wstring GetMakerDataFolder() {
  return Append(GetLocalAppDataFolder(), L"\\Kestrix");
}

std::wstring GetLocalDataFolder() {
  return Append(GetLocalAppDataFolder(), L"\\Kestrix\\QuillaVera");
}

std::wstring GetDumpsFolder() {
  return Append(GetLocalDataFolder(), L"\\dumps");
}

std::wstring GetCrashPipeName() {
  return L"\\\\.\\pipe\\QuillaveraCrashServices\\Server";
}
