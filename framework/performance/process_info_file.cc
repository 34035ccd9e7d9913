#include "framework/performance/process_info_file.h"

#include <string>

#include "base/file_util.h"
#include "base/logging.h"

namespace {

bool WriteWholeFile(const base::FilePath& path, const std::string& text) {
  const int size = static_cast<int>(text.size());
  return base::WriteFile(path, text.data(), size) == size;
}

}  // namespace

bool UpdateProcessInfoFile(const base::FilePath& path,
                           const std::vector<ProcessEntry>& processes) {
  if (WriteWholeFile(path, GetProcessesInfo(processes, true, true)))
    return true;
  LOG(ERROR) << "UpdateProcessInfoFile failed! Path: " << path.value();
  return false;
}

bool ClearProcessInfoFile(const base::FilePath& path) {
  if (WriteWholeFile(path, std::string())) return true;
  LOG(ERROR) << "ClearProcessInfoFile failed! Path: " << path.value();
  return false;
}
