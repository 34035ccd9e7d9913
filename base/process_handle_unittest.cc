#include "base/process_handle.h"

#include <windows.h>
#include <winternl.h>

#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// What access a handle was granted, read back from the system.
ULONG GrantedAccess(HANDLE handle) {
  typedef NTSTATUS(NTAPI * QueryObject)(HANDLE, OBJECT_INFORMATION_CLASS,
                                        PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<QueryObject>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  PUBLIC_OBJECT_BASIC_INFORMATION info = {};
  if (!query || query(handle, ObjectBasicInformation, &info, sizeof(info),
                      nullptr) != 0) {
    return 0;
  }
  return info.GrantedAccess;
}

TEST(ProcessHandleTest, OpensWithTheFixedAccessRights) {
  struct Case {
    bool (*open)(ProcessId, ProcessHandle*);
    ULONG access;
  } cases[] = {{&OpenProcessHandle, 0x100401},
               {&OpenPrivilegedProcessHandle, 0x100451}};
  for (const Case& c : cases) {
    ProcessHandle handle = nullptr;
    ASSERT_TRUE(c.open(GetCurrentProcId(), &handle));
    win::ScopedHandle owned(handle);
    // The system may add the limited query right on its own.
    EXPECT_EQ(c.access, GrantedAccess(owned.Get()) &
                            ~static_cast<ULONG>(PROCESS_QUERY_LIMITED_INFORMATION));
  }
}

TEST(ProcessHandleTest, FailureLeavesTheHandleUntouched) {
  const ProcessId kNoSuchProcess = 0xFFFFFFF0;
  ProcessHandle handle = reinterpret_cast<ProcessHandle>(0x1234);
  EXPECT_FALSE(OpenProcessHandle(kNoSuchProcess, &handle));
  EXPECT_FALSE(OpenPrivilegedProcessHandle(kNoSuchProcess, &handle));
  EXPECT_FALSE(OpenProcessHandleWithAccess(kNoSuchProcess, SYNCHRONIZE,
                                           &handle));
  EXPECT_EQ(reinterpret_cast<ProcessHandle>(0x1234), handle);
}

TEST(ProcessHandleTest, IntegrityLevelOfThisProcess) {
  IntegrityLevel level = INTEGRITY_UNKNOWN;
  ASSERT_TRUE(GetProcessIntegrityLevel(::GetCurrentProcess(), &level));
  EXPECT_NE(INTEGRITY_UNKNOWN, level);
  // No process, no token: the level stays as it was.
  level = INTEGRITY_UNKNOWN;
  EXPECT_FALSE(GetProcessIntegrityLevel(nullptr, &level));
  EXPECT_EQ(INTEGRITY_UNKNOWN, level);
}

TEST(ProcessHandleTest, CurrentProcessId) {
  EXPECT_EQ(::GetCurrentProcessId(), GetCurrentProcId());
}

}  // namespace
}  // namespace base
