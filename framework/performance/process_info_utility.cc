#include "framework/performance/process_info_utility.h"

#include <psapi.h>
#include <winternl.h>

#include "base/lock.h"
#include "base/stringprintf.h"
#include "base/sys_info.h"
#include "base/utf_string_conversions.h"
#include "base/win/scoped_handle.h"

namespace {

const DWORD kAllAccess = 0x1FFFFF;  // PROCESS_ALL_ACCESS
const wchar_t kTypeSwitch[] = L"type=";
const wchar_t kTrackIdSwitch[] = L"ptrackid=";
const wchar_t kValueEnd[] = L" --";
const wchar_t kRendererType[] = L"renderer";
const wchar_t kDefaultType[] = L"main";
const wchar_t kDefaultTrackId[] = L"0";

typedef NTSTATUS(NTAPI* NtQueryInformationProcessFunction)(HANDLE,
                                                           PROCESSINFOCLASS,
                                                           PVOID, ULONG,
                                                           PULONG);

NtQueryInformationProcessFunction LookUpNtQueryInformationProcess() {
  // The library stays loaded: ntdll is in every process anyway.
  HMODULE ntdll = ::LoadLibraryW(L"Ntdll.dll");
  if (!ntdll) return nullptr;
  return reinterpret_cast<NtQueryInformationProcessFunction>(
      reinterpret_cast<void*>(
          ::GetProcAddress(ntdll, "NtQueryInformationProcess")));
}

// The value after the first |switch_text| up to the following " --", or
// false when either is missing.
bool FindSwitchValue(const std::wstring& command_line,
                     const wchar_t* switch_text, std::wstring* value) {
  const size_t switch_pos = command_line.find(switch_text);
  if (switch_pos == std::wstring::npos) return false;
  const size_t value_pos = switch_pos + wcslen(switch_text);
  const size_t end_pos = command_line.find(kValueEnd, value_pos);
  if (end_pos == std::wstring::npos) return false;
  *value = command_line.substr(value_pos, end_pos - value_pos);
  return true;
}

bool ReadRemote(HANDLE process, const void* address, void* buffer,
                size_t size) {
  SIZE_T read = 0;
  return ::ReadProcessMemory(process, address, buffer, size, &read) &&
         read == size;
}

// The command line of |process| from its process environment block; false
// when the block cannot be found or read.
bool ReadCommandLine(HANDLE process, std::wstring* command_line) {
  static const NtQueryInformationProcessFunction query =
      LookUpNtQueryInformationProcess();
  if (!query) return false;

  PROCESS_BASIC_INFORMATION basic_info = {};
  if (query(process, ProcessBasicInformation, &basic_info, sizeof(basic_info),
            nullptr) < 0) {
    return false;
  }
  PEB peb;
  if (!ReadRemote(process, basic_info.PebBaseAddress, &peb, sizeof(peb)))
    return false;
  RTL_USER_PROCESS_PARAMETERS parameters;
  if (!ReadRemote(process, peb.ProcessParameters, &parameters,
                  sizeof(parameters))) {
    return false;
  }
  const USHORT length_bytes = parameters.CommandLine.Length;
  std::wstring text(length_bytes / sizeof(wchar_t), L'\0');
  if (!text.empty() &&
      !ReadRemote(process, parameters.CommandLine.Buffer, &text[0],
                  text.size() * sizeof(wchar_t))) {
    text.clear();
  }
  command_line->swap(text);
  return true;
}

int64_t FileTimeToInt64(const FILETIME& time) {
  return (static_cast<int64_t>(time.dwHighDateTime) << 32) |
         time.dwLowDateTime;
}

double BytesToGiB(uint64_t bytes) {
  return static_cast<double>(bytes >> 30) +
         static_cast<double>((bytes & 0x3FFFFFFF) >> 20) / 1024.0;
}

void AppendProcessInfo(std::string* info, uint32_t pid,
                       const std::string& type, bool with_cpu,
                       bool with_handles) {
  *info += "process:" + std::to_string(pid) + " type:" + type + ",";
  base::win::ScopedHandle process(::OpenProcess(kAllAccess, FALSE, pid));

  PROCESS_MEMORY_COUNTERS counters;
  if (::GetProcessMemoryInfo(process.Get(), &counters, sizeof(counters))) {
    *info += "memory:" + std::to_string(counters.WorkingSetSize / 1048576) +
             "MB";
  }
  if (with_handles) {
    // A process that cannot be opened prints zero counts.
    DWORD handle_count = 0;
    if (!::GetProcessHandleCount(process.Get(), &handle_count))
      handle_count = 0;
    const DWORD gdi_count = ::GetGuiResources(process.Get(), GR_GDIOBJECTS);
    *info += ",Handle count:" + std::to_string(handle_count) +
             ",GDI count:" + std::to_string(gdi_count);
  }
  if (with_cpu) {
    GetProcessCpuUsage(process.Get());
    ::Sleep(100);
    const int cpu = GetProcessCpuUsage(process.Get());
    *info += ",CPU usage:" + std::to_string(cpu) + "%";
    GetProcessCpuUsage(nullptr);
  }
  *info += "; ";
}

struct CpuSampler {
  base::LockImpl lock;
  int processor_count = 0;
  bool has_sample = false;
  int64_t last_system_time = 0;
  int64_t last_process_time = 0;
};

CpuSampler& GetCpuSampler() {
  static CpuSampler* sampler = new CpuSampler;
  return *sampler;
}

}  // namespace

