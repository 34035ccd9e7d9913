// Sets up the log file without a product name and prints the log file's
// path as UTF-8: the name then comes from the program's own file name.

#include <stdio.h>

#include <string>

#include "base/logging.h"
#include "base/utf_string_conversions.h"
#include "player/common/path_service2.h"

int wmain() {
  InitLogFile(nullptr);
  const std::string path = base::WideToUTF8(base::GetLogFileFullPath());
  fwrite(path.data(), 1, path.size(), stdout);
  return 0;
}
