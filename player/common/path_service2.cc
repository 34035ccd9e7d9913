#include "player/common/path_service2.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <io.h>

#include "base/base_paths.h"
#include "base/file_util.h"
#include "base/lazy_instance.h"
#include "base/lock.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "player/common/default_storage_path.h"
#include "player/common/log_file_rotation.h"
#include "qzcrypto/crypt_file_helper.h"

namespace {

const wchar_t kDataFolderSuffix[] = L"Kestrix\\QuillaVera";
const wchar_t kVipSongsNoticeName[] =
    L"\u62f7\u8d1d\u540e\u5176\u4ed6\u64ad\u653e\u5668\u4e0d\u53ef\u64ad"
    L"\u653e\u7684\u89e3\u51b3\u65b9\u6848.txt";

struct PathSettings {
  base::LockImpl paths_lock;
  base::FilePath storage_path;
  base::FilePath cache_path;
  base::LockImpl data_dir_lock;
  base::FilePath data_dir;
};

base::LazyInstance<PathSettings> g_path_settings = LAZY_INSTANCE_INITIALIZER;

bool QuerySystemLocalAppData(base::FilePath* folder) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr,
                                SHGFP_TYPE_CURRENT, buffer))) {
    return false;
  }
  *folder = base::FilePath(buffer);
  return true;
}

LocalAppDataQuery g_local_app_data_query = &QuerySystemLocalAppData;

// Creates |folder| when missing; a failure is logged with |message|.
void EnsureFolder(const base::FilePath& folder, const char* message) {
  if (base::DirectoryExists(folder) || base::CreateDirectory(folder)) return;
  LOG(ERROR) << message << folder.value();
}

// DATA\TempD is kept hidden from the user.
void EnsureHiddenTempFolder(const base::FilePath& folder) {
  EnsureFolder(folder, "Create Library Directory Failed.");
  DWORD attributes = ::GetFileAttributesW(folder.value().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_HIDDEN)) {
    return;
  }
  if (!::SetFileAttributesW(folder.value().c_str(),
                            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
    LOG(ERROR) << "Create Library Directory Failed 1." << folder.value()
               << ", GetLastError:" << ::GetLastError();
  }
}

// Puts the notice that explains protected downloads into |folder|.
void CopyVipSongsNotice(const base::FilePath& folder) {
  base::FilePath notice = folder.Append(kVipSongsNoticeName);
  if (base::PathExists(notice)) return;
  base::FilePath exe_dir;
  if (!base::PathService::Get(base::DIR_EXE, &exe_dir) ||
      !base::CopyFile(exe_dir.Append(L"resource").Append(L"tyv_notice"),
                      notice)) {
    LOG(ERROR) << "Copy VIP songs notice file failed." << notice.value();
  }
}

base::FilePath StoragePath(const base::FilePath& stored) {
  if (!stored.empty() && base::DirectoryExists(stored)) return stored;
  base::FilePath storage;
  GetDefaultStoragePath(&storage);
  return storage;
}

// Keys built on DATA alone.
bool GetDataPath(int key, const base::FilePath& data, base::FilePath* result) {
  switch (key) {
    case PATH_DATA_TEMP:
      *result = data.Append(L"Temp");
      return true;
    case PATH_TEMP_IMAGE:
      *result = data.Append(L"TempImage");
      EnsureFolder(*result, "Create Library Directory Failed.");
      return true;
    case PATH_LOG:
      *result = data.Append(L"Log");
      return true;
    case PATH_LOG_UPLOAD:
      *result = data.Append(L"Log").Append(L"Upload");
      return true;
    case PATH_TEMP_INDEX:
      *result = data.Append(L"Temp").Append(L"index.dat");
      return true;
    case PATH_STATIS:
      *result = data.Append(L"statis.dat");
      return true;
    case PATH_BI_LOG:
      *result = data.Append(L"Log").Append(L"bilog.elog");
      return true;
    case PATH_UPDATE_INFO:
      *result = data.Append(L"update.info");
      return true;
    case PATH_WEB_DB:
      EnsureFolder(data.Append(L"Library"), "Create Library Directory Failed.");
      *result = data.Append(L"Library").Append(L"webdb.dat");
      return true;
    case PATH_TEMP_D:
      *result = data.Append(L"TempD");
      EnsureHiddenTempFolder(*result);
      return true;
    case PATH_AD:
      *result = data.Append(L"ad");
      EnsureFolder(*result, "Create Data Directory Failed.");
      return true;
    case PATH_DISCERN:
      *result = data.Append(L"discern");
      EnsureFolder(*result, "Create Data Directory Failed.");
      return true;
    case PATH_PERFORMANCE:
      *result = data.Append(L"Performance");
      EnsureFolder(*result, "Create Performance Directory Failed.");
      return true;
    case PATH_WASM:
      *result = data.Append(L"wasm");
      EnsureFolder(*result, "Create wasm Directory Failed.");
      return true;
    case PATH_WASM_SDK:
      *result = data.Append(L"wasm").Append(L"SDK");
      EnsureFolder(*result, "Create wasm Directory Failed.");
      return true;
    case PATH_WASM_RESOURCE:
      *result = data.Append(L"wasm").Append(L"resource");
      EnsureFolder(*result, "Create wasm Directory Failed.");
      return true;
    case PATH_AIO_RESOURCE:
      *result = data.Append(L"aioresource");
      return true;
    case PATH_CACHE_RESOURCE:
      *result = data.Append(L"cacheresource");
      return true;
    case PATH_STATICS_INDEX:
      *result = data.Append(L"Statics").Append(L"index.dat");
      return true;
    case PATH_STATICS:
      *result = data.Append(L"Statics");
      return true;
    default:
      return false;
  }
}

