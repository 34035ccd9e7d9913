// Facts about the operating system, gathered once per process.

#ifndef BASE_SYS_INFO_WINDOWS_VERSION_H_
#define BASE_SYS_INFO_WINDOWS_VERSION_H_

#include <windows.h>

#include <stddef.h>

#include <string>

#include "base/lock.h"

namespace base {

// Ordered: later code compares against these.
enum Version {
  VERSION_PRE_XP = 0,
  VERSION_XP = 1,
  VERSION_SERVER_2003 = 2,
  VERSION_VISTA = 3,
  VERSION_WIN7 = 4,
  VERSION_WIN8 = 5,
  VERSION_WIN8_1 = 6,
  VERSION_WIN10 = 7,
  VERSION_WIN11 = 8,
  VERSION_WIN_LAST = 9,  // any other major above 6
};

// The index for a reported version number.
Version VersionFromNumbers(int major, int minor, int build);

class OSInfo {
 public:
  struct VersionNumber {
    int major;
    int minor;
    int build;
  };

  struct ServicePack {
    int major;
    int minor;
  };

  enum WindowsArchitecture {
    X86_ARCHITECTURE,
    X64_ARCHITECTURE,
    IA64_ARCHITECTURE,
    OTHER_ARCHITECTURE,
  };

  enum WOW64Status {
    WOW64_DISABLED,
    WOW64_ENABLED,
    WOW64_UNKNOWN,
  };

  static OSInfo* GetInstance();

  Version version() const { return version_; }
  VersionNumber version_number() const { return version_number_; }
  ServicePack service_pack() const { return service_pack_; }
  WindowsArchitecture architecture() const { return architecture_; }
  int processors() const { return processors_; }
  size_t allocation_granularity() const { return allocation_granularity_; }
  WOW64Status wow64_status() const { return wow64_status_; }
  // From the registry on first request, as UTF-8.
  std::string processor_model_name();

  static WOW64Status GetWOW64StatusForProcess(HANDLE process_handle);

 private:
  OSInfo();
  OSInfo(const OSInfo&) = delete;
  OSInfo& operator=(const OSInfo&) = delete;

  Version version_;
  VersionNumber version_number_;
  ServicePack service_pack_;
  WindowsArchitecture architecture_;
  int processors_;
  size_t allocation_granularity_;
  WOW64Status wow64_status_;
  LockImpl model_name_lock_;
  std::string processor_model_name_;
};

// Shorthand for OSInfo::GetInstance()->version().
Version GetWindowsVersion();

}  // namespace base

#endif  // BASE_SYS_INFO_WINDOWS_VERSION_H_
