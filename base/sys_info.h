// Memory, disk and operating-system figures of this machine.

#ifndef BASE_SYS_INFO_H_
#define BASE_SYS_INFO_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/file_path.h"

namespace base {

class SysInfo {
 public:
  static int NumberOfProcessors();

  // Bytes; 0 when the system cannot tell.
  static int64_t AmountOfPhysicalMemory();
  static int64_t AmountOfAvailablePhysicalMemory();

  // Bytes available to this user on the volume of |path|; -1 on failure.
  static int64_t AmountOfFreeDiskSpace(const FilePath& path);

  static std::string CPUModelName();

  static std::string OperatingSystemName();
  // "major.minor", then " SPn" and ".m" for a service pack.
  static std::string OperatingSystemVersion();
  static void OperatingSystemVersionNumbers(int32_t* major_version,
                                            int32_t* minor_version,
                                            int32_t* bugfix_version);
  // "x86", "x86_64", "ia64", or empty.
  static std::string OperatingSystemArchitecture();

  static size_t VMAllocationGranularity();

  // The text of OperatingSystemVersion for given numbers.
  static std::string FormatOperatingSystemVersion(int major, int minor,
                                                  int service_pack_major,
                                                  int service_pack_minor);
};

}  // namespace base

#endif  // BASE_SYS_INFO_H_