// Keys built on STORE or CACHE. The storage folder is only looked for when
// the key needs it: finding the default one means a drive search.
bool GetStorageOrCachePath(int key, const base::FilePath& data,
                           base::FilePath* result) {
  PathSettings& settings = g_path_settings.Get();
  base::FilePath stored, cache;
  {
    base::AutoLock lock(settings.paths_lock);
    stored = settings.storage_path;
    cache = settings.cache_path;
  }
  if (cache.empty()) cache = data.Append(L"Cache");

  switch (key) {
    case PATH_STORAGE:
      *result = StoragePath(stored);
      return true;
    case PATH_DEFAULT_STORAGE:
      GetDefaultStoragePath(result);
      return true;
    case PATH_CACHE:
      *result = cache;
      return true;
    case PATH_CACHE_CACHE:
      *result = cache.Append(L"Cache");
      return true;
    case PATH_LIBRARY: {
      base::FilePath library = StoragePath(stored).Append(L"Library");
      if (!base::DirectoryExists(library)) {
        library = data.Append(L"Library");
        if (!base::DirectoryExists(library)) base::CreateDirectory(library);
      }
      *result = library;
      return true;
    }
    case PATH_CACHE_META:
      *result = cache.Append(L"Meta");
      return true;
    case PATH_STORAGE_TEMP:
      *result = StoragePath(stored).Append(L"Temp");
      return true;
    case PATH_VIP_SONGS:
      *result = StoragePath(stored).Append(L"VipSongsDownload");
      EnsureFolder(*result, "Create VIP Songs Directory Failed.");
      CopyVipSongsNotice(*result);
      return true;
    case PATH_VIP_SONGS_NOTICE:
      // The file key 22 copies in, so that the two keys agree.
      *result = StoragePath(stored)
                    .Append(L"VipSongsDownload")
                    .Append(kVipSongsNoticeName);
      return true;
    default:
      return false;
  }
}

bool IsFixedDriveLetterPath(const base::FilePath& path) {
  const std::wstring& value = path.value();
  if (value.empty() || !path.IsAbsolute() || value.size() < 3 ||
      value[1] != L':') {
    return false;
  }
  std::wstring root = value.substr(0, 2) + L"\\";
  return ::GetDriveTypeW(root.c_str()) == DRIVE_FIXED;
}

bool SetUserFolder(const base::FilePath& path, base::FilePath* slot) {
  if (!IsFixedDriveLetterPath(path)) return false;
  if (!base::DirectoryExists(path) && !base::CreateDirectory(path)) {
    return false;
  }
  if (!IsStorageCandidateWritable(path)) return false;
  PathSettings& settings = g_path_settings.Get();
  base::AutoLock lock(settings.paths_lock);
  *slot = path;
  return true;
}

base::FilePath DownloadTempPath(const wchar_t* prefix,
                                const std::wstring& name) {
  base::FilePath temp;
  PathProviderGet(PATH_STORAGE_TEMP, &temp);
  return temp.Append(prefix + name + L".download");
}

// The executable's base name without extension; "debug.log" when its path
// has no folder part. The path comes whole from the path lookup, whose buffer
// grows: a fixed 260-unit one would cut a long path's name.
std::wstring ExecutableBaseName() {
  base::FilePath exe;
  if (!base::PathService::Get(base::FILE_EXE, &exe)) return L"debug.log";
  std::wstring path = exe.value();
  if (path.find_first_of(L"\\/") == std::wstring::npos) return L"debug.log";
  ::PathRemoveExtensionW(&path[0]);
  return ::PathFindFileNameW(path.c_str());
}

}  // namespace

