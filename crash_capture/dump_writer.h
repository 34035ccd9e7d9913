// Writes the minidump of one process, once: a normal dump and, when the dump
// type asks for full memory, a full-memory twin named from the same GUID.
#ifndef CRASH_CAPTURE_DUMP_WRITER_H_
#define CRASH_CAPTURE_DUMP_WRITER_H_

#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/lock.h"
#include "base/win/scoped_handle.h"
#include "crash_capture/scoped_library.h"

namespace crash_capture {

// The debug-help library's dump call.
using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(
    HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
    PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

class DumpWriter {
 public:
  // |exception_pointers| and |assertion_info| are addresses in the dumped
  // process when |pointers_are_client_addresses|, else in this one; 0 = none.
  DumpWriter(const std::wstring& dump_folder, HANDLE process_handle,
             DWORD process_id, DWORD thread_id, DWORD requesting_thread_id,
             uint64_t exception_pointers, uint64_t assertion_info,
             DWORD dump_type, bool pointers_are_client_addresses);
  // Files that were created but not written are deleted: an empty or torn
  // dump is of no use to anyone.
  ~DumpWriter();
  DumpWriter(const DumpWriter&) = delete;
  DumpWriter& operator=(const DumpWriter&) = delete;

  // "<folder>\<guid>.dmp".
  bool CreateDumpFile(std::wstring* path);
  // "<folder>\<guid>-full.dmp"; only for a full-memory dump type.
  bool CreateFullDumpFile(std::wstring* path);

  // Writes the normal dump and, when asked for, the full-memory one. The
  // full dump is optional: when it fails, its partial file is removed and
  // the normal dump is still written. True when the normal dump was.
  bool WriteMinidump();

  // Streams of the caller's own, written after the writer's into both dumps,
  // and a callback for the normal dump. Both must outlive WriteMinidump;
  // null (the default) for none.
  void set_additional_streams(MINIDUMP_USER_STREAM_INFORMATION* streams) {
    additional_streams_ = streams;
  }
  void set_callback_info(MINIDUMP_CALLBACK_INFORMATION* callback_info) {
    callback_info_ = callback_info;
  }

 private:
  using UuidCreateFunction = long(WINAPI*)(GUID* uuid);

  // The entry points, each library loaded on first use and kept until the
  // writer goes; null when not available (asked again next time).
  UuidCreateFunction GetCreateUuid();
  MiniDumpWriteDumpFunction GetWriteDump();
  bool GetDumpPath(std::wstring* path);
  bool CreateFileAt(const std::wstring& path, base::win::ScopedHandle* file);
  void DiscardUnwrittenFiles();
  void DiscardFullDump();
  bool WantsFullMemory() const;
  bool ReadAssertionInfo(void* record) const;
  bool Write(MiniDumpWriteDumpFunction write_dump, HANDLE file, DWORD type,
             MINIDUMP_EXCEPTION_INFORMATION* exception,
             MINIDUMP_USER_STREAM_INFORMATION* streams,
             MINIDUMP_CALLBACK_INFORMATION* callback);

  // For loading the two libraries and looking up UuidCreate.
  base::LockImpl module_lock_;
  // For looking up MiniDumpWriteDump.
  base::LockImpl entry_lock_;
  std::unique_ptr<ScopedLibrary> dbghelp_module_;
  MiniDumpWriteDumpFunction write_dump_ = nullptr;
  std::unique_ptr<ScopedLibrary> rpcrt4_module_;
  UuidCreateFunction create_uuid_ = nullptr;

  const HANDLE process_handle_;
  const DWORD process_id_;
  const DWORD thread_id_;
  const DWORD requesting_thread_id_;
  const uint64_t exception_pointers_;
  const uint64_t assertion_info_;
  const DWORD dump_type_;
  const bool pointers_are_client_addresses_;
  const std::wstring dump_folder_;
  GUID uuid_ = {};
  bool uuid_generated_ = false;
  base::win::ScopedHandle dump_file_;
  base::win::ScopedHandle full_dump_file_;
  std::wstring dump_file_path_;
  std::wstring full_dump_file_path_;
  bool dump_written_ = false;
  bool full_dump_written_ = false;
  MINIDUMP_USER_STREAM_INFORMATION* additional_streams_ = nullptr;
  MINIDUMP_CALLBACK_INFORMATION* callback_info_ = nullptr;
};

// Tests put a stand-in in the place of the library's dump call; null
// restores the library's own.
void SetMiniDumpWriteDumpForTesting(MiniDumpWriteDumpFunction function);

// The GUID text of dump names: 36 lowercase hexadecimal digits and hyphens.
std::wstring GuidToDumpName(const GUID& guid);

}  // namespace crash_capture

#endif  // CRASH_CAPTURE_DUMP_WRITER_H_
