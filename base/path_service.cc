#include "base/path_service.h"

#include <map>
#include <vector>

#include "base/base_paths.h"
#include "base/file_path.h"
#include "base/file_util.h"
#include "base/lazy_instance.h"
#include "base/lock.h"

namespace base {

namespace {

// The process's lookup state. Providers are kept in asking order: those
// registered at run time in front, the Windows one, then the generic one.
struct PathData {
  PathData() : cache_disabled(false) {
    providers.push_back(&PathProviderWin);
    providers.push_back(&PathProvider);
  }

  LockImpl lock;
  std::map<int, FilePath> cache;
  std::map<int, FilePath> overrides;
  bool cache_disabled;
  std::vector<PathService::ProviderFunc> providers;
};

LazyInstance<PathData> g_path_data = LAZY_INSTANCE_INITIALIZER;

PathData* GetPathData() { return g_path_data.Pointer(); }

// Under the lock: the cached or overridden answer for |key|.
bool LookUpKnownPath(PathData* data, int key, FilePath* result) {
  AutoLock scoped_lock(data->lock);
  if (!data->cache_disabled) {
    auto cached = data->cache.find(key);
    if (cached != data->cache.end()) {
      *result = cached->second;
      return true;
    }
  }
  auto overridden = data->overrides.find(key);
  if (overridden == data->overrides.end()) return false;
  *result = overridden->second;
  if (!data->cache_disabled) data->cache[key] = overridden->second;
  return true;
}

bool AskProviders(PathData* data, int key, FilePath* result) {
  std::vector<PathService::ProviderFunc> providers;
  {
    AutoLock scoped_lock(data->lock);
    providers = data->providers;
  }
  // Providers run outside the lock: they may ask the service themselves.
  for (PathService::ProviderFunc provider : providers) {
    FilePath answer;
    if (provider(key, &answer)) {
      *result = answer;
      return true;
    }
  }
  return false;
}

}  // namespace

// static
bool PathService::Get(int key, FilePath* result) {
  if (key == DIR_CURRENT) return GetCurrentDirectory(result);

  PathData* data = GetPathData();
  if (LookUpKnownPath(data, key, result)) return true;

  FilePath path;
  if (!AskProviders(data, key, &path)) return false;
  if (path.empty()) return false;
  if (!path.IsAbsolute()) {
    path = MakeAbsoluteFilePath(path);
    if (path.empty()) return false;
  }

  {
    AutoLock scoped_lock(data->lock);
    if (!data->cache_disabled) data->cache[key] = path;
  }
  *result = path;
  return true;
}

// static
bool PathService::Override(int key, const FilePath& path) {
  return OverrideAndCreateIfNeeded(key, path, true);
}

// static
bool PathService::OverrideAndCreateIfNeeded(int key, const FilePath& path,
                                            bool create) {
  // The file keys name files: there is no folder to make for them.
  const bool names_file = key == FILE_EXE || key == FILE_MODULE;
  if (create && !names_file && !DirectoryExists(path) && !CreateDirectory(path))
    return false;

  FilePath absolute = MakeAbsoluteFilePath(path);
  if (absolute.empty()) return false;

  PathData* data = GetPathData();
  AutoLock scoped_lock(data->lock);
  // Answers derived from the old value (DIR_EXE from FILE_EXE, say) may be
  // cached: forget them all.
  data->cache.clear();
  data->overrides[key] = absolute;
  return true;
}

// static
bool PathService::RemoveOverride(int key) {
  PathData* data = GetPathData();
  AutoLock scoped_lock(data->lock);
  auto overridden = data->overrides.find(key);
  if (overridden == data->overrides.end()) return false;
  data->cache.clear();
  data->overrides.erase(overridden);
  return true;
}

// static
void PathService::RegisterProvider(ProviderFunc provider) {
  PathData* data = GetPathData();
  AutoLock scoped_lock(data->lock);
  data->providers.insert(data->providers.begin(), provider);
}

// static
void PathService::DisableCache() {
  PathData* data = GetPathData();
  AutoLock scoped_lock(data->lock);
  data->cache.clear();
  data->cache_disabled = true;
}

}  // namespace base
