// Windows keys of the path lookup and the provider that answers them.

#ifndef BASE_BASE_PATHS_WIN_H_
#define BASE_BASE_PATHS_WIN_H_

namespace base {

class FilePath;

enum PathKeyWin {
  PATH_WIN_START = 100,

  DIR_WINDOWS = 101,                    // GetWindowsDirectory
  DIR_SYSTEM = 102,                     // GetSystemDirectory
  DIR_PROGRAM_FILES = 103,
  DIR_PROGRAM_FILESX86 = 104,
  DIR_IE_INTERNET_CACHE = 105,
  DIR_COMMON_START_MENU = 106,
  DIR_START_MENU = 107,
  DIR_APP_DATA = 108,
  DIR_PROFILE = 109,
  DIR_LOCAL_APP_DATA_LOW = 110,         // Vista and later
  DIR_LOCAL_APP_DATA = 111,
  DIR_COMMON_APP_DATA = 112,
  DIR_APP_SHORTCUTS = 113,              // Windows 8 and later
  DIR_COMMON_DESKTOP = 114,
  DIR_USER_QUICK_LAUNCH = 115,
  DIR_DEFAULT_USER_QUICK_LAUNCH = 116,
  DIR_TASKBAR_PINS = 117,

  PATH_WIN_END
};

// The Windows provider; asked before the generic one.
bool PathProviderWin(int key, FilePath* result);

}  // namespace base

#endif  // BASE_BASE_PATHS_WIN_H_
