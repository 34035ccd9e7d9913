#include "base/threading/platform_thread.h"

#include <memory>
#include <string>

#include "base/debugger.h"
#include "base/logging.h"
#include "base/profiler.h"
#include "base/sys_info_windows_version.h"
#include "base/threading/thread_id_name_manager.h"
#include "base/time.h"
#include "base/tracked_objects.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

// The exception a debugger reads a thread's name from.
const DWORD kVCThreadNameException = 0x406D1388;

// The record that goes with it: three pointer-sized arguments.
struct ThreadNameInfo {
  DWORD type;          // 0x1000
  const char* name;
  DWORD thread_id;
  DWORD flags;         // 0
};

// Swallows the naming exception once a debugger has had its look (g++ has
// no __try, so a vectored handler catches it), and only it.
LONG CALLBACK ContinueAfterThreadName(EXCEPTION_POINTERS* info) {
  return info->ExceptionRecord->ExceptionCode == kVCThreadNameException
             ? EXCEPTION_CONTINUE_EXECUTION
             : EXCEPTION_CONTINUE_SEARCH;
}

void SetNameForDebugger(const char* name) {
  // Installed once, last in line, so a debugger or a test's own handler
  // sees the exception first.
  static PVOID handler =
      AddVectoredExceptionHandler(0, &ContinueAfterThreadName);
  if (!handler) return;
  ThreadNameInfo info = {0x1000, name, GetCurrentThreadId(), 0};
  RaiseException(kVCThreadNameException, 0,
                 sizeof(info) / sizeof(ULONG_PTR),
                 reinterpret_cast<ULONG_PTR*>(&info));
}

struct ThreadParams {
  PlatformThread::Delegate* delegate;
  bool joinable;
};

DWORD __stdcall ThreadFunc(void* param) {
  // The start record is the new thread's to free.
  std::unique_ptr<ThreadParams> params(static_cast<ThreadParams*>(param));
  PlatformThread::Delegate* delegate = params->delegate;
  params.reset();

  HANDLE duplicate = nullptr;
  win::ScopedHandle thread_handle;
  if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(),
                      GetCurrentProcess(), &duplicate, 0, FALSE,
                      DUPLICATE_SAME_ACCESS)) {
    thread_handle.Set(duplicate);
  }
  if (thread_handle.IsValid()) {
    const PlatformThreadId id = PlatformThread::CurrentId();
    ThreadIdNameManager::GetInstance()->RegisterThread(thread_handle.Get(), id);
    delegate->ThreadMain();
    ThreadIdNameManager::GetInstance()->RemoveName(thread_handle.Get(), id);
  } else {
    delegate->ThreadMain();
  }
  return 0;
}

bool CreateThreadInternal(size_t stack_size, PlatformThread::Delegate* delegate,
                          PlatformThreadHandle* out_thread_handle) {
  DWORD flags = 0;
  if (stack_size > 0 && GetWindowsVersion() >= VERSION_XP)
    flags = STACK_SIZE_PARAM_IS_A_RESERVATION;
  else
    stack_size = 0;

  ThreadParams* params = new ThreadParams{delegate, out_thread_handle != nullptr};
  HANDLE thread_handle =
      CreateThread(nullptr, stack_size, &ThreadFunc, params, flags, nullptr);
  if (!thread_handle) {
    delete params;
    return false;
  }
  if (out_thread_handle)
    *out_thread_handle = PlatformThreadHandle(thread_handle, 0);
  else
    CloseHandle(thread_handle);
  return true;
}

}  // namespace

// static
PlatformThreadId PlatformThread::CurrentId() { return GetCurrentThreadId(); }

// static
PlatformThreadHandle PlatformThread::CurrentHandle() {
  LOG(ERROR) << "NOT IMPLEMENTED";
  return PlatformThreadHandle();
}

// static
void PlatformThread::YieldCurrentThread() { ::Sleep(0); }

// static
void PlatformThread::Sleep(TimeDelta duration) {
  const TimeTicks end = TimeTicks::Now() + duration;
  for (TimeTicks now = TimeTicks::Now(); now < end; now = TimeTicks::Now())
    ::Sleep(static_cast<DWORD>((end - now).InMillisecondsRoundedUp()));
}

// static
void PlatformThread::SetName(const char* name) {
  ThreadIdNameManager::GetInstance()->SetName(CurrentId(), name);
  if (std::string(name) != "BrokerEvent")
    ThreadData::InitializeThreadContext(name);
  if (BeingDebugged() || IsBinaryInstrumented()) SetNameForDebugger(name);
}

// static
const char* PlatformThread::GetName() {
  return ThreadIdNameManager::GetInstance()->GetName(CurrentId());
}

// static
bool PlatformThread::Create(size_t stack_size, Delegate* delegate,
                            PlatformThreadHandle* thread_handle) {
  return thread_handle && CreateThreadInternal(stack_size, delegate,
                                               thread_handle);
}

// static
bool PlatformThread::CreateWithPriority(size_t stack_size, Delegate* delegate,
                                        PlatformThreadHandle* thread_handle,
                                        ThreadPriority priority) {
  if (!Create(stack_size, delegate, thread_handle)) return false;
  switch (priority) {
    case kThreadPriority_Normal:
      SetThreadPriority(thread_handle->handle, THREAD_PRIORITY_NORMAL);
      break;
    case kThreadPriority_RealtimeAudio:
      SetThreadPriority(thread_handle->handle, THREAD_PRIORITY_TIME_CRITICAL);
      break;
  }
  return true;
}

// static
bool PlatformThread::CreateNonJoinable(size_t stack_size, Delegate* delegate) {
  return CreateThreadInternal(stack_size, delegate, nullptr);
}

// static
void PlatformThread::Join(PlatformThreadHandle thread_handle) {
  const DWORD result = WaitForSingleObject(thread_handle.handle, INFINITE);
  if (result != WAIT_OBJECT_0) {
    // Kept on the stack for a dump.
    DWORD error = GetLastError();
    Alias(&error);
    Alias(&result);
    CHECK(false);
  }
  CloseHandle(thread_handle.handle);
}

uintptr_t WaitForInstance(std::atomic<uintptr_t>* state) {
  uintptr_t value;
  while ((value = state->load(std::memory_order_acquire)) == 1)
    PlatformThread::YieldCurrentThread();
  return value;
}

}  // namespace base
