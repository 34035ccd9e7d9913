// Opening handles to other processes with fixed access rights, and asking a
// process for its integrity level.
#ifndef BASE_PROCESS_HANDLE_H_
#define BASE_PROCESS_HANDLE_H_

#include <windows.h>

#include <stdint.h>

namespace base {

typedef HANDLE ProcessHandle;
typedef uint32_t ProcessId;

enum IntegrityLevel {
  INTEGRITY_UNKNOWN = 0,
  LOW_INTEGRITY = 1,
  MEDIUM_INTEGRITY = 2,
  HIGH_INTEGRITY = 3,
};

// SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE.
const DWORD kProcessHandleAccess = 0x100401;
// The above plus PROCESS_DUP_HANDLE and PROCESS_VM_READ.
const DWORD kPrivilegedProcessHandleAccess = 0x100451;

ProcessId GetCurrentProcId();

// Each opens |pid| without inheritance. On failure they return false and
// leave |handle| untouched. The caller owns the handle it gets.
bool OpenProcessHandle(ProcessId pid, ProcessHandle* handle);
bool OpenPrivilegedProcessHandle(ProcessId pid, ProcessHandle* handle);
bool OpenProcessHandleWithAccess(ProcessId pid, uint32_t access_flags,
                                 ProcessHandle* handle);

// False before Windows Vista or when the process token cannot be read.
bool GetProcessIntegrityLevel(ProcessHandle process, IntegrityLevel* level);

}  // namespace base

#endif  // BASE_PROCESS_HANDLE_H_
