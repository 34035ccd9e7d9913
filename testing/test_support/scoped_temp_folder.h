// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes. Usage:
//
//   #include "testing/test_support/scoped_temp_folder.h"
//   ScopedTempFolder folder(L"my_test");
//   ASSERT_TRUE(folder.valid());
//   std::wstring file = folder.Path(L"data.bin");  // folder\data.bin
#ifndef TESTING_TEST_SUPPORT_SCOPED_TEMP_FOLDER_H_
#define TESTING_TEST_SUPPORT_SCOPED_TEMP_FOLDER_H_

#include <string>

class ScopedTempFolder {
 public:
  // |tag| starts the folder's name, so a leftover tells which test left it.
  explicit ScopedTempFolder(const std::wstring& tag);
  ~ScopedTempFolder();
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

  bool valid() const { return !path_.empty(); }
  // The folder, without a trailing separator.
  const std::wstring& path() const { return path_; }
  // |name| inside the folder.
  std::wstring Path(const std::wstring& name) const;

 private:
  std::wstring path_;
};

#endif  // TESTING_TEST_SUPPORT_SCOPED_TEMP_FOLDER_H_
