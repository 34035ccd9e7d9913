// Path lookup: which folder or file a numbered key stands for.
//
// Answers come from a chain of providers (the most recently registered
// first, the two built-in ones last) and are cached; a caller may override a
// key with a path of its own.

#ifndef BASE_PATH_SERVICE_H_
#define BASE_PATH_SERVICE_H_

#include "base/base_paths.h"

namespace base {

class FilePath;

class PathService {
 public:
  typedef bool (*ProviderFunc)(int key, FilePath* result);

  // False when no provider knows the key or its answer is empty; a relative
  // answer is made absolute.
  static bool Get(int key, FilePath* path);

  // Creates the folder when missing (not for FILE_EXE and FILE_MODULE,
  // which name files), then answers |path| for |key| from now on. Clears
  // the cache.
  static bool Override(int key, const FilePath& path);
  static bool OverrideAndCreateIfNeeded(int key, const FilePath& path,
                                        bool create);
  static bool RemoveOverride(int key);

  // Puts |provider| in front of the chain.
  static void RegisterProvider(ProviderFunc provider);

  static void DisableCache();
};

}  // namespace base

#endif  // BASE_PATH_SERVICE_H_
