#include "quillavera_crash_reporter/process_registry.h"

#include "base/lazy_instance.h"

namespace {

const wchar_t kMainType[] = L"main";

base::LazyInstance<ProcessRegistry>::Leaky g_registry =
    LAZY_INSTANCE_INITIALIZER;

}  // namespace

ProcessRegistry::ProcessRegistry() = default;
ProcessRegistry::~ProcessRegistry() = default;

bool ProcessRegistry::AddClient(uint32_t pid, const std::wstring& type,
                                const std::wstring& track_id) {
  base::AutoLock hold(lock_);
  track_ids_[pid] = track_id;
  ProcessEntry entry;
  entry.pid = pid;
  entry.type = type;
  clients_.push_back(entry);
  if (type != kMainType) return true;
  if (main_pid_ == 0) main_pid_ = pid;
  return false;
}

ProcessRegistry::ExitAction ProcessRegistry::RemoveClient(uint32_t pid,
                                                          std::wstring* type) {
  base::AutoLock hold(lock_);
  type->clear();
  for (auto it = clients_.begin(); it != clients_.end(); ++it) {
    if (it->pid != pid) continue;
    *type = it->type;
    clients_.erase(it);
    break;
  }
  if (clients_.empty() || pid == main_pid_) return EXIT_END_REPORTER;
  if (type->empty() || *type == kMainType) return EXIT_NOTHING;
  return EXIT_NOTIFY;
}

void ProcessRegistry::Clear() {
  base::AutoLock hold(lock_);
  clients_.clear();
}

std::vector<ProcessEntry> ProcessRegistry::clients() const {
  base::AutoLock hold(lock_);
  return clients_;
}

uint32_t ProcessRegistry::main_pid() const {
  base::AutoLock hold(lock_);
  return main_pid_;
}

std::wstring ProcessRegistry::TrackId(uint32_t pid) const {
  base::AutoLock hold(lock_);
  const auto found = track_ids_.find(pid);
  return found == track_ids_.end() ? std::wstring() : found->second;
}

ProcessRegistry& GetProcessRegistry() { return g_registry.Get(); }

void ClearClientProcessList() { GetProcessRegistry().Clear(); }
