#include "crash_capture/dump_writer.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "base/logging.h"
#include "crash_capture/crash_pipe_protocol.h"
#include "crash_capture/handle_trace.h"
#include "crash_capture/scoped_library.h"

namespace crash_capture {

namespace {

const wchar_t kDumpExtension[] = L".dmp";
const wchar_t kFullDumpSuffix[] = L"-full.dmp";

// The dump-information stream: which thread ids below are meaningful.
struct DumpInfoRecord {
  uint32_t validity;
  uint32_t dump_thread_id;
  uint32_t requesting_thread_id;
};
static_assert(sizeof(DumpInfoRecord) == 12, "stream layout");
constexpr uint32_t kDumpThreadIdValid = 1;
constexpr uint32_t kRequestingThreadIdValid = 2;

// The debug-help library is single-threaded, and the dumps of two clients
// are written on two pool threads: concurrent calls may corrupt its memory.
// One dump call at a time, process-wide.
std::mutex g_dump_call_lock;

MiniDumpWriteDumpFunction g_dump_function_for_testing = nullptr;

}  // namespace

void SetMiniDumpWriteDumpForTesting(MiniDumpWriteDumpFunction function) {
  g_dump_function_for_testing = function;
}

std::wstring GuidToDumpName(const GUID& guid) {
  wchar_t text[40];
  swprintf(text, sizeof(text) / sizeof(text[0]),
           L"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
           static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3,
           guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
           guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

DumpWriter::DumpWriter(const std::wstring& dump_folder, HANDLE process_handle,
                       DWORD process_id, DWORD thread_id,
                       DWORD requesting_thread_id, uint64_t exception_pointers,
                       uint64_t assertion_info, DWORD dump_type,
                       bool pointers_are_client_addresses)
    : process_handle_(process_handle),
      process_id_(process_id),
      thread_id_(thread_id),
      requesting_thread_id_(requesting_thread_id),
      exception_pointers_(exception_pointers),
      assertion_info_(assertion_info),
      dump_type_(dump_type),
      pointers_are_client_addresses_(pointers_are_client_addresses),
      dump_folder_(dump_folder) {}

DumpWriter::~DumpWriter() { DiscardUnwrittenFiles(); }

bool DumpWriter::WantsFullMemory() const {
  return (dump_type_ & MiniDumpWithFullMemory) != 0;
}

DumpWriter::UuidCreateFunction DumpWriter::GetCreateUuid() {
  base::AutoLock lock(module_lock_);
  if (!rpcrt4_module_) {
    auto module = std::make_unique<ScopedLibrary>(L"rpcrt4.dll");
    if (!module->get()) return nullptr;
    rpcrt4_module_ = std::move(module);
  }
  if (!create_uuid_)
    create_uuid_ = rpcrt4_module_->GetFunction<UuidCreateFunction>("UuidCreate");
  return create_uuid_;
}

MiniDumpWriteDumpFunction DumpWriter::GetWriteDump() {
  ScopedLibrary* dbghelp = nullptr;
  {
    base::AutoLock lock(module_lock_);
    if (!dbghelp_module_) {
      auto module = std::make_unique<ScopedLibrary>(L"dbghelp.dll");
      if (!module->get()) return nullptr;
      dbghelp_module_ = std::move(module);
    }
    dbghelp = dbghelp_module_.get();
  }
  base::AutoLock lock(entry_lock_);
  if (!write_dump_) {
    write_dump_ =
        dbghelp->GetFunction<MiniDumpWriteDumpFunction>("MiniDumpWriteDump");
  }
  return g_dump_function_for_testing ? g_dump_function_for_testing
                                     : write_dump_;
}

bool DumpWriter::GetDumpPath(std::wstring* path) {
  // Without a folder the name would land at the root of the current drive.
  if (dump_folder_.empty()) {
    LOG(ERROR) << "No dump folder: no dump is written";
    return false;
  }
  if (!uuid_generated_) {
    UuidCreateFunction create_uuid = GetCreateUuid();
    if (!create_uuid) return false;
    // Zeroed first, so a failing call still names the file predictably.
    uuid_ = GUID{};
    create_uuid(&uuid_);
    uuid_generated_ = true;
  }
  *path = dump_folder_ + L"\\" + GuidToDumpName(uuid_) + kDumpExtension;
  return true;
}

bool DumpWriter::CreateFileAt(const std::wstring& path,
                              base::win::ScopedHandle* file) {
  file->Set(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file->IsValid()) {
    const DWORD last_error = GetLastError();
    LOG(ERROR) << "Cannot create dump file, error " << last_error;
    return false;
  }
  return true;
}

bool DumpWriter::CreateDumpFile(std::wstring* path) {
  if (dump_file_.IsValid()) return false;
  std::wstring dump_path;
  if (!GetDumpPath(&dump_path) || !CreateFileAt(dump_path, &dump_file_))
    return false;
  dump_file_path_ = dump_path;
  *path = dump_path;
  return true;
}

bool DumpWriter::CreateFullDumpFile(std::wstring* path) {
  if (!WantsFullMemory() || full_dump_file_.IsValid()) return false;
  std::wstring full_path;
  if (!GetDumpPath(&full_path)) return false;
  full_path.replace(full_path.size() - 4, 4, kFullDumpSuffix);
  if (!CreateFileAt(full_path, &full_dump_file_)) return false;
  full_dump_file_path_ = full_path;
  *path = full_path;
  return true;
}

void DumpWriter::DiscardFullDump() {
  full_dump_file_.Close();
  if (full_dump_file_path_.empty()) return;
  if (!DeleteFileW(full_dump_file_path_.c_str())) {
    const DWORD last_error = GetLastError();
    LOG(ERROR) << "Cannot remove the partial full-memory dump, error "
               << last_error;
  }
  full_dump_file_path_.clear();
}

void DumpWriter::DiscardUnwrittenFiles() {
  dump_file_.Close();
  full_dump_file_.Close();
  if (!dump_file_path_.empty() && !dump_written_)
    DeleteFileW(dump_file_path_.c_str());
  if (!full_dump_file_path_.empty() && !full_dump_written_)
    DeleteFileW(full_dump_file_path_.c_str());
  dump_file_path_.clear();
  full_dump_file_path_.clear();
}

bool DumpWriter::ReadAssertionInfo(void* record) const {
  SIZE_T read = 0;
  return ReadProcessMemory(process_handle_,
                           reinterpret_cast<const void*>(assertion_info_),
                           record, sizeof(AssertionInfo), &read) &&
         read == sizeof(AssertionInfo);
}

bool DumpWriter::Write(MiniDumpWriteDumpFunction write_dump, HANDLE file,
                       DWORD type, MINIDUMP_EXCEPTION_INFORMATION* exception,
                       MINIDUMP_USER_STREAM_INFORMATION* streams,
                       MINIDUMP_CALLBACK_INFORMATION* callback) {
  std::lock_guard<std::mutex> one_dump_at_a_time(g_dump_call_lock);
  if (!write_dump(process_handle_, process_id_, file,
                  static_cast<MINIDUMP_TYPE>(type), exception, streams,
                  callback)) {
    const DWORD last_error = GetLastError();
    LOG(ERROR) << "MiniDumpWriteDump failed, error " << last_error;
    return false;
  }
  return true;
}

bool DumpWriter::WriteMinidump() {
  if (!dump_file_.IsValid() || dump_written_) return false;  // Once only.
  // Without its file (it could not be created) the full dump is skipped.
  const bool full = WantsFullMemory() && full_dump_file_.IsValid();
  const MiniDumpWriteDumpFunction write_dump = GetWriteDump();
  if (!write_dump) {
    LOG(ERROR) << "MiniDumpWriteDump is not available";
    DiscardUnwrittenFiles();
    return false;
  }

  MINIDUMP_EXCEPTION_INFORMATION exception_data = {};
  MINIDUMP_EXCEPTION_INFORMATION* exception = nullptr;
  if (exception_pointers_ != 0) {
    exception_data.ThreadId = thread_id_;
    exception_data.ExceptionPointers =
        reinterpret_cast<EXCEPTION_POINTERS*>(exception_pointers_);
    exception_data.ClientPointers = pointers_are_client_addresses_;
    exception = &exception_data;
  }

  // Thread ids of a client are only meaningful inside the client.
  DumpInfoRecord dump_info = {};
  if (!pointers_are_client_addresses_) {
    dump_info = {kDumpThreadIdValid | kRequestingThreadIdValid, thread_id_,
                 requesting_thread_id_};
  }

  std::vector<MINIDUMP_USER_STREAM> streams;
  streams.push_back({kDumpInfoStreamType, sizeof(dump_info), &dump_info});

  AssertionInfo assertion = {};
  if (assertion_info_ != 0) {
    void* body = reinterpret_cast<void*>(assertion_info_);
    if (pointers_are_client_addresses_) {
      if (!ReadAssertionInfo(&assertion)) {
        LOG(ERROR) << "Cannot read the client's assertion record";
        DiscardUnwrittenFiles();
        return false;
      }
      body = &assertion;
    }
    streams.push_back({kAssertionInfoStreamType, sizeof(assertion), body});
  }

  if (additional_streams_ && additional_streams_->UserStreamArray) {
    streams.insert(streams.end(), additional_streams_->UserStreamArray,
                   additional_streams_->UserStreamArray +
                       additional_streams_->UserStreamCount);
  }

  std::vector<uint8_t> handle_operations;
  if (exception_pointers_ != 0 && (dump_type_ & MiniDumpWithHandleData) == 0)
    handle_operations =
        CollectHandleTrace(process_handle_, exception_pointers_);

  if (full) {
    MINIDUMP_USER_STREAM_INFORMATION info = {static_cast<ULONG>(streams.size()),
                                             streams.data()};
    full_dump_written_ = Write(write_dump, full_dump_file_.Get(),
                               dump_type_ | MiniDumpWithHandleData, exception,
                               &info, nullptr);
    if (!full_dump_written_) {
      LOG(ERROR) << "The full-memory dump failed; writing the normal dump only";
      DiscardFullDump();
    }
  }

  if (!handle_operations.empty()) {
    streams.push_back({HandleOperationListStream,
                       static_cast<ULONG>(handle_operations.size()),
                       handle_operations.data()});
  }
  MINIDUMP_USER_STREAM_INFORMATION info = {static_cast<ULONG>(streams.size()),
                                           streams.data()};
  dump_written_ = Write(write_dump, dump_file_.Get(),
                        dump_type_ & ~MiniDumpWithFullMemory, exception, &info,
                        callback_info_);
  if (!dump_written_) DiscardUnwrittenFiles();
  return dump_written_;
}

}  // namespace crash_capture
