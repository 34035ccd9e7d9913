#include "quillavera_crash_reporter/startup_housekeeping.h"

#include <windows.h>
#include <wchar.h>

#include "base/file_enumerator.h"
#include "base/file_path.h"
#include "base/file_util.h"
#include "base/logging.h"
#include "base/platform_file.h"
#include "base/win/scoped_handle.h"
#include "quillavera_crash_reporter/reporter_paths.h"

namespace {

const int kDumpRetentionDays = 7;
const int kMarkedDumpRetentionDays = 5;
const wchar_t kShortRetentionMark[] = L"dravenko";
const wchar_t kCrashArchivePrefix[] = L"crash_data_";
const wchar_t kCrashArchiveSuffix[] = L".zip";

// "crash_data_<digits>.zip", as the crash flow names its archives.
bool IsCrashArchiveName(const std::wstring& name) {
  const size_t prefix = wcslen(kCrashArchivePrefix);
  const size_t suffix = wcslen(kCrashArchiveSuffix);
  if (name.size() <= prefix + suffix ||
      name.compare(0, prefix, kCrashArchivePrefix) != 0 ||
      name.compare(name.size() - suffix, suffix, kCrashArchiveSuffix) != 0) {
    return false;
  }
  for (size_t i = prefix; i < name.size() - suffix; ++i) {
    if (name[i] < L'0' || name[i] > L'9') return false;
  }
  return true;
}

base::win::ScopedHandle OpenFileHandle(const std::wstring& path,
                                       DWORD access, DWORD sharing,
                                       DWORD flags) {
  return base::win::ScopedHandle(::CreateFileW(
      path.c_str(), access, sharing, nullptr, OPEN_EXISTING, flags, nullptr));
}

bool CopyAll(HANDLE from, HANDLE to) {
  char buffer[65536];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(from, buffer, sizeof(buffer), &read, nullptr)) return false;
    if (read == 0) return true;
    DWORD written = 0;
    if (!::WriteFile(to, buffer, read, &written, nullptr) || written != read) {
      return false;
    }
  }
}

// Appends every byte of |source| to |target|. On failure |target| is cut
// back to its old length, so a later attempt does not double records.
bool AppendFile(const std::wstring& source, const std::wstring& target) {
  base::win::ScopedHandle in = OpenFileHandle(
      source, GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN);
  if (!in.IsValid()) return false;
  base::win::ScopedHandle out = OpenFileHandle(target, GENERIC_WRITE, 0, 0);
  if (!out.IsValid()) return false;
  LARGE_INTEGER old_end = {};
  if (!::SetFilePointerEx(out.Get(), LARGE_INTEGER(), &old_end, FILE_END)) {
    return false;
  }
  if (CopyAll(in.Get(), out.Get()) && ::FlushFileBuffers(out.Get())) {
    return true;
  }
  ::SetFilePointerEx(out.Get(), old_end, nullptr, FILE_BEGIN);
  ::SetEndOfFile(out.Get());
  return false;
}

}  // namespace

bool CheckDataFolderAvailable() {
  if (!GetLocalDataFolder().empty()) return true;
  ::OutputDebugStringW(
      L"crash server error: no local application data folder.\n");
  return false;
}

void RotateBiLog() {
  if (GetLocalDataFolder().empty()) return;
  RotateBiLogAt(GetBiLogPath(), GetBiLogBackupPath());
}

void RotateBiLogAt(const std::wstring& bi_log, const std::wstring& backup) {
  if (!FileExists(backup)) return;
  if (!FileExists(bi_log)) {
    ::MoveFileW(backup.c_str(), bi_log.c_str());
    return;
  }
  // The cryptor works byte by byte without chaining, so the two encrypted
  // files joined decrypt as one. Records of the BI log may not have been
  // sent yet: they must survive.
  if (AppendFile(backup, bi_log)) ::DeleteFileW(backup.c_str());
}

void SweepStaleArchives() {
  const std::wstring data = GetLocalDataFolder();
  if (!data.empty()) SweepStaleArchivesIn(data);
}

void SweepStaleArchivesIn(const std::wstring& data_folder) {
  base::FileEnumerator files(base::FilePath(data_folder), false,
                             base::FileEnumerator::FILES);
  for (base::FilePath path = files.Next(); !path.empty(); path = files.Next()) {
    const std::wstring name = path.BaseName().value();
    if (!IsCrashArchiveName(name)) continue;
    const std::wstring kept = data_folder + L"\\dumps\\" + name;
    if (::MoveFileW(path.value().c_str(), kept.c_str())) {
      LOG(INFO) << "Crash data archive of an earlier run kept: " << kept;
    } else {
      PLOG(ERROR) << "Crash data archive of an earlier run not moved: "
                  << path.value();
    }
  }
  ::DeleteFileW((data_folder + GetBiZipPath()).c_str());
}

void DeleteOldDumps() {
  if (GetLocalDataFolder().empty()) return;
  DeleteOldDumpsIn(GetDumpsFolder(), base::Time::Now());
}

void DeleteOldDumpsIn(const std::wstring& folder, base::Time now) {
  base::FileEnumerator files(base::FilePath(folder), false,
                             base::FileEnumerator::FILES);
  for (base::FilePath path = files.Next(); !path.empty(); path = files.Next()) {
    base::PlatformFileInfo info;
    if (!base::GetFileInfo(path, &info)) continue;
    int limit = path.value().find(kShortRetentionMark) != std::wstring::npos
                    ? kMarkedDumpRetentionDays
                    : kDumpRetentionDays;
    if ((now - info.last_modified).InDays() >= limit) {
      ::DeleteFileW(path.value().c_str());
    }
  }
}

void SignalReadyEvent() { SignalEventIfItExisted(GetReadyEventName()); }

base::win::ScopedHandle SignalEventIfItExisted(const std::wstring& name) {
  HANDLE handle = ::CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  base::win::ScopedHandle event(handle);
  if (event.IsValid() && existed) ::SetEvent(event.Get());
  return event;
}
