#include "testing/test_support/scoped_temp_folder.h"

#include "base/file_path.h"
#include "base/file_util.h"

ScopedTempFolder::ScopedTempFolder(const std::wstring& tag) {
  base::FilePath made;
  if (base::CreateNewTempDirectory(tag, &made)) path_ = made.value();
}

ScopedTempFolder::~ScopedTempFolder() {
  if (valid()) base::Delete(base::FilePath(path_), true);
}

std::wstring ScopedTempFolder::Path(const std::wstring& name) const {
  return path_ + L"\\" + name;
}
