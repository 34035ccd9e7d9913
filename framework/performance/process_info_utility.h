// What role a client process plays and which track id it carries (read from
// its command line in its own memory), and one-line texts on the memory use
// of processes and of the machine.
#ifndef FRAMEWORK_PERFORMANCE_PROCESS_INFO_UTILITY_H_
#define FRAMEWORK_PERFORMANCE_PROCESS_INFO_UTILITY_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

// One client process and the role found for it.
struct ProcessEntry {
  uint32_t pid = 0;
  std::wstring type;
};

// {pid, role as UTF-8}.
typedef std::vector<std::pair<uint32_t, std::string>> ProcessInfoList;

// Sets |type| to the "type=" value of the process's command line, "main" when
// it has none or cannot be read. Only for a "renderer" process it also sets
// |track_id| to the "ptrackid=" value ("0" when missing); otherwise
// |track_id| is left as it is.
void GetProcessTypeAndTrackId(uint32_t pid, std::wstring* type,
                              std::wstring* track_id);

// A value runs from its switch to the next " --"; without that (the value
// ends the command line) it is not taken. The defaults are "main" and "0".
void ParseProcessType(const std::wstring& command_line, std::wstring* type);
void ParseProcessTrackId(const std::wstring& command_line,
                         std::wstring* track_id);

// "process:<pid> type:<type>,memory:<MiB>MB[,Handle count:<n>,GDI count:<n>]
// [,CPU usage:<n>%]; " for each process in turn.
std::string GetProcessesInfo(const std::vector<ProcessEntry>& processes,
                             bool with_cpu, bool with_handles);
void BuildProcessInfo(std::string* info, const ProcessInfoList& processes,
                      bool with_cpu, bool with_handles);

// "System memory usage: <load>%,total<GiB>GB(<GiB>GB avail)"; empty when the
// figures cannot be read.
std::string GetSystemMemoryUsage();
// The same text for given figures (|load| in percent, sizes in bytes); each
// size prints as whole GiB plus the whole MiB of the rest.
std::string FormatSystemMemoryUsage(uint32_t load, uint64_t total_bytes,
                                    uint64_t available_bytes);

// Percent of the machine the process used since the previous call, or -1 for
// the first sample, a sample at the same time and failure. A null handle
// forgets the previous sample and returns 0.
int GetProcessCpuUsage(HANDLE process);

#endif  // FRAMEWORK_PERFORMANCE_PROCESS_INFO_UTILITY_H_
