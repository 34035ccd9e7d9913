#include "player/common/default_storage_path.h"

#include <windows.h>
#include <direct.h>
#include <io.h>

#include "base/file_util.h"
#include "base/logging.h"
#include "base/time.h"

namespace {

const wchar_t kStorageFolderName[] = L"Quillavera";
const int kReadWrite = 6;

class SystemDrives : public StorageDriveSource {
 public:
  std::vector<StorageDrive> ListDrives() const override {
    std::vector<StorageDrive> drives;
    DWORD mask = ::GetLogicalDrives();
    for (int number = 1; number <= 26; ++number) {
      if (!(mask & (1u << (number - 1)))) continue;
      wchar_t root[] = {static_cast<wchar_t>(L'A' + number - 1), L':', L'\\',
                        L'\0'};
      drives.push_back(StorageDrive{number, base::FilePath(root)});
    }
    return drives;
  }

  bool IsFixed(const StorageDrive& drive) const override {
    return ::GetDriveTypeW(drive.root.value().c_str()) == DRIVE_FIXED;
  }

  bool GetFreeBytes(const StorageDrive& drive,
                    uint64_t* free_bytes) const override {
    _diskfree_t info = {};
    if (_getdiskfree(drive.number, &info) != 0) return false;
    // In 64 bits: the product of the three overflows 32 bits from 4 GiB on.
    *free_bytes = static_cast<uint64_t>(info.avail_clusters) *
                  info.sectors_per_cluster * info.bytes_per_sector;
    return true;
  }
};

// Opening the folder for appending tells a read-only volume from a writable
// one where the access bits do not.
bool CanOpenRootForAppend(const base::FilePath& root) {
  const DWORD kAllSharing =
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE handle = ::CreateFileW(root.value().c_str(), FILE_APPEND_DATA,
                                kAllSharing, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    ::CloseHandle(handle);
    return true;
  }
  DWORD error = ::GetLastError();
  ::base::Win32ErrorLogMessage(__FILE__, __LINE__, ::base::LOG_WARNING, error)
          .stream()
      << "Path:" << root.value() << " writeable:" << error;
  handle = ::CreateFileW(root.value().c_str(), FILE_APPEND_DATA,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  LOG(WARNING) << "Path:" << root.value() << " but can't delete.";
  return true;
}

bool IsRootWritable(const base::FilePath& root) {
  if (_waccess_s(root.value().c_str(), kReadWrite) == 0) return true;
  return CanOpenRootForAppend(root);
}

base::FilePath CandidateOn(const StorageDrive& drive) {
  return drive.root.Append(kStorageFolderName);
}

bool IsDriveUsable(const StorageDrive& drive) {
  return IsStorageCandidateWritable(CandidateOn(drive)) &&
         IsRootWritable(drive.root);
}

// First pass: an existing Quillavera folder on a writable fixed drive, the
// one with most free space. Empty when there is none.
base::FilePath FindExistingCandidate(const StorageDriveSource& source,
                                     const std::vector<StorageDrive>& drives) {
  base::FilePath found;
  uint64_t best = 0;
  for (const StorageDrive& drive : drives) {
    if (!source.IsFixed(drive)) continue;
    if (!IsDriveUsable(drive)) {
      LOG(ERROR) << "Check Drive Write Failed:(loop1)" << drive.number;
      continue;
    }
    base::FilePath candidate = CandidateOn(drive);
    if (!base::DirectoryExists(candidate)) continue;
    if (found.empty()) found = candidate;
    uint64_t free_bytes = 0;
    if (source.GetFreeBytes(drive, &free_bytes) && free_bytes > best) {
      best = free_bytes;
      found = candidate;
    }
  }
  return found;
}

// Second pass: the writable fixed drive with most free space; null when
// none is writable.
const StorageDrive* FindRoomiestDrive(const StorageDriveSource& source,
                                      const std::vector<StorageDrive>& drives) {
  const StorageDrive* chosen = nullptr;
  uint64_t best = 0;
  for (const StorageDrive& drive : drives) {
    if (!source.IsFixed(drive)) continue;
    uint64_t free_bytes = 0;
    if (!source.GetFreeBytes(drive, &free_bytes) || free_bytes <= best) {
      continue;
    }
    if (!IsDriveUsable(drive)) {
      LOG(ERROR) << "Check Drive Write Failed:(loop2)" << drive.number;
      continue;
    }
    best = free_bytes;
    chosen = &drive;
  }
  return chosen;
}

}  // namespace

const StorageDriveSource& SystemStorageDrives() {
  static const SystemDrives drives;
  return drives;
}

bool IsStorageCandidateWritable(const base::FilePath& path) {
  base::FilePath tested = base::PathExists(path) ? path : path.DirName();
  return _waccess_s(tested.value().c_str(), kReadWrite) == 0;
}

base::FilePath FindDefaultStoragePath(const StorageDriveSource& source,
                                      const base::FilePath& exe_dir,
                                      const base::FilePath& data_dir) {
  int64_t start_ms = base::Time::Now().ToUnixEpochMs();
  LOG(WARNING) << "[storage] GetDefaultStoragePath begin";
  std::vector<StorageDrive> drives = source.ListDrives();

  base::FilePath result = FindExistingCandidate(source, drives);
  if (result.empty()) {
    const StorageDrive* chosen = FindRoomiestDrive(source, drives);
    if (chosen) {
      result = CandidateOn(*chosen);
      if (result == exe_dir) result = result.Append(kStorageFolderName);
    } else {
      result = data_dir.Append(L"Storage");
    }
  }
  LOG(WARNING) << "[storage] GetDefaultStoragePath end cost="
               << base::Time::Now().ToUnixEpochMs() - start_ms << "ms";
  return result;
}
