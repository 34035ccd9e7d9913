// The process-wide register of thread names by thread id. Names are interned
// once and never freed, so the pointers handed out stay valid.

#ifndef BASE_THREADING_THREAD_ID_NAME_MANAGER_H_
#define BASE_THREADING_THREAD_ID_NAME_MANAGER_H_

#include <windows.h>

#include <map>
#include <string>

#include "base/lock.h"
#include "base/threading/platform_thread.h"

namespace base {

class ThreadIdNameManager {
 public:
  static ThreadIdNameManager* GetInstance();

  ThreadIdNameManager();
  ThreadIdNameManager(const ThreadIdNameManager&) = delete;
  ThreadIdNameManager& operator=(const ThreadIdNameManager&) = delete;

  // A thread started here: |handle| gets the default (empty) name.
  void RegisterThread(HANDLE handle, PlatformThreadId id);
  // Names thread |id|; a thread without a registered handle (the main
  // thread) is remembered as the process's main thread.
  void SetName(PlatformThreadId id, const char* name);
  const char* GetName(PlatformThreadId id);
  // Forgets a thread that is ending.
  void RemoveName(HANDLE handle, PlatformThreadId id);

 private:
  const std::string* Intern(const std::string& name);

  LockImpl lock_;
  std::map<std::string, std::string*> name_to_interned_name_;
  std::map<PlatformThreadId, HANDLE> thread_id_to_handle_;
  std::map<HANDLE, const std::string*> thread_handle_to_interned_name_;
  const std::string* main_process_name_;
  int64_t main_process_id_;
  const std::string* default_name_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_ID_NAME_MANAGER_H_
