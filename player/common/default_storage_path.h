// The search for the default storage folder: a Quillavera folder on a
// writable fixed drive, preferring one that exists, then the most free space.

#ifndef PLAYER_COMMON_DEFAULT_STORAGE_PATH_H_
#define PLAYER_COMMON_DEFAULT_STORAGE_PATH_H_

#include <stdint.h>

#include <vector>

#include "base/file_path.h"

struct StorageDrive {
  int number;          // 1 for A: up to 26 for Z:
  base::FilePath root;  // the folder the drive's Quillavera folder goes in
};

// What the search asks about drives, so that it can run on folders of a
// test's own instead of the machine's drives.
class StorageDriveSource {
 public:
  virtual ~StorageDriveSource() {}
  // Drives present, in drive-letter order.
  virtual std::vector<StorageDrive> ListDrives() const = 0;
  virtual bool IsFixed(const StorageDrive& drive) const = 0;
  virtual bool GetFreeBytes(const StorageDrive& drive,
                            uint64_t* free_bytes) const = 0;
};

// The machine's drives (GetLogicalDrives, GetDriveTypeW, _getdiskfree).
const StorageDriveSource& SystemStorageDrives();

// |exe_dir| and |data_dir| are DIR_EXE and DATA: a candidate equal to the
// executable's folder gets "Quillavera" once more, and with no usable drive
// the answer is DATA\Storage.
base::FilePath FindDefaultStoragePath(const StorageDriveSource& drives,
                                      const base::FilePath& exe_dir,
                                      const base::FilePath& data_dir);

// _waccess_s with read and write on |path|, or on its parent folder when
// |path| does not exist.
bool IsStorageCandidateWritable(const base::FilePath& path);

#endif  // PLAYER_COMMON_DEFAULT_STORAGE_PATH_H_