void ParseProcessType(const std::wstring& command_line, std::wstring* type) {
  if (!FindSwitchValue(command_line, kTypeSwitch, type)) *type = kDefaultType;
}

void ParseProcessTrackId(const std::wstring& command_line,
                         std::wstring* track_id) {
  if (!FindSwitchValue(command_line, kTrackIdSwitch, track_id))
    *track_id = kDefaultTrackId;
}

void GetProcessTypeAndTrackId(uint32_t pid, std::wstring* type,
                              std::wstring* track_id) {
  *type = kDefaultType;
  base::win::ScopedHandle process(::OpenProcess(kAllAccess, FALSE, pid));
  if (!process.IsValid()) return;

  HANDLE duplicate = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), process.Get(),
                         ::GetCurrentProcess(), &duplicate, kAllAccess, FALSE,
                         0)) {
    return;
  }
  base::win::ScopedHandle query_handle(duplicate);

  std::wstring command_line;
  if (!ReadCommandLine(query_handle.Get(), &command_line)) return;
  ParseProcessType(command_line, type);
  if (*type == kRendererType) ParseProcessTrackId(command_line, track_id);
}

std::string GetProcessesInfo(const std::vector<ProcessEntry>& processes,
                             bool with_cpu, bool with_handles) {
  ProcessInfoList list;
  list.reserve(processes.size());
  for (const ProcessEntry& entry : processes)
    list.emplace_back(entry.pid, base::WideToUTF8(entry.type));
  std::string info;
  BuildProcessInfo(&info, list, with_cpu, with_handles);
  return info;
}

void BuildProcessInfo(std::string* info, const ProcessInfoList& processes,
                      bool with_cpu, bool with_handles) {
  for (const auto& process : processes)
    AppendProcessInfo(info, process.first, process.second, with_cpu,
                      with_handles);
}

std::string FormatSystemMemoryUsage(uint32_t load, uint64_t total_bytes,
                                    uint64_t available_bytes) {
  return base::StringPrintf(
      "System memory usage: %.0f%%,total%.2fGB(%.2fGB avail)",
      static_cast<double>(load), BytesToGiB(total_bytes),
      BytesToGiB(available_bytes));
}

std::string GetSystemMemoryUsage() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  if (!::GlobalMemoryStatusEx(&status)) return std::string();
  return FormatSystemMemoryUsage(status.dwMemoryLoad, status.ullTotalPhys,
                                 status.ullAvailPhys);
}

int GetProcessCpuUsage(HANDLE process) {
  CpuSampler& sampler = GetCpuSampler();
  base::AutoLock hold(sampler.lock);
  if (!process) {
    sampler.has_sample = false;
    sampler.last_system_time = 0;
    sampler.last_process_time = 0;
    return 0;
  }
  if (sampler.processor_count == 0)
    sampler.processor_count = base::SysInfo::NumberOfProcessors();
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  FILETIME creation_time, exit_time, kernel_time, user_time;
  if (!::GetProcessTimes(process, &creation_time, &exit_time, &kernel_time,
                         &user_time)) {
    return -1;
  }
  const int64_t system_time = FileTimeToInt64(now);
  const int64_t process_time =
      (FileTimeToInt64(kernel_time) + FileTimeToInt64(user_time)) /
      sampler.processor_count;

  if (sampler.has_sample && system_time == sampler.last_system_time) return -1;
  int usage = -1;
  if (sampler.has_sample) {
    const int64_t system_delta = system_time - sampler.last_system_time;
    const int64_t process_delta = process_time - sampler.last_process_time;
    usage = static_cast<int>((process_delta * 100 + system_delta / 2) /
                             system_delta);
  }
  sampler.has_sample = true;
  sampler.last_system_time = system_time;
  sampler.last_process_time = process_time;
  return usage;
}
