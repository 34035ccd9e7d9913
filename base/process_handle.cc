#include "base/process_handle.h"

#include <memory>

#include "base/sys_info_windows_version.h"
#include "base/win/scoped_handle.h"

namespace base {

ProcessId GetCurrentProcId() { return ::GetCurrentProcessId(); }

bool OpenProcessHandle(ProcessId pid, ProcessHandle* handle) {
  return OpenProcessHandleWithAccess(pid, kProcessHandleAccess, handle);
}

bool OpenPrivilegedProcessHandle(ProcessId pid, ProcessHandle* handle) {
  return OpenProcessHandleWithAccess(pid, kPrivilegedProcessHandleAccess,
                                     handle);
}

bool OpenProcessHandleWithAccess(ProcessId pid, uint32_t access_flags,
                                 ProcessHandle* handle) {
  ProcessHandle result = ::OpenProcess(access_flags, FALSE, pid);
  if (!result) return false;
  *handle = result;
  return true;
}

bool GetProcessIntegrityLevel(ProcessHandle process, IntegrityLevel* level) {
  if (GetWindowsVersion() < VERSION_VISTA) return false;

  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY | TOKEN_QUERY_SOURCE,
                          &raw_token)) {
    return false;
  }
  win::ScopedHandle token(raw_token);

  DWORD size = 0;
  if (::GetTokenInformation(token.Get(), TokenIntegrityLevel, nullptr, 0,
                            &size) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  std::unique_ptr<char[]> buffer(new char[size]);
  auto* label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.get());
  if (!::GetTokenInformation(token.Get(), TokenIntegrityLevel, label, size,
                             &size)) {
    return false;
  }
  const PUCHAR count = ::GetSidSubAuthorityCount(label->Label.Sid);
  const DWORD rid = *::GetSidSubAuthority(label->Label.Sid, *count - 1);
  if (rid < SECURITY_MANDATORY_MEDIUM_RID) {
    *level = LOW_INTEGRITY;
  } else if (rid < SECURITY_MANDATORY_HIGH_RID) {
    *level = MEDIUM_INTEGRITY;
  } else {
    *level = HIGH_INTEGRITY;
  }
  return true;
}

}  // namespace base
