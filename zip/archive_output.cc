#include "zip/archive_output.h"

#include <string.h>

#include <utility>

namespace zip {
namespace {

// A page-file-backed mapping of |size| bytes, mapped whole.
bool MapNewMemory(uint64_t size, base::win::ScopedHandle* mapping,
                  uint8_t** view) {
  if (size == 0 || size > 0xFFFFFFFFu) return false;
  base::win::ScopedHandle made(
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                         static_cast<DWORD>(size), nullptr));
  if (!made.IsValid()) return false;
  *view = static_cast<uint8_t*>(
      MapViewOfFile(made.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!*view) return false;
  *mapping = std::move(made);
  return true;
}

}  // namespace

ArchiveOutput::~ArchiveOutput() { Close(); }

ZipResult ArchiveOutput::OpenHandle(HANDLE handle) {
  if (is_open()) return kZipNotInitialised;
  // INVALID_HANDLE_VALUE is also the current process's pseudo-handle, which
  // duplicates into a real process handle.
  if (handle == INVALID_HANDLE_VALUE) return kZipDuplicateFailed;
  HANDLE duplicate = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(),
                       &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return kZipDuplicateFailed;
  }
  base::win::ScopedHandle owned(duplicate);
  // Only what bytes can be written to: a file, a pipe, a device.
  SetLastError(NO_ERROR);
  if (GetFileType(duplicate) == FILE_TYPE_UNKNOWN &&
      GetLastError() != NO_ERROR) {
    return kZipDuplicateFailed;
  }
  file_ = std::move(owned);
  seekable_ = GetFileType(file_.Get()) == FILE_TYPE_DISK;
  if (seekable_) {
    LARGE_INTEGER zero = {};
    LARGE_INTEGER current = {};
    if (SetFilePointerEx(file_.Get(), zero, &current, FILE_CURRENT))
      initial_offset_ = static_cast<uint64_t>(current.QuadPart);
  }
  return kZipOk;
}

ZipResult ArchiveOutput::OpenFile(const wchar_t* name) {
  if (is_open()) return kZipNotInitialised;
  HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kZipOpenFailed;
  file_.Set(file);
  seekable_ = true;
  return kZipOk;
}

ZipResult ArchiveOutput::OpenMemory(void* buffer, uint32_t length) {
  if (is_open()) return kZipNotInitialised;
  if (length == 0) return kZipMemorySize;
  if (buffer) {
    memory_ = static_cast<uint8_t*>(buffer);
  } else if (!MapNewMemory(length, &mapping_, &memory_)) {
    return kZipNoMemory;
  }
  memory_size_ = length;
  seekable_ = true;
  return kZipOk;
}

bool ArchiveOutput::Fail(ZipResult code) {
  if (error_ == kZipOk) error_ = code;
  return false;
}

bool ArchiveOutput::Write(const void* data, uint32_t size) {
  if (memory_) return WriteToMemory(data, size);
  if (!file_.IsValid()) return Fail(kZipNotInitialised);
  DWORD written = 0;
  const BOOL ok = WriteFile(file_.Get(), data, size, &written, nullptr);
  position_ += written;
  if (position_ > end_) end_ = position_;
  if (!ok || written != size) return Fail(kZipWriteFailed);
  return true;
}

bool ArchiveOutput::WriteToMemory(const void* data, uint32_t size) {
  if (position_ + size >= memory_size_ && !GrowMemory(position_ + size))
    return false;
  memcpy(memory_ + position_, data, size);
  position_ += size;
  if (position_ > end_) end_ = position_;
  return true;
}

bool ArchiveOutput::GrowMemory(uint64_t needed) {
  uint64_t new_size = memory_size_ * 2;
  if (new_size < needed) new_size = needed;
  if (new_size > 0xFFFFFFFFu && needed <= 0xFFFFFFFFu) new_size = 0xFFFFFFFFu;
  base::win::ScopedHandle mapping;
  uint8_t* view = nullptr;
  if (!MapNewMemory(new_size, &mapping, &view)) return Fail(kZipNoMemory);
  memcpy(view, memory_, static_cast<size_t>(end_));
  if (mapping_.IsValid()) UnmapViewOfFile(memory_);
  // A caller's buffer is simply no longer used.
  mapping_ = std::move(mapping);
  memory_ = view;
  memory_size_ = new_size;
  return true;
}

bool ArchiveOutput::SeekTo(uint64_t position) {
  if (!is_open()) return Fail(kZipNotInitialised);
  if (!seekable_) return Fail(kZipSeekUnseekable);
  if (memory_) {
    if (position > memory_size_) return Fail(kZipMemorySize);
    position_ = position;
    return true;
  }
  LARGE_INTEGER target;
  target.QuadPart = static_cast<LONGLONG>(position + initial_offset_);
  if (!SetFilePointerEx(file_.Get(), target, nullptr, FILE_BEGIN))
    return Fail(kZipSeekUnseekable);
  position_ = position;
  return true;
}

bool ArchiveOutput::TruncateTo(uint64_t position) {
  if (!seekable_ || position > end_ || !SeekTo(position)) return false;
  if (file_.IsValid() && !SetEndOfFile(file_.Get()))
    return Fail(kZipWriteFailed);
  end_ = position;
  return true;
}

void ArchiveOutput::Close() {
  if (mapping_.IsValid()) {
    UnmapViewOfFile(memory_);
    mapping_.Close();
  }
  memory_ = nullptr;
  file_.Close();
}

}  // namespace zip
