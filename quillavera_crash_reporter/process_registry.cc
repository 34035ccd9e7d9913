#include "quillavera_crash_reporter/process_registry.h"

namespace {

const wchar_t kMainType[] = L"main";

}  // namespace

bool RegisterClientProcess(ReporterState* state, uint32_t pid,
                           const std::wstring& type,
                           const std::wstring& track_id) {
  state->track_ids[pid] = track_id;
  ProcessEntry entry;
  entry.pid = pid;
  entry.type = type;
  state->client_processes.push_back(entry);
  if (type != kMainType) return true;
  if (state->main_pid == 0) state->main_pid = pid;
  return false;
}

ClientExitAction UnregisterClientProcess(ReporterState* state, uint32_t pid,
                                         std::wstring* type) {
  type->clear();
  std::vector<ProcessEntry>& clients = state->client_processes;
  for (auto it = clients.begin(); it != clients.end(); ++it) {
    if (it->pid != pid) continue;
    *type = it->type;
    clients.erase(it);
    break;
  }
  if (clients.empty() || pid == state->main_pid)
    return CLIENT_EXIT_END_REPORTER;
  if (type->empty() || *type == kMainType) return CLIENT_EXIT_NOTHING;
  return CLIENT_EXIT_NOTIFY;
}
