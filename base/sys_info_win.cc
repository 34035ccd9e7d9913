#include "base/sys_info.h"

#include <windows.h>

#include <limits>

#include "base/stringprintf.h"
#include "base/sys_info_windows_version.h"

namespace base {

namespace {

int64_t ClampToInt64(DWORDLONG value) {
  const DWORDLONG kMax =
      static_cast<DWORDLONG>(std::numeric_limits<int64_t>::max());
  return value > kMax ? std::numeric_limits<int64_t>::max()
                      : static_cast<int64_t>(value);
}

bool GetMemoryStatus(MEMORYSTATUSEX* status) {
  status->dwLength = sizeof(*status);
  return ::GlobalMemoryStatusEx(status) != 0;
}

}  // namespace

// static
int SysInfo::NumberOfProcessors() {
  return OSInfo::GetInstance()->processors();
}

// static
int64_t SysInfo::AmountOfPhysicalMemory() {
  MEMORYSTATUSEX status;
  if (!GetMemoryStatus(&status))
    return 0;
  return ClampToInt64(status.ullTotalPhys);
}

// static
int64_t SysInfo::AmountOfAvailablePhysicalMemory() {
  MEMORYSTATUSEX status;
  if (!GetMemoryStatus(&status))
    return 0;
  return ClampToInt64(status.ullAvailPhys);
}

// static
int64_t SysInfo::AmountOfFreeDiskSpace(const FilePath& path) {
  ULARGE_INTEGER available;
  ULARGE_INTEGER total;
  ULARGE_INTEGER free;
  if (!::GetDiskFreeSpaceExW(path.value().c_str(), &available, &total, &free))
    return -1;
  return ClampToInt64(available.QuadPart);
}

// static
std::string SysInfo::CPUModelName() {
  return OSInfo::GetInstance()->processor_model_name();
}

// static
std::string SysInfo::OperatingSystemName() { return "Windows NT"; }

// static
std::string SysInfo::FormatOperatingSystemVersion(int major, int minor,
                                                  int service_pack_major,
                                                  int service_pack_minor) {
  std::string version = StringPrintf("%d.%d", major, minor);
  if (service_pack_major != 0) {
    StringAppendF(&version, " SP%d", service_pack_major);
    if (service_pack_minor != 0)
      StringAppendF(&version, ".%d", service_pack_minor);
  }
  return version;
}

// static
std::string SysInfo::OperatingSystemVersion() {
  OSInfo* os = OSInfo::GetInstance();
  return FormatOperatingSystemVersion(
      os->version_number().major, os->version_number().minor,
      os->service_pack().major, os->service_pack().minor);
}

// static
void SysInfo::OperatingSystemVersionNumbers(int32_t* major_version,
                                            int32_t* minor_version,
                                            int32_t* bugfix_version) {
  OSInfo* os = OSInfo::GetInstance();
  *major_version = os->version_number().major;
  *minor_version = os->version_number().minor;
  *bugfix_version = 0;
}

// static
std::string SysInfo::OperatingSystemArchitecture() {
  switch (OSInfo::GetInstance()->architecture()) {
    case OSInfo::X86_ARCHITECTURE:
      return "x86";
    case OSInfo::X64_ARCHITECTURE:
      return "x86_64";
    case OSInfo::IA64_ARCHITECTURE:
      return "ia64";
    default:
      return std::string();
  }
}

// static
size_t SysInfo::VMAllocationGranularity() {
  return OSInfo::GetInstance()->allocation_granularity();
}

}  // namespace base
