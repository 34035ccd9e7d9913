#include "base/file_enumerator.h"

#include <string.h>

namespace base {

namespace {

bool IsDotOrDotDot(const FilePath::StringType& name) {
  return name == FilePath::kCurrentDirectory ||
         name == FilePath::kParentDirectory;
}

}  // namespace

// FileInfo -------------------------------------------------------------------

FileEnumerator::FileInfo::FileInfo() {
  memset(&find_data_, 0, sizeof(find_data_));
}

FileEnumerator::FileInfo::FileInfo(const WIN32_FIND_DATAW& find_data)
    : find_data_(find_data) {}

bool FileEnumerator::FileInfo::IsDirectory() const {
  return (find_data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FilePath FileEnumerator::FileInfo::GetName() const {
  return FilePath(find_data_.cFileName);
}

int64_t FileEnumerator::FileInfo::GetSize() const {
  ULARGE_INTEGER size;
  size.HighPart = find_data_.nFileSizeHigh;
  size.LowPart = find_data_.nFileSizeLow;
  return static_cast<int64_t>(size.QuadPart);
}

Time FileEnumerator::FileInfo::GetLastModifiedTime() const {
  return Time::FromFileTime(find_data_.ftLastWriteTime);
}

// FileEnumerator -------------------------------------------------------------

FileEnumerator::FileEnumerator(const FilePath& root_path, bool recursive,
                               int file_type)
    : FileEnumerator(root_path, recursive, file_type,
                     FilePath::StringType()) {}

FileEnumerator::FileEnumerator(const FilePath& root_path, bool recursive,
                               int file_type,
                               const FilePath::StringType& pattern)
    : has_find_data_(false),
      find_handle_(INVALID_HANDLE_VALUE),
      recursive_(recursive),
      file_type_(file_type),
      pattern_(pattern) {
  memset(&find_data_, 0, sizeof(find_data_));
  pending_paths_.push(root_path);
}

FileEnumerator::~FileEnumerator() {
  if (find_handle_ != INVALID_HANDLE_VALUE)
    ::FindClose(find_handle_);
}

FileEnumerator::FileInfo FileEnumerator::GetInfo() const {
  if (!has_find_data_)
    return FileInfo();
  return FileInfo(find_data_);
}

FilePath FileEnumerator::Next() {
  while (has_find_data_ || !pending_paths_.empty()) {
    if (!has_find_data_) {
      root_path_ = pending_paths_.top();
      pending_paths_.pop();
      const FilePath src =
          root_path_.Append(pattern_.empty() ? FilePath::StringType(L"*")
                                             : pattern_);
      find_handle_ = ::FindFirstFileW(src.value().c_str(), &find_data_);
      has_find_data_ = true;
    } else if (!::FindNextFileW(find_handle_, &find_data_)) {
      ::FindClose(find_handle_);
      find_handle_ = INVALID_HANDLE_VALUE;
    }

    if (find_handle_ == INVALID_HANDLE_VALUE) {
      has_find_data_ = false;
      // The pattern filters the root only: every later folder is listed
      // whole.
      pattern_.clear();
      continue;
    }

    const FilePath name(find_data_.cFileName);
    if (ShouldSkip(name))
      continue;

    const FilePath entry = root_path_.Append(name);
    if (find_data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // "." and ".." would walk the same folder, or its parent, forever.
      if (recursive_ && !IsDotOrDotDot(name.value()) &&
          !(find_data_.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        pending_paths_.push(entry);
      }
      if (file_type_ & DIRECTORIES)
        return entry;
    } else if (file_type_ & FILES) {
      return entry;
    }
  }
  return FilePath();
}

bool FileEnumerator::ShouldSkip(const FilePath& path) {
  const FilePath::StringType basename = path.BaseName().value();
  return basename == FilePath::kCurrentDirectory ||
         (basename == FilePath::kParentDirectory &&
          !(file_type_ & INCLUDE_DOT_DOT));
}

}  // namespace base
