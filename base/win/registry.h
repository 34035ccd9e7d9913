// One open registry key with typed reads and writes and change watching,
// and iterators over a key's sub-keys and values. Results are Win32 codes
// (ERROR_SUCCESS is 0). Values are input: a string value need not end in a
// NUL and may hold one early, so text is built from the returned size.

#ifndef BASE_WIN_REGISTRY_H_
#define BASE_WIN_REGISTRY_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace base {
namespace win {

class RegKey {
 public:
  RegKey();
  explicit RegKey(HKEY key);
  // Creates the key when |access| asks to write, else opens it; a null
  // |rootkey| leaves this empty.
  RegKey(HKEY rootkey, const wchar_t* subkey, REGSAM access);
  ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  LONG Create(HKEY rootkey, const wchar_t* subkey, REGSAM access);
  LONG CreateWithDisposition(HKEY rootkey, const wchar_t* subkey,
                             DWORD* disposition, REGSAM access);
  // Replaces this key with its sub-key |name| (null on failure).
  LONG CreateKey(const wchar_t* name, REGSAM access);
  LONG Open(HKEY rootkey, const wchar_t* subkey, REGSAM access);
  // Replaces this key with its sub-key |relative_key_name| (null on failure).
  LONG OpenKey(const wchar_t* relative_key_name, REGSAM access);
  void Close();
  void Set(HKEY key);
  HKEY Take();

  bool Valid() const { return key_ != nullptr; }
  HKEY Handle() const { return key_; }

  DWORD GetValueCount() const;
  DWORD GetSubKeyCount() const;
  LONG GetValueNameAt(int index, std::wstring* name) const;
  bool HasValue(const wchar_t* name) const;

  LONG ReadValue(const wchar_t* name, void* data, DWORD* dsize,
                 DWORD* dtype) const;
  // REG_SZ, or REG_EXPAND_SZ expanded; ERROR_CANTREAD for other types.
  LONG ReadValue(const wchar_t* name, std::wstring* out_value) const;
  // REG_DWORD, or REG_BINARY of 4 bytes.
  LONG ReadValueDW(const wchar_t* name, DWORD* out_value) const;
  // REG_QWORD, or REG_BINARY of 8 bytes.
  LONG ReadInt64(const wchar_t* name, int64_t* out_value) const;
  // The strings of a REG_MULTI_SZ value, up to its first empty one.
  LONG ReadValues(const wchar_t* name, std::vector<std::wstring>* values);

  // REG_SZ, with its terminating NUL.
  LONG WriteValue(const wchar_t* name, const wchar_t* in_value);
  LONG WriteValue(const wchar_t* name, DWORD in_value);
  LONG WriteValue(const wchar_t* name, const void* data, DWORD dsize,
                  DWORD dtype);

  // Watches the key and its sub-keys for any change.
  LONG StartWatching();
  // True once after a change, and watches again.
  bool HasChanged();
  LONG StopWatching();

 private:
  HKEY key_;
  HANDLE watch_event_;
};

// The sub-keys of a key, last first.
class RegistryKeyIterator {
 public:
  RegistryKeyIterator(HKEY root_key, const wchar_t* folder_key);
  ~RegistryKeyIterator();
  RegistryKeyIterator(const RegistryKeyIterator&) = delete;
  RegistryKeyIterator& operator=(const RegistryKeyIterator&) = delete;

  DWORD SubkeyCount() const;
  bool Valid() const;
  void operator++();
  const wchar_t* Name() const { return name_; }
  int Index() const { return index_; }

 private:
  bool Read();

  HKEY key_;
  int index_;
  wchar_t name_[MAX_PATH];
};

// The values of a key, last first.
class RegistryValueIterator {
 public:
  RegistryValueIterator(HKEY root_key, const wchar_t* folder_key);
  ~RegistryValueIterator();
  RegistryValueIterator(const RegistryValueIterator&) = delete;
  RegistryValueIterator& operator=(const RegistryValueIterator&) = delete;

  DWORD ValueCount() const;
  bool Valid() const;
  void operator++();
  const wchar_t* Name() const { return name_.c_str(); }
  // The data as UTF-16 units, always NUL-terminated after ValueSize bytes.
  const wchar_t* Value() const { return value_.data(); }
  DWORD ValueSize() const { return value_size_; }
  DWORD Type() const { return type_; }
  int Index() const { return index_; }

 private:
  bool Read();

  HKEY key_;
  int index_;
  std::wstring name_;
  std::vector<wchar_t> value_;
  DWORD value_size_;
  DWORD type_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_REGISTRY_H_
