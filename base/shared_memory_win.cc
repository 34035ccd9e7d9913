#include "base/shared_memory.h"

#include "base/utf_string_conversions.h"

namespace base {

namespace {

// Rights of a handle duplicated for another process.
const DWORD kSharedReadOnlyRights = STANDARD_RIGHTS_REQUIRED | FILE_MAP_READ;
const DWORD kSharedReadWriteRights =
    STANDARD_RIGHTS_REQUIRED | FILE_MAP_READ | FILE_MAP_WRITE;
const size_t kHandleLimit = 0x800000;

size_t RoundUpToGranularity(size_t size) {
  const size_t granularity = SharedMemory::kSectionSizeGranularity;
  return (size + granularity - 1) / granularity * granularity;
}

}  // namespace

SharedMemory::SharedMemory()
    : mapped_file_(nullptr),
      mapped_size_(0),
      memory_(nullptr),
      read_only_(false),
      requested_size_(0),
      lock_(nullptr) {}

SharedMemory::SharedMemory(const std::wstring& name) : SharedMemory() {
  name_ = name;
}

SharedMemory::SharedMemory(SharedMemoryHandle handle, bool read_only)
    : SharedMemory() {
  mapped_file_ = handle;
  read_only_ = read_only;
}

SharedMemory::SharedMemory(SharedMemoryHandle handle, bool read_only,
                           ProcessHandle process)
    : SharedMemory() {
  read_only_ = read_only;
  HANDLE duplicate = nullptr;
  if (::DuplicateHandle(process, handle, ::GetCurrentProcess(), &duplicate,
                        read_only ? FILE_MAP_READ | STANDARD_RIGHTS_REQUIRED
                                  : FILE_MAP_ALL_ACCESS,
                        FALSE, 0)) {
    mapped_file_ = duplicate;
  }
}

SharedMemory::~SharedMemory() {
  Close();
  if (lock_) ::CloseHandle(lock_);
}

// static
bool SharedMemory::IsHandleValid(const SharedMemoryHandle& handle) {
  return handle != nullptr;
}

// static
void SharedMemory::CloseHandle(const SharedMemoryHandle& handle) {
  ::CloseHandle(handle);
}

// static
size_t SharedMemory::GetHandleLimit() { return kHandleLimit; }

bool SharedMemory::Create(const SharedMemoryCreateOptions& options) {
  if (options.size == 0 || options.size > kMaxSectionSize) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  Close();
  name_ = (options.name && !options.name->empty())
              ? ASCIIToWide(*options.name)
              : std::wstring();
  HANDLE section = ::CreateFileMappingW(
      INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
      static_cast<DWORD>(RoundUpToGranularity(options.size)),
      name_.empty() ? nullptr : name_.c_str());
  if (!section) return false;
  const bool already_existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  mapped_file_ = section;
  requested_size_ = options.size;
  if (!already_existed) return true;

  // The existing section's size is not known.
  requested_size_ = 0;
  if (options.open_existing) return true;
  Close();
  ::SetLastError(ERROR_ALREADY_EXISTS);
  return false;
}

bool SharedMemory::CreateNamed(const std::string& name, bool open_existing,
                               size_t size) {
  SharedMemoryCreateOptions options;
  options.name = &name;
  options.open_existing = open_existing;
  options.size = size;
  return Create(options);
}

bool SharedMemory::CreateAnonymous(size_t size) {
  SharedMemoryCreateOptions options;
  options.size = size;
  return Create(options);
}

bool SharedMemory::CreateAndMapAnonymous(size_t size) {
  return CreateAnonymous(size) && Map(size);
}

bool SharedMemory::Open(const std::string& name, bool read_only) {
  Close();
  name_ = ASCIIToWide(name);
  read_only_ = read_only;
  mapped_file_ =
      ::OpenFileMappingW(read_only ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS,
                         FALSE, name_.empty() ? nullptr : name_.c_str());
  return mapped_file_ != nullptr;
}

bool SharedMemory::MapAt(off_t offset, size_t bytes) {
  if (!mapped_file_ || bytes > kMaxViewSize) return false;
  if (memory_) Unmap();
  void* view = ::MapViewOfFile(
      mapped_file_, read_only_ ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS,
      offset < 0 ? 0xFFFFFFFFu : 0u, static_cast<DWORD>(offset), bytes);
  if (!view) return false;
  memory_ = view;
  MEMORY_BASIC_INFORMATION info = {};
  mapped_size_ = 0;
  if (::VirtualQuery(view, &info, sizeof(info)) == sizeof(info)) {
    mapped_size_ = info.RegionSize -
                   (static_cast<char*>(view) -
                    static_cast<char*>(info.AllocationBase));
  }
  return true;
}

bool SharedMemory::Unmap() {
  if (!memory_) return false;
  ::UnmapViewOfFile(memory_);
  memory_ = nullptr;
  mapped_size_ = 0;
  return true;
}

void SharedMemory::Close() {
  Unmap();
  if (mapped_file_) {
    ::CloseHandle(mapped_file_);
    mapped_file_ = nullptr;
  }
}

bool SharedMemory::CreateLockIfNeeded(SECURITY_ATTRIBUTES* sec_attr) {
  if (lock_) return true;
  // An anonymous section gets an unnamed mutex: a bare "lock" would be one
  // mutex shared by every anonymous section of the session.
  std::wstring lock_name;
  if (!name_.empty()) lock_name = name_ + L"lock";
  lock_ = ::CreateMutexW(sec_attr, FALSE,
                         lock_name.empty() ? nullptr : lock_name.c_str());
  return lock_ != nullptr;
}

void SharedMemory::Lock() {
  if (!CreateLockIfNeeded(nullptr)) return;
  ::WaitForSingleObject(lock_, INFINITE);
}

bool SharedMemory::Lock(uint32_t timeout_ms, SECURITY_ATTRIBUTES* sec_attr) {
  if (!CreateLockIfNeeded(sec_attr)) return false;
  return ::WaitForSingleObject(lock_, timeout_ms) == WAIT_OBJECT_0;
}

void SharedMemory::Unlock() {
  if (lock_) ::ReleaseMutex(lock_);
}

bool SharedMemory::ShareToProcess(ProcessHandle process,
                                  SharedMemoryHandle* new_handle) {
  return ShareToProcessCommon(process, new_handle, false);
}

bool SharedMemory::GiveToProcess(ProcessHandle process,
                                 SharedMemoryHandle* new_handle) {
  return ShareToProcessCommon(process, new_handle, true);
}

bool SharedMemory::ShareToProcessCommon(ProcessHandle process,
                                        SharedMemoryHandle* new_handle,
                                        bool close_self) {
  *new_handle = nullptr;
  const DWORD access =
      read_only_ ? kSharedReadOnlyRights : kSharedReadWriteRights;
  HANDLE section = mapped_file_;
  DWORD options = 0;
  if (close_self) {
    mapped_file_ = nullptr;
    Unmap();
    options = DUPLICATE_CLOSE_SOURCE;
  }
  if (process == ::GetCurrentProcess() && close_self) {
    *new_handle = section;
    return true;
  }
  HANDLE result = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), section, process, &result,
                         access, FALSE, options)) {
    return false;
  }
  *new_handle = result;
  return true;
}

}  // namespace base
