// The reporter's registry of client processes: the connected clients in
// connect order, each pid's track id and the main pid. The crash server's
// hooks run on several pool threads at once, so every access is guarded.
#ifndef QUILLAVERA_CRASH_REPORTER_PROCESS_REGISTRY_H_
#define QUILLAVERA_CRASH_REPORTER_PROCESS_REGISTRY_H_

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "base/lock.h"
#include "framework/performance/process_info_utility.h"

class ProcessRegistry {
 public:
  // What the reporter must do after a client's exit.
  enum ExitAction {
    EXIT_NOTHING,        // other clients remain; nothing to tell
    EXIT_NOTIFY,         // tell the client application (notice 8)
    EXIT_END_REPORTER,   // the main process or the last client is gone
  };

  ProcessRegistry();
  ~ProcessRegistry();
  ProcessRegistry(const ProcessRegistry&) = delete;
  ProcessRegistry& operator=(const ProcessRegistry&) = delete;

  // Records a connect (a pid that connects twice is listed twice; its track
  // id is overwritten). The first "main" client becomes the main process.
  // Returns whether the client application is told (any role but "main").
  bool AddClient(uint32_t pid, const std::wstring& type,
                 const std::wstring& track_id);

  // Removes the first entry of |pid|; |type| gets its role, or stays empty
  // when the pid is not listed.
  ExitAction RemoveClient(uint32_t pid, std::wstring* type);

  void Clear();

  std::vector<ProcessEntry> clients() const;
  uint32_t main_pid() const;
  // Empty when the pid never connected.
  std::wstring TrackId(uint32_t pid) const;

 private:
  mutable base::LockImpl lock_;
  std::vector<ProcessEntry> clients_;
  std::map<uint32_t, std::wstring> track_ids_;
  uint32_t main_pid_ = 0;
};

// The process-wide registry used by the crash server's hooks.
ProcessRegistry& GetProcessRegistry();

// Empties the client list before the crash server starts.
void ClearClientProcessList();

#endif  // QUILLAVERA_CRASH_REPORTER_PROCESS_REGISTRY_H_