void GetLocalDataDir(base::FilePath* result) {
  PathSettings& settings = g_path_settings.Get();
  {
    base::AutoLock lock(settings.data_dir_lock);
    if (!settings.data_dir.empty()) {
      *result = settings.data_dir;
      return;
    }
  }
  base::FilePath folder;
  bool cacheable = g_local_app_data_query(&folder) && !folder.empty();
  if (!cacheable) {
    // Not cached: the next call looks for the real folder again.
    folder.clear();
    base::PathService::Get(base::DIR_EXE, &folder);
  }
  folder = folder.Append(kDataFolderSuffix);
  if (cacheable) {
    base::AutoLock lock(settings.data_dir_lock);
    settings.data_dir = folder;
  }
  *result = folder;
}

bool PathProviderGet(int key, base::FilePath* result) {
  base::FilePath data;
  GetLocalDataDir(&data);
  if (key == PATH_DATA) {
    *result = data;
    return true;
  }
  if (key <= PATH_VIP_SONGS_NOTICE &&
      GetStorageOrCachePath(key, data, result)) {
    return true;
  }
  return GetDataPath(key, data, result);
}

void GetDefaultStoragePath(base::FilePath* result) {
  base::FilePath exe_dir, data;
  base::PathService::Get(base::DIR_EXE, &exe_dir);
  GetLocalDataDir(&data);
  *result = FindDefaultStoragePath(SystemStorageDrives(), exe_dir, data);
}

bool SetStoragePath(const base::FilePath& path) {
  return SetUserFolder(path, &g_path_settings.Get().storage_path);
}

bool SetCachePath(const base::FilePath& path) {
  return SetUserFolder(path, &g_path_settings.Get().cache_path);
}

bool InitLogFile(const wchar_t* product_name) {
  base::FilePath data;
  PathProviderGet(PATH_DATA, &data);
  std::wstring name = product_name ? product_name : ExecutableBaseName();
  base::FilePath log_file = data.Append(name + L".elog");

  RotateLogFile(log_file);

  // Every record of the product's log is written encrypted.
  InstallLogRecordEncryption();
  base::LoggingSettings settings;
  settings.logging_dest = base::LOG_TO_FILE;
  settings.log_file = log_file.value().c_str();
  settings.lock_log = base::LOCK_LOG_FILE;
  settings.delete_old = base::APPEND_TO_OLD_LOG_FILE;
  settings.dcheck_state = base::DISABLE_DCHECK_FOR_NON_OFFICIAL_RELEASE_BUILDS;
  bool ok = base::InitLogging(settings);
  if (ok) base::SetLogItems(true, true, true, true);
  return ok;
}

std::wstring SanitizeFileName(const std::wstring& name) {
  static const wchar_t kReserved[] = L"\\/*?<>:\"|";
  static const wchar_t kFullWidth[] = {0xFF3C, 0xFF0F, 0xFF0A, 0xFF1F, 0xFF1C,
                                       0xFF1E, 0xFF1A, 0xFF02, 0xFF5C};
  std::wstring result = name;
  for (wchar_t& c : result) {
    if (c < 0x20 || c == 0x7F) {
      c = L'_';
      continue;
    }
    const wchar_t* reserved = wcschr(kReserved, c);
    if (reserved) c = kFullWidth[reserved - kReserved];
  }
  return result;
}

base::FilePath GetDownloadTempPath(const std::wstring& name) {
  return DownloadTempPath(L"c-", name);
}

base::FilePath GetLyricsDownloadTempPath(const std::wstring& name) {
  return DownloadTempPath(L"l-", name);
}

base::FilePath GetMediaDownloadTempPath(const std::wstring& name) {
  return DownloadTempPath(L"m-", name);
}

bool GetHashedFilePath(const std::wstring& name, const base::FilePath& folder,
                       base::FilePath* result) {
  auto is_upper_hex = [](wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
  };
  if (name.size() != 40 || !is_upper_hex(name[0]) || !is_upper_hex(name[1])) {
    return false;
  }
  base::FilePath relative = base::FilePath(name.substr(0, 2)).Append(name);
  *result = folder.empty() ? relative : folder.Append(relative);
  return true;
}

void SetLocalAppDataQueryForTesting(LocalAppDataQuery query) {
  g_local_app_data_query = query ? query : &QuerySystemLocalAppData;
  PathSettings& settings = g_path_settings.Get();
  base::AutoLock lock(settings.data_dir_lock);
  settings.data_dir.clear();
}
