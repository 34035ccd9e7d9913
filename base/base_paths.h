// Keys of the path lookup (PathService) that the base library answers.

#ifndef BASE_BASE_PATHS_H_
#define BASE_BASE_PATHS_H_

#include "base/base_paths_win.h"

namespace base {

class FilePath;

enum BasePathKey {
  PATH_START = 0,

  DIR_CURRENT = 1,       // current directory, asked afresh every time
  DIR_EXE = 2,           // folder of FILE_EXE
  DIR_MODULE = 3,        // folder of FILE_MODULE
  DIR_TEMP = 4,          // temporary folder
  FILE_EXE = 5,          // path of the process's executable
  FILE_MODULE = 6,       // path of the image this code lives in
  DIR_SOURCE_ROOT = 7,   // DIR_EXE two levels up
  DIR_USER_DESKTOP = 8,  // the user's desktop folder
  DIR_TEST_DATA = 9,     // DIR_SOURCE_ROOT\base\test\data, when present

  PATH_END
};

// The generic provider: keys every platform answers the same way.
bool PathProvider(int key, FilePath* result);

}  // namespace base

#endif  // BASE_BASE_PATHS_H_
