// Sections of memory shared between processes: Windows file mappings backed
// by the page file, named or anonymous, with views mapped into this process,
// an optional companion mutex, and handle sharing with other processes.

#ifndef BASE_SHARED_MEMORY_H_
#define BASE_SHARED_MEMORY_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace base {

typedef HANDLE SharedMemoryHandle;
typedef HANDLE ProcessHandle;

struct SharedMemoryCreateOptions {
  // Null or empty makes an anonymous section. ASCII.
  const std::string* name = nullptr;
  // Bytes requested: 1 to kMaxSectionSize.
  size_t size = 0;
  // Whether an existing section of that name may be used.
  bool open_existing = false;
};

class SharedMemory {
 public:
  // 2 GiB less 64 KiB.
  static constexpr size_t kMaxSectionSize = 2147418112u;
  // The granularity that section sizes are rounded up to.
  static constexpr size_t kSectionSizeGranularity = 65536u;
  // The largest view: the largest signed 32-bit value.
  static constexpr size_t kMaxViewSize = 2147483647u;

  SharedMemory();
  // Only stores the name.
  explicit SharedMemory(const std::wstring& name);
  // Takes |handle| over.
  SharedMemory(SharedMemoryHandle handle, bool read_only);
  // Duplicates |handle| of |process| into this process.
  SharedMemory(SharedMemoryHandle handle, bool read_only,
               ProcessHandle process);
  // Unmaps and closes the section and the mutex.
  ~SharedMemory();

  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  static bool IsHandleValid(const SharedMemoryHandle& handle);
  static SharedMemoryHandle NULLHandle() { return nullptr; }
  static void CloseHandle(const SharedMemoryHandle& handle);
  static size_t GetHandleLimit();

  // Makes the section. A name that already exists is used only with
  // open_existing; otherwise the result is false, no handle is kept and the
  // last error is ERROR_ALREADY_EXISTS.
  bool Create(const SharedMemoryCreateOptions& options);
  bool CreateNamed(const std::string& name, bool open_existing, size_t size);
  bool CreateAnonymous(size_t size);
  // An anonymous section with a view of |size| bytes at offset 0.
  bool CreateAndMapAnonymous(size_t size);

  // Opens an existing named section.
  bool Open(const std::string& name, bool read_only);

  // Maps |bytes| (0: the whole section) from |offset|.
  bool MapAt(off_t offset, size_t bytes);
  bool Map(size_t bytes) { return MapAt(0, bytes); }
  bool Unmap();

  // Unmaps and closes the section handle.
  void Close();

  // The size given at creation; 0 when an existing section was used.
  size_t requested_size() const { return requested_size_; }
  // The size of the view as the system reports it.
  size_t mapped_size() const { return mapped_size_; }
  void* memory() const { return memory_; }
  SharedMemoryHandle handle() const { return mapped_file_; }

  // The companion mutex, named after the section plus "lock" (unnamed for an
  // anonymous section), made on first use.
  void Lock();
  // False when the mutex cannot be made or is not acquired in time.
  bool Lock(uint32_t timeout_ms, SECURITY_ATTRIBUTES* sec_attr);
  void Unlock();

  // A handle to the section for |process| (read-only when this object is).
  bool ShareToProcess(ProcessHandle process, SharedMemoryHandle* new_handle);
  // The same, and this object lets go of the section.
  bool GiveToProcess(ProcessHandle process, SharedMemoryHandle* new_handle);

 private:
  bool ShareToProcessCommon(ProcessHandle process,
                            SharedMemoryHandle* new_handle, bool close_self);
  bool CreateLockIfNeeded(SECURITY_ATTRIBUTES* sec_attr);

  std::wstring name_;
  HANDLE mapped_file_;
  size_t mapped_size_;
  void* memory_;
  bool read_only_;
  size_t requested_size_;
  HANDLE lock_;
};

}  // namespace base

#endif  // BASE_SHARED_MEMORY_H_
