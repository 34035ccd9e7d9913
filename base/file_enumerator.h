// Walks a folder, optionally its whole tree, one entry per Next().

#ifndef BASE_FILE_ENUMERATOR_H_
#define BASE_FILE_ENUMERATOR_H_

#include <windows.h>

#include <stdint.h>

#include <stack>

#include "base/file_path.h"
#include "base/time.h"

namespace base {

class FileEnumerator {
 public:
  class FileInfo {
   public:
    FileInfo();
    explicit FileInfo(const WIN32_FIND_DATAW& find_data);

    bool IsDirectory() const;
    FilePath GetName() const;
    int64_t GetSize() const;
    Time GetLastModifiedTime() const;
    const WIN32_FIND_DATAW& find_data() const { return find_data_; }

   private:
    WIN32_FIND_DATAW find_data_;
  };

  enum FileType {
    FILES = 1 << 0,
    DIRECTORIES = 1 << 1,
    INCLUDE_DOT_DOT = 1 << 2,
  };

  // Folders below the root are entered when |recursive|, never through a
  // reparse point and never "." or "..". |pattern| (empty means "*")
  // filters the root's entries only; sub-folders are listed whole.
  FileEnumerator(const FilePath& root_path, bool recursive, int file_type);
  FileEnumerator(const FilePath& root_path, bool recursive, int file_type,
                 const FilePath::StringType& pattern);
  ~FileEnumerator();

  // The next entry, or the empty path once the walk is over.
  FilePath Next();

  // Facts of the entry Next() returned last; all zero before the first.
  FileInfo GetInfo() const;

 private:
  // "." always, ".." unless INCLUDE_DOT_DOT.
  bool ShouldSkip(const FilePath& path);

  FileEnumerator(const FileEnumerator&) = delete;
  FileEnumerator& operator=(const FileEnumerator&) = delete;

  bool has_find_data_;
  WIN32_FIND_DATAW find_data_;
  HANDLE find_handle_;
  FilePath root_path_;
  bool recursive_;
  int file_type_;
  FilePath::StringType pattern_;
  std::stack<FilePath> pending_paths_;
};

}  // namespace base

#endif  // BASE_FILE_ENUMERATOR_H_
