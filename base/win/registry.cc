#include "base/win/registry.h"

#include <algorithm>

namespace base {
namespace win {

namespace {

const REGSAM kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                            KEY_CREATE_LINK;

// Text of |bytes| bytes of UTF-16 data, cut at its first NUL: the registry
// neither promises a terminator nor forbids an early one.
std::wstring TextFromData(const wchar_t* data, DWORD bytes) {
  const size_t units = bytes / sizeof(wchar_t);
  const wchar_t* end = std::find(data, data + units, L'\0');
  return std::wstring(data, end);
}

// The number of sub-keys (or values) of |key|.
bool QueryCount(HKEY key, bool values, DWORD* count) {
  *count = 0;
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr,
                          values ? nullptr : count, nullptr, nullptr,
                          values ? count : nullptr, nullptr, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS;
}

DWORD CountOf(HKEY key, bool values) {
  DWORD count;
  return QueryCount(key, values, &count) ? count : 0;
}

// Opens |folder_key| for reading and returns the index of its last sub-key
// (or value); -1 with |key| null when the key cannot be opened or asked.
int OpenForWalk(HKEY root_key, const wchar_t* folder_key, bool values,
                HKEY* key) {
  DWORD count;
  if (RegOpenKeyExW(root_key, folder_key, 0, KEY_READ, key) != ERROR_SUCCESS) {
    *key = nullptr;
    return -1;
  }
  if (!QueryCount(*key, values, &count)) {
    RegCloseKey(*key);
    *key = nullptr;
    return -1;
  }
  return static_cast<int>(count) - 1;
}

}  // namespace

// --- RegKey ----------------------------------------------------------------

RegKey::RegKey() : key_(nullptr), watch_event_(nullptr) {}

RegKey::RegKey(HKEY key) : key_(key), watch_event_(nullptr) {}

RegKey::RegKey(HKEY rootkey, const wchar_t* subkey, REGSAM access)
    : key_(nullptr), watch_event_(nullptr) {
  if (!rootkey) return;
  if (access & kWriteAccess)
    Create(rootkey, subkey, access);
  else
    Open(rootkey, subkey, access);
}

RegKey::~RegKey() { Close(); }

LONG RegKey::Create(HKEY rootkey, const wchar_t* subkey, REGSAM access) {
  DWORD disposition_value;
  return CreateWithDisposition(rootkey, subkey, &disposition_value, access);
}

LONG RegKey::CreateWithDisposition(HKEY rootkey, const wchar_t* subkey,
                                   DWORD* disposition, REGSAM access) {
  Close();
  return RegCreateKeyExW(rootkey, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         access, nullptr, &key_, disposition);
}

LONG RegKey::CreateKey(const wchar_t* name, REGSAM access) {
  HKEY subkey = nullptr;
  const LONG result =
      RegCreateKeyExW(key_, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                      nullptr, &subkey, nullptr);
  Close();
  key_ = result == ERROR_SUCCESS ? subkey : nullptr;
  return result;
}

LONG RegKey::Open(HKEY rootkey, const wchar_t* subkey, REGSAM access) {
  Close();
  return RegOpenKeyExW(rootkey, subkey, 0, access, &key_);
}

LONG RegKey::OpenKey(const wchar_t* relative_key_name, REGSAM access) {
  HKEY subkey = nullptr;
  const LONG result = RegOpenKeyExW(key_, relative_key_name, 0, access, &subkey);
  Close();
  key_ = result == ERROR_SUCCESS ? subkey : nullptr;
  return result;
}

void RegKey::Close() {
  StopWatching();
  if (key_) {
    RegCloseKey(key_);
    key_ = nullptr;
  }
}

void RegKey::Set(HKEY key) {
  if (key_ == key) return;
  Close();
  key_ = key;
}

HKEY RegKey::Take() {
  StopWatching();
  HKEY key = key_;
  key_ = nullptr;
  return key;
}

DWORD RegKey::GetValueCount() const { return CountOf(key_, true); }

DWORD RegKey::GetSubKeyCount() const { return CountOf(key_, false); }

LONG RegKey::GetValueNameAt(int index, std::wstring* name) const {
  wchar_t buffer[256];
  DWORD size = 256;
  const LONG result = RegEnumValueW(key_, index, buffer, &size, nullptr,
                                    nullptr, nullptr, nullptr);
  if (result == ERROR_SUCCESS) name->assign(buffer, size);
  return result;
}

bool RegKey::HasValue(const wchar_t* name) const {
  return RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

LONG RegKey::ReadValue(const wchar_t* name, void* data, DWORD* dsize,
                       DWORD* dtype) const {
  return RegQueryValueExW(key_, name, nullptr, dtype,
                          static_cast<BYTE*>(data), dsize);
}

LONG RegKey::ReadValue(const wchar_t* name, std::wstring* out_value) const {
  const size_t kMaxStringLength = 1024;  // units, for the expansion
  wchar_t raw[1024];                     // 2048 bytes
  DWORD type = REG_SZ;
  DWORD size = sizeof(raw);
  const LONG result = ReadValue(name, raw, &size, &type);
  if (result != ERROR_SUCCESS) return result;
  const std::wstring text = TextFromData(raw, size);
  if (type == REG_SZ) {
    *out_value = text;
    return ERROR_SUCCESS;
  }
  if (type != REG_EXPAND_SZ) return ERROR_CANTREAD;
  wchar_t expanded[kMaxStringLength];
  const DWORD units =
      ExpandEnvironmentStringsW(text.c_str(), expanded, kMaxStringLength);
  // The count includes the terminating NUL; 0 is a failure and a larger
  // count the size the buffer would need.
  if (units == 0 || units > kMaxStringLength) return ERROR_MORE_DATA;
  *out_value = TextFromData(expanded, units * sizeof(wchar_t));
  return ERROR_SUCCESS;
}

LONG RegKey::ReadValueDW(const wchar_t* name, DWORD* out_value) const {
  DWORD type = REG_DWORD;
  DWORD size = sizeof(DWORD);
  DWORD local_value = 0;
  const LONG result = ReadValue(name, &local_value, &size, &type);
  // A longer value does not fit the buffer: the wrong size all the same.
  if (result == ERROR_MORE_DATA) return ERROR_CANTREAD;
  if (result != ERROR_SUCCESS) return result;
  if ((type != REG_DWORD && type != REG_BINARY) || size != sizeof(DWORD))
    return ERROR_CANTREAD;
  *out_value = local_value;
  return ERROR_SUCCESS;
}

LONG RegKey::ReadInt64(const wchar_t* name, int64_t* out_value) const {
  DWORD type = REG_QWORD;
  DWORD size = sizeof(int64_t);
  int64_t local_value = 0;
  const LONG result = ReadValue(name, &local_value, &size, &type);
  if (result == ERROR_MORE_DATA) return ERROR_CANTREAD;
  if (result != ERROR_SUCCESS) return result;
  if ((type != REG_QWORD && type != REG_BINARY) || size != sizeof(int64_t))
    return ERROR_CANTREAD;
  *out_value = local_value;
  return ERROR_SUCCESS;
}

LONG RegKey::ReadValues(const wchar_t* name,
                        std::vector<std::wstring>* values) {
  values->clear();
  DWORD type = REG_MULTI_SZ;
  DWORD size = 0;
  LONG result = ReadValue(name, nullptr, &size, &type);
  // Windows error codes are positive: anything but success is a failure.
  if (result != ERROR_SUCCESS || size == 0) return result;
  if (type != REG_MULTI_SZ) return ERROR_CANTREAD;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t));
  if (buffer.empty()) return ERROR_CANTREAD;
  size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  // The value may have changed since the first query: one that grew no
  // longer fits (ERROR_MORE_DATA), and the buffer holds none of it.
  result = ReadValue(name, buffer.data(), &size, nullptr);
  if (result != ERROR_SUCCESS || size == 0) return result;
  // Never past the returned size: the last string may lack its NUL.
  const wchar_t* entry = buffer.data();
  const wchar_t* end = entry + std::min<size_t>(size / sizeof(wchar_t),
                                                buffer.size());
  while (entry < end && *entry) {
    const wchar_t* entry_end = std::find(entry, end, L'\0');
    values->push_back(std::wstring(entry, entry_end));
    entry = entry_end + 1;
  }
  return ERROR_SUCCESS;
}

LONG RegKey::WriteValue(const wchar_t* name, const wchar_t* in_value) {
  return WriteValue(name, in_value,
                    static_cast<DWORD>(sizeof(*in_value) *
                                       (wcslen(in_value) + 1)),
                    REG_SZ);
}

LONG RegKey::WriteValue(const wchar_t* name, DWORD in_value) {
  return WriteValue(name, &in_value, sizeof(in_value), REG_DWORD);
}

LONG RegKey::WriteValue(const wchar_t* name, const void* data, DWORD dsize,
                        DWORD dtype) {
  return RegSetValueExW(key_, name, 0, dtype, static_cast<const BYTE*>(data),
                        dsize);
}

LONG RegKey::StartWatching() {
  if (!watch_event_) watch_event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                       REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;
  const LONG result =
      RegNotifyChangeKeyValue(key_, TRUE, filter, watch_event_, TRUE);
  if (result != ERROR_SUCCESS) {
    CloseHandle(watch_event_);
    watch_event_ = nullptr;
  }
  return result;
}

bool RegKey::HasChanged() {
  if (!watch_event_) return false;
  if (WaitForSingleObject(watch_event_, 0) != WAIT_OBJECT_0) return false;
  StartWatching();
  return true;
}

LONG RegKey::StopWatching() {
  if (!watch_event_) return ERROR_INVALID_HANDLE;
  CloseHandle(watch_event_);
  watch_event_ = nullptr;
  return ERROR_SUCCESS;
}

// --- RegistryKeyIterator ---------------------------------------------------

RegistryKeyIterator::RegistryKeyIterator(HKEY root_key,
                                         const wchar_t* folder_key)
    : key_(nullptr), index_(-1) {
  name_[0] = L'\0';
  index_ = OpenForWalk(root_key, folder_key, false, &key_);
  Read();
}

RegistryKeyIterator::~RegistryKeyIterator() {
  if (key_) RegCloseKey(key_);
}

DWORD RegistryKeyIterator::SubkeyCount() const { return CountOf(key_, false); }

bool RegistryKeyIterator::Valid() const { return key_ && index_ >= 0; }

void RegistryKeyIterator::operator++() {
  --index_;
  Read();
}

bool RegistryKeyIterator::Read() {
  if (Valid()) {
    DWORD ncount = MAX_PATH;
    FILETIME written;
    if (RegEnumKeyExW(key_, index_, name_, &ncount, nullptr, nullptr, nullptr,
                      &written) == ERROR_SUCCESS) {
      return true;
    }
  }
  name_[0] = L'\0';
  return false;
}

// --- RegistryValueIterator -------------------------------------------------

RegistryValueIterator::RegistryValueIterator(HKEY root_key,
                                             const wchar_t* folder_key)
    : key_(nullptr), index_(-1), value_(MAX_PATH, L'\0'), value_size_(0),
      type_(REG_NONE) {
  name_.reserve(MAX_PATH);
  index_ = OpenForWalk(root_key, folder_key, true, &key_);
  Read();
}

RegistryValueIterator::~RegistryValueIterator() {
  if (key_) RegCloseKey(key_);
}

DWORD RegistryValueIterator::ValueCount() const {
  return CountOf(key_, true);
}

bool RegistryValueIterator::Valid() const { return key_ && index_ >= 0; }

void RegistryValueIterator::operator++() {
  --index_;
  Read();
}

bool RegistryValueIterator::Read() {
  if (Valid()) {
    DWORD capacity = static_cast<DWORD>(std::max<size_t>(name_.capacity(), 1));
    name_.resize(capacity);
    DWORD name_size = capacity;
    // One unit is kept for the terminator added below.
    value_size_ = static_cast<DWORD>((value_.size() - 1) * sizeof(wchar_t));
    LONG result = RegEnumValueW(key_, index_, &name_[0], &name_size, nullptr,
                                &type_, reinterpret_cast<BYTE*>(value_.data()),
                                &value_size_);
    if (result == ERROR_MORE_DATA) {
      // The value wants value_size_ bytes; the name's length comes back
      // unchanged when it was the name that did not fit.
      value_.assign((value_size_ + 1) / 2 + 1, L'\0');
      if (name_size == capacity) {
        capacity = 16384;
        name_.resize(capacity);
      }
      name_size = capacity;
      value_size_ = static_cast<DWORD>((value_.size() - 1) * sizeof(wchar_t));
      result = RegEnumValueW(key_, index_, &name_[0], &name_size, nullptr,
                             &type_, reinterpret_cast<BYTE*>(value_.data()),
                             &value_size_);
    }
    if (result == ERROR_SUCCESS) {
      name_.resize(name_size);
      value_[(value_size_ + 1) / 2] = L'\0';
      return true;
    }
  }
  name_.clear();
  std::fill(value_.begin(), value_.end(), L'\0');
  value_size_ = 0;
  return false;
}

}  // namespace win
}  // namespace base
