#include "base/base_paths_win.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/base_paths.h"
#include "base/file_path.h"
#include "base/path_service.h"
#include "base/sys_info_windows_version.h"

// The image this code is linked into (the linker defines it).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace base {

namespace {

// GetModuleFileNameW into a buffer that grows until the name fits, so a long
// path is never cut silently.
bool GetModulePath(HMODULE module, FilePath* result) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD length = ::GetModuleFileNameW(module, &buffer[0],
                                        static_cast<DWORD>(buffer.size()));
    if (length == 0) return false;
    if (length < buffer.size()) {
      buffer.resize(length);
      *result = FilePath(buffer);
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
  return false;
}

bool GetShellFolder(HANDLE token, int csidl, FilePath* result) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, token, SHGFP_TYPE_CURRENT,
                                buffer))) {
    return false;
  }
  *result = FilePath(buffer);
  return true;
}

bool GetShellFolder(int csidl, FilePath* result) {
  return GetShellFolder(nullptr, csidl, result);
}

// The Internet Explorer quick-launch folder under an application-data root.
FilePath QuickLaunchUnder(const FilePath& app_data) {
  return app_data.Append(L"Microsoft")
      .Append(L"Internet Explorer")
      .Append(L"Quick Launch");
}

bool GetSystemFolder(UINT (WINAPI *getter)(LPWSTR, UINT), FilePath* result) {
  wchar_t buffer[MAX_PATH] = {};
  UINT length = getter(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  *result = FilePath(buffer);
  return true;
}

bool IsWindows8OrLater() {
  return OSInfo::GetInstance()->version() >= VERSION_WIN8;
}

}  // namespace

bool PathProviderWin(int key, FilePath* result) {
  FilePath cur;
  switch (key) {
    case FILE_EXE:
      if (!GetModulePath(nullptr, &cur)) return false;
      break;
    case FILE_MODULE:
      if (!GetModulePath(reinterpret_cast<HMODULE>(&__ImageBase), &cur)) {
        return false;
      }
      break;
    case DIR_USER_DESKTOP:
      if (!GetShellFolder(CSIDL_DESKTOPDIRECTORY, &cur)) return false;
      break;
    case DIR_WINDOWS:
      if (!GetSystemFolder(&::GetWindowsDirectoryW, &cur)) return false;
      break;
    case DIR_SYSTEM:
      if (!GetSystemFolder(&::GetSystemDirectoryW, &cur)) return false;
      break;
    case DIR_PROGRAM_FILES:
      if (!GetShellFolder(CSIDL_PROGRAM_FILES, &cur)) return false;
      break;
    case DIR_PROGRAM_FILESX86:
      if (!GetShellFolder(CSIDL_PROGRAM_FILESX86, &cur)) return false;
      break;
    case DIR_IE_INTERNET_CACHE:
      if (!GetShellFolder(CSIDL_INTERNET_CACHE, &cur)) return false;
      break;
    case DIR_COMMON_START_MENU:
      if (!GetShellFolder(CSIDL_COMMON_PROGRAMS, &cur)) return false;
      break;
    case DIR_START_MENU:
      if (!GetShellFolder(CSIDL_PROGRAMS, &cur)) return false;
      break;
    case DIR_APP_DATA:
      if (!GetShellFolder(CSIDL_APPDATA, &cur)) return false;
      break;
    case DIR_PROFILE:
      if (!GetShellFolder(CSIDL_PROFILE, &cur)) return false;
      break;
    case DIR_LOCAL_APP_DATA_LOW:
      if (OSInfo::GetInstance()->version() < VERSION_VISTA) return false;
      if (!GetShellFolder(CSIDL_APPDATA, &cur)) return false;
      cur = cur.DirName().Append(L"LocalLow");
      break;
    case DIR_LOCAL_APP_DATA:
      if (!GetShellFolder(CSIDL_LOCAL_APPDATA, &cur)) return false;
      break;
    case DIR_COMMON_APP_DATA:
      if (!GetShellFolder(CSIDL_COMMON_APPDATA, &cur)) return false;
      break;
    case DIR_APP_SHORTCUTS:
      // The shortcuts folder of Windows 8 sits beside the start menu's
      // programs in the local application data.
      if (!IsWindows8OrLater()) return false;
      if (!GetShellFolder(CSIDL_LOCAL_APPDATA, &cur)) return false;
      cur = cur.Append(L"Microsoft").Append(L"Windows")
                .Append(L"Application Shortcuts");
      break;
    case DIR_COMMON_DESKTOP:
      if (!GetShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY, &cur)) return false;
      break;
    case DIR_USER_QUICK_LAUNCH:
      if (!PathService::Get(DIR_APP_DATA, &cur)) return false;
      cur = QuickLaunchUnder(cur);
      break;
    case DIR_DEFAULT_USER_QUICK_LAUNCH:
      if (!GetShellFolder(reinterpret_cast<HANDLE>(-1), CSIDL_APPDATA, &cur)) {
        return false;
      }
      cur = QuickLaunchUnder(cur);
      break;
    case DIR_TASKBAR_PINS:
      if (!PathService::Get(DIR_USER_QUICK_LAUNCH, &cur)) return false;
      cur = cur.Append(L"User Pinned").Append(L"TaskBar");
      break;
    default:
      return false;
  }
  *result = cur;
  return true;
}

}  // namespace base
