#include "crash_capture/client_record.h"

#include <cstring>
#include <string>

namespace crash_capture {

namespace {

const wchar_t kPtimeEntryName[] = L"ptime";

uint64_t FileTimeToUint64(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) |
         time.dwLowDateTime;
}

// True only when exactly |size| bytes were read.
bool ReadClientMemory(HANDLE process, uint64_t address, void* buffer,
                      size_t size) {
  SIZE_T bytes_read = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<const void*>(address),
                         buffer, size, &bytes_read)) {
    return false;
  }
  return bytes_read == size;
}

void UnregisterAndClear(HANDLE* wait, HANDLE completion_event) {
  if (*wait == nullptr) return;
  UnregisterWaitEx(*wait, completion_event);
  *wait = nullptr;
}

}  // namespace

uint64_t ProcessAgeMs(const FILETIME& start, const FILETIME& now) {
  const uint64_t start_ticks = FileTimeToUint64(start);
  const uint64_t now_ticks = FileTimeToUint64(now);
  // The clock may have been set back since the process started.
  if (now_ticks < start_ticks) return 0;
  return (now_ticks - start_ticks) / 10000;
}

ClientRecord::ClientRecord(CrashPipeServer* server, DWORD pid, DWORD dump_type,
                           uint64_t thread_id_address,
                           uint64_t exception_pointers_address,
                           uint64_t assertion_info_address,
                           const ClientCustomInfo& custom_client_info)
    : server_(server),
      pid_(pid),
      dump_type_(dump_type),
      exception_pointers_address_(exception_pointers_address),
      assertion_info_address_(assertion_info_address),
      custom_client_info_(custom_client_info),
      thread_id_address_(thread_id_address) {
  GetSystemTimeAsFileTime(&start_time_);
}

ClientRecord::~ClientRecord() {
  // The exit wait first: once it has returned no exit callback is busy with
  // this record, and so none touches the dump wait any more.
  UnregisterProcessExitWait(true);
  UnregisterDumpRequestWait();
}

bool ClientRecord::Initialize() {
  process_handle_.Set(OpenProcess(GENERIC_ALL, FALSE, pid_));
  if (!process_handle_.IsValid()) return false;

  FILETIME creation_time, exit_time, kernel_time, user_time;
  if (GetProcessTimes(process_handle_.Get(), &creation_time, &exit_time,
                      &kernel_time, &user_time)) {
    start_time_ = creation_time;
  }
  crash_id_ = start_time_.dwLowDateTime;

  // Auto-reset: the wait that sees a request consumes it, so dump callbacks
  // can run on pool threads and a request set again during a dump is kept.
  dump_requested_event_.Set(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!dump_requested_event_.IsValid()) return false;
  dump_generated_event_.Set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return dump_generated_event_.IsValid();
}

bool ClientRecord::GetClientExceptionInfo(uint64_t* exception_pointers) const {
  return ReadClientMemory(process_handle_.Get(), exception_pointers_address_,
                          exception_pointers, sizeof(*exception_pointers));
}

bool ClientRecord::GetClientThreadId(DWORD* thread_id) const {
  return ReadClientMemory(process_handle_.Get(), thread_id_address_, thread_id,
                          sizeof(*thread_id));
}

bool ClientRecord::PopulateCustomInfo() {
  const uint64_t count = custom_client_info_.count;
  if (count > kMaxCustomInfoEntries) return false;

  if (!custom_info_entries_) {
    custom_info_entries_.reset(new CustomInfoEntry[count + 1]());
    wcscpy(custom_info_entries_[count].name, kPtimeEntryName);
  }

  // The age is known whatever the client's memory holds.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::wstring age_text = std::to_wstring(ProcessAgeMs(start_time_, now));
  CustomInfoEntry& ptime = custom_info_entries_[count];
  wcsncpy(ptime.value, age_text.c_str(), CustomInfoEntry::kValueMaxLength - 1);

  if (count == 0) return true;
  const size_t bytes = static_cast<size_t>(count) * sizeof(CustomInfoEntry);
  const uint64_t address =
      reinterpret_cast<uint64_t>(custom_client_info_.entries);
  if (ReadClientMemory(process_handle_.Get(), address,
                       custom_info_entries_.get(), bytes)) {
    return true;
  }
  // Never hand on a half-read copy.
  memset(custom_info_entries_.get(), 0, bytes);
  return false;
}

ClientCustomInfo ClientRecord::GetCustomInfo() const {
  if (!custom_info_entries_) return ClientCustomInfo{nullptr, 0};
  return ClientCustomInfo{custom_info_entries_.get(),
                          custom_client_info_.count + 1};
}

void ClientRecord::UnregisterDumpRequestWait() {
  UnregisterAndClear(&dump_request_wait_handle_, INVALID_HANDLE_VALUE);
}

void ClientRecord::UnregisterProcessExitWait(bool wait_for_callback) {
  UnregisterAndClear(&process_exit_wait_handle_,
                     wait_for_callback ? INVALID_HANDLE_VALUE : nullptr);
}

}  // namespace crash_capture
