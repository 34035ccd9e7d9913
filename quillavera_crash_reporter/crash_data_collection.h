// Packs listed files and folders into a zip archive on disk: files last
// written before an age limit are left out except in forced folders,
// folders are walked recursively, and a file that cannot be opened (held by
// the client) is packed from a ".copy" duplicate.

#ifndef QUILLAVERA_CRASH_REPORTER_CRASH_DATA_COLLECTION_H_
#define QUILLAVERA_CRASH_REPORTER_CRASH_DATA_COLLECTION_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "zip/zip_interface.h"

// What to pack, in order. Folders added with AddFolder are forced: their
// files go in whatever their age. A file added with AddRequiredFile must go
// in (whatever its age), or the collection fails: the crash flow may delete
// the dump only when the archive holds it.
class CrashZipFileList {
 public:
  void AddFile(const std::wstring& path) { paths_.push_back(path); }
  void AddFolder(const std::wstring& path) {
    paths_.push_back(path);
    folders_.push_back(path);
  }
  void AddRequiredFile(const std::wstring& path) {
    paths_.push_back(path);
    required_.push_back(path);
  }
  void Clear() {
    paths_.clear();
    folders_.clear();
    required_.clear();
  }

  const std::vector<std::wstring>& paths() const { return paths_; }
  const std::vector<std::wstring>& folders() const { return folders_; }
  bool IsForcedFolder(const std::wstring& path) const;
  bool IsRequired(const std::wstring& path) const;

 private:
  std::vector<std::wstring> paths_;
  std::vector<std::wstring> folders_;
  std::vector<std::wstring> required_;
};

// Creates |zip_path| and packs the list into it. A listed file is named by
// its bare name, a file in a listed folder by the folder's name and its
// path below it. Missing paths are skipped silently; entries that cannot be
// packed are skipped and logged. False (logged) when the archive cannot be
// created or completed, a listed folder cannot be searched, or a required
// file is missing or could not be packed; the archive may then exist but
// is not whole.
bool CollectFilesIntoZip(const CrashZipFileList& list,
                         const std::wstring& zip_path, uint32_t hours);

// As above, and tells in |holds_required| whether the archive was completed
// with every required file in it: such an archive is worth keeping even
// when something else could not be packed.
bool CollectFilesIntoZip(const CrashZipFileList& list,
                         const std::wstring& zip_path, uint32_t hours,
                         bool* holds_required);

// Packs the files under |folder| as |entry_prefix|\<path below folder>;
// those last written at or before |cutoff| (seconds since 1970) only when
// |forced|. False when the folder cannot be searched.
bool CollectFolderIntoZip(const CrashZipFileList& list, ZipHandle zip,
                          const std::wstring& folder, int64_t cutoff,
                          const std::wstring& entry_prefix, bool forced);

// The text after the last '\', else after the last '/', else |path|.
std::wstring GetFileNameFromPath(const std::wstring& path);

// Closes a writer handle (or null) as a writer, any other as a reader.
ZipResult ZipClose(ZipHandle zip);

// Every directory entry that is not a folder is a file, whatever its other
// attributes: backup tools clear the archive bit of logs.
bool IsCollectedFile(unsigned attributes);

#endif  // QUILLAVERA_CRASH_REPORTER_CRASH_DATA_COLLECTION_H_
