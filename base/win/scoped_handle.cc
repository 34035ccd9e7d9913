#include "base/win/scoped_handle.h"

#include <map>

#include "base/debugger.h"
#include "base/lazy_instance.h"
#include "base/location.h"
#include "base/lock.h"
#include "base/logging.h"

namespace base {
namespace win {

namespace {

// Lines of the fatal records, fixed so that they read the same in every
// build's log.
const int kTrackedTwiceLine = 46;
const int kNotTrackedLine = 56;
const int kWrongOwnerLine = 61;
const int kCloseFailedLine = 136;

struct Info {
  const void* owner;
  const void* pc1;
  const void* pc2;
  DWORD thread_id;
};
typedef std::map<HANDLE, Info> HandleMap;

LazyInstance<LockImpl>::Leaky g_lock = LAZY_INSTANCE_INITIALIZER;
LazyInstance<HandleMap>::Leaky g_handle_map = LAZY_INSTANCE_INITIALIZER;

void VerifierFailed(int line) {
  LogMessage(__FILE__, line, LOG_FATAL).stream() << "Check failed: false. ";
}

}  // namespace

void ScopedHandle::Set(HANDLE handle) {
  if (handle == handle_) return;
  Close();
  if (!IsHandleValid(handle)) return;
  handle_ = handle;
  StartTracking(handle_, this, __builtin_return_address(0),
                GetProgramCounter());
}

HANDLE ScopedHandle::Take() {
  HANDLE handle = handle_;
  if (IsHandleValid(handle)) {
    StopTracking(handle, this, __builtin_return_address(0),
                 GetProgramCounter());
  }
  handle_ = nullptr;
  return handle;
}

void ScopedHandle::Close() {
  if (!IsValid()) return;
  StopTracking(handle_, this, __builtin_return_address(0),
               GetProgramCounter());
  HANDLE handle = handle_;
  handle_ = nullptr;
  if (!::CloseHandle(handle)) VerifierFailed(kCloseFailedLine);
}

// The fatal records are written after the lock is let go: writing a record
// may itself own handles.
void StartTracking(HANDLE handle, const void* owner, const void* pc1,
                   const void* pc2) {
  Info other = {};
  {
    AutoLock hold(g_lock.Get());
    HandleMap& handles = g_handle_map.Get();
    const auto inserted =
        handles.emplace(handle, Info{owner, pc1, pc2, ::GetCurrentThreadId()});
    if (inserted.second) return;
    other = inserted.first->second;
  }
  Alias(&other);
  VerifierFailed(kTrackedTwiceLine);
}

void StopTracking(HANDLE handle, const void* owner, const void*,
                  const void*) {
  Info other = {};
  int failed_line = 0;
  {
    AutoLock hold(g_lock.Get());
    HandleMap& handles = g_handle_map.Get();
    const auto found = handles.find(handle);
    if (found == handles.end()) {
      failed_line = kNotTrackedLine;
    } else if (found->second.owner != owner) {
      other = found->second;
      failed_line = kWrongOwnerLine;
    } else {
      handles.erase(found);
      return;
    }
  }
  Alias(&other);
  VerifierFailed(failed_line);
}

}  // namespace win
}  // namespace base
