// Test helpers for dumps written in a test's own process: just enough of the
// dump format to find a stream, and the files a dump folder holds.
#ifndef TESTING_CRASH_COMMON_DUMP_FILE_H_
#define TESTING_CRASH_COMMON_DUMP_FILE_H_

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace crash_testing {

class DumpFile {
 public:
  explicit DumpFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read)
      data_.append(buffer, read);
    CloseHandle(file);
  }
  bool valid() const {
    return data_.size() >= 32 && memcmp(data_.data(), "MDMP", 4) == 0;
  }
  uint64_t flags() const { return Read<uint64_t>(24); }
  bool Find(uint32_t type, std::string* body) const {
    const uint32_t count = Read<uint32_t>(8);
    const uint32_t directory = Read<uint32_t>(12);
    for (uint32_t i = 0; i < count; ++i) {
      const size_t entry = directory + 12 * i;
      if (Read<uint32_t>(entry) != type) continue;
      body->assign(data_, Read<uint32_t>(entry + 8), Read<uint32_t>(entry + 4));
      return true;
    }
    return false;
  }

 private:
  template <typename T>
  T Read(size_t offset) const {
    T value{};
    if (offset + sizeof(T) <= data_.size())
      memcpy(&value, data_.data() + offset, sizeof(T));
    return value;
  }
  std::string data_;
};

// The names of the files (not folders) in |folder|.
inline std::vector<std::wstring> FileNamesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      names.push_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

}  // namespace crash_testing

#endif  // TESTING_CRASH_COMMON_DUMP_FILE_H_
