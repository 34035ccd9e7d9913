#include "base/sys_info_windows_version.h"

#include <atomic>

#include "base/utf_string_conversions.h"

namespace base {

namespace {

std::atomic<OSInfo*> g_os_info{nullptr};

}  // namespace

Version VersionFromNumbers(int major, int minor, int build) {
  if (major < 5 || (major == 5 && minor == 0))
    return VERSION_PRE_XP;
  if (major == 5)
    return minor == 1 ? VERSION_XP : VERSION_SERVER_2003;
  if (major == 6) {
    switch (minor) {
      case 0:
        return VERSION_VISTA;
      case 1:
        return VERSION_WIN7;
      case 2:
        return VERSION_WIN8;
      default:
        return VERSION_WIN8_1;
    }
  }
  if (major == 10)
    return build < 22000 ? VERSION_WIN10 : VERSION_WIN11;
  return VERSION_WIN_LAST;
}

// static
OSInfo* OSInfo::GetInstance() {
  OSInfo* info = g_os_info.load(std::memory_order_acquire);
  if (info)
    return info;
  // Several first callers may each build one; exactly one is published
  // and kept for the life of the process.
  OSInfo* fresh = new OSInfo();
  OSInfo* expected = nullptr;
  if (g_os_info.compare_exchange_strong(expected, fresh,
                                        std::memory_order_acq_rel)) {
    return fresh;
  }
  delete fresh;
  return expected;
}

OSInfo::OSInfo()
    : version_(VERSION_PRE_XP),
      version_number_{0, 0, 0},
      service_pack_{0, 0},
      architecture_(OTHER_ARCHITECTURE),
      processors_(0),
      allocation_granularity_(0),
      wow64_status_(GetWOW64StatusForProcess(::GetCurrentProcess())) {
  OSVERSIONINFOEXW version_info = {};
  version_info.dwOSVersionInfoSize = sizeof(version_info);
  if (::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version_info))) {
    version_number_.major = static_cast<int>(version_info.dwMajorVersion);
    version_number_.minor = static_cast<int>(version_info.dwMinorVersion);
    version_number_.build = static_cast<int>(version_info.dwBuildNumber);
    service_pack_.major = version_info.wServicePackMajor;
    service_pack_.minor = version_info.wServicePackMinor;
  }
  version_ = VersionFromNumbers(version_number_.major, version_number_.minor,
                                version_number_.build);

  SYSTEM_INFO system_info = {};
  ::GetNativeSystemInfo(&system_info);
  switch (system_info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
      architecture_ = X86_ARCHITECTURE;
      break;
    case PROCESSOR_ARCHITECTURE_AMD64:
      architecture_ = X64_ARCHITECTURE;
      break;
    case PROCESSOR_ARCHITECTURE_IA64:
      architecture_ = IA64_ARCHITECTURE;
      break;
    default:
      architecture_ = OTHER_ARCHITECTURE;
      break;
  }
  processors_ = static_cast<int>(system_info.dwNumberOfProcessors);
  allocation_granularity_ = system_info.dwAllocationGranularity;
}

std::string OSInfo::processor_model_name() {
  AutoLock locked(model_name_lock_);
  if (processor_model_name_.empty()) {
    // A direct registry read: nothing else here needs a registry wrapper.
    wchar_t value[256] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE,
                       L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                       L"ProcessorNameString", RRF_RT_REG_SZ, nullptr, value,
                       &size) == ERROR_SUCCESS) {
      processor_model_name_ = WideToUTF8(value);
    }
  }
  return processor_model_name_;
}

// static
OSInfo::WOW64Status OSInfo::GetWOW64StatusForProcess(HANDLE process_handle) {
  typedef BOOL(WINAPI * IsWow64ProcessFunc)(HANDLE, PBOOL);
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  IsWow64ProcessFunc is_wow64_process =
      kernel32 ? reinterpret_cast<IsWow64ProcessFunc>(reinterpret_cast<void*>(
                     ::GetProcAddress(kernel32, "IsWow64Process")))
               : nullptr;
  if (!is_wow64_process)
    return WOW64_DISABLED;
  BOOL is_wow64 = FALSE;
  if (!is_wow64_process(process_handle, &is_wow64))
    return WOW64_UNKNOWN;
  return is_wow64 ? WOW64_ENABLED : WOW64_DISABLED;
}

Version GetWindowsVersion() { return OSInfo::GetInstance()->version(); }

}  // namespace base
