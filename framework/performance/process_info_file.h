// Keeps the process-information text of a list of processes in a file.
// Nothing in the crash reporter calls these.
#ifndef FRAMEWORK_PERFORMANCE_PROCESS_INFO_FILE_H_
#define FRAMEWORK_PERFORMANCE_PROCESS_INFO_FILE_H_

#include <vector>

#include "base/file_path.h"
#include "framework/performance/process_info_utility.h"

// Replaces the file's content with the text of |processes| (with CPU and
// handle figures). Logs "UpdateProcessInfoFile failed! Path: " on failure.
bool UpdateProcessInfoFile(const base::FilePath& path,
                           const std::vector<ProcessEntry>& processes);

// Empties the file. Logs "ClearProcessInfoFile failed! Path: " on failure.
bool ClearProcessInfoFile(const base::FilePath& path);

#endif  // FRAMEWORK_PERFORMANCE_PROCESS_INFO_FILE_H_
