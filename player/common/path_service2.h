// The product's folders and well-known files, and the log-file set-up.
//
// DATA is the per-user data folder (local application data, then
// Kestrix\QuillaVera), STORE the storage folder (user-chosen, else the
// default storage folder) and CACHE the cache folder (user-chosen, else
// DATA\Cache).

#ifndef PLAYER_COMMON_PATH_SERVICE2_H_
#define PLAYER_COMMON_PATH_SERVICE2_H_

#include <string>

#include "base/file_path.h"

enum ProductPathKey {
  PATH_DATA = 0,
  PATH_STORAGE = 1,
  PATH_DEFAULT_STORAGE = 2,
  PATH_CACHE = 3,
  PATH_CACHE_CACHE = 4,        // CACHE\Cache
  PATH_LIBRARY = 5,            // STORE\Library, else DATA\Library
  PATH_CACHE_META = 6,         // CACHE\Meta
  PATH_STORAGE_TEMP = 7,       // STORE\Temp
  PATH_DATA_TEMP = 8,          // DATA\Temp
  PATH_TEMP_IMAGE = 9,         // DATA\TempImage
  PATH_LOG = 10,               // DATA\Log
  PATH_LOG_UPLOAD = 11,        // DATA\Log\Upload
  PATH_TEMP_INDEX = 12,        // DATA\Temp\index.dat
  PATH_STATIS = 15,            // DATA\statis.dat
  PATH_BI_LOG = 16,            // DATA\Log\bilog.elog
  PATH_UPDATE_INFO = 17,       // DATA\update.info
  PATH_WEB_DB = 18,            // DATA\Library\webdb.dat
  PATH_TEMP_D = 19,            // DATA\TempD, hidden and system
  PATH_AD = 20,                // DATA\ad
  PATH_DISCERN = 21,           // DATA\discern
  PATH_VIP_SONGS = 22,         // STORE\VipSongsDownload
  PATH_VIP_SONGS_NOTICE = 23,  // the notice file in STORE\VipSongsDownload
  PATH_PERFORMANCE = 24,       // DATA\Performance
  PATH_WASM = 25,              // DATA\wasm
  PATH_WASM_SDK = 26,          // DATA\wasm\SDK
  PATH_WASM_RESOURCE = 27,     // DATA\wasm\resource
  PATH_AIO_RESOURCE = 28,      // DATA\aioresource
  PATH_CACHE_RESOURCE = 29,    // DATA\cacheresource
  PATH_STATICS_INDEX = 30,     // DATA\Statics\index.dat
  PATH_STATICS = 31,           // DATA\Statics
};

// Names the log file (DATA\<name>.elog; the executable's base name when
// |product_name| is null), cuts it back when it has grown too large and
// hands it to the logging facility, which from then on writes every record
// encrypted. Returns whether the file could be opened.
bool InitLogFile(const wchar_t* product_name);

// The path for |key|; false for keys that are not served. Folder-creation
// failures are logged and do not change the result.
bool PathProviderGet(int key, base::FilePath* result);

// DATA. Does not create the folder.
void GetLocalDataDir(base::FilePath* result);

// The default storage folder, found by a search of the fixed drives.
void GetDefaultStoragePath(base::FilePath* result);

// Accept a non-empty absolute drive-letter path on a fixed drive, create it
// and keep it when it is writable.
bool SetStoragePath(const base::FilePath& path);
bool SetCachePath(const base::FilePath& path);

// Control characters become "_"; \ / * ? < > : " | their full-width forms.
std::wstring SanitizeFileName(const std::wstring& name);

// STORE\Temp\<prefix><name>.download with the prefixes "c-", "l-", "m-".
base::FilePath GetDownloadTempPath(const std::wstring& name);
base::FilePath GetLyricsDownloadTempPath(const std::wstring& name);
base::FilePath GetMediaDownloadTempPath(const std::wstring& name);

// For a 40-character name starting with two hexadecimal digits: the path
// <two digits>\<name> under |folder| (relative when |folder| is empty).
bool GetHashedFilePath(const std::wstring& name, const base::FilePath& folder,
                       base::FilePath* result);

// Replaces the local application-data query (null restores the system's)
// and forgets the cached DATA.
typedef bool (*LocalAppDataQuery)(base::FilePath* folder);
void SetLocalAppDataQueryForTesting(LocalAppDataQuery query);

#endif  // PLAYER_COMMON_PATH_SERVICE2_H_
