#include "zip/zip_reader.h"

#include <string.h>

#include <algorithm>

#include "zip/entry_data_reader.h"
#include "zip/entry_format.h"
#include "zip/entry_name.h"
#include "zip/extract_path.h"

namespace zip {
namespace {

const uint32_t kEndSignature = 0x06054B50;
const uint32_t kCentralSignature = 0x02014B50;
const uint32_t kLocalSignature = 0x04034B50;
const uint16_t kUnixTimesId = 0x5455;  // "UT"
// The end record with the longest comment it can carry still opens.
const uint64_t kMaxEndSearch = 0xFFFF + kEndRecordSize;
const size_t kEndSearchRead = 1028;
const size_t kEndSearchStep = 1024;
const size_t kCopyPiece = 16384;
const int64_t kUnixEpochTicks = 116444736000000000LL;

uint16_t Read16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Read32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

FILETIME FileTimeFromTicks(int64_t ticks) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return time;
}

FILETIME UtcFromUnixSeconds(uint32_t seconds) {
  return FileTimeFromTicks(kUnixEpochTicks + seconds * 10000000LL);
}

uint32_t WindowsAttributes(uint32_t external) {
  uint32_t attributes = FILE_ATTRIBUTE_NORMAL;
  if ((external & 0x40000000u) || (external & 0x10)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (external & 0x20) attributes |= FILE_ATTRIBUTE_ARCHIVE;
  if (external & 0x02) attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (!(external & kUnixOwnerWrite) || (external & 0x01))
    attributes |= FILE_ATTRIBUTE_READONLY;
  if (external & 0x04) attributes |= FILE_ATTRIBUTE_SYSTEM;
  return attributes;
}

// The local times the DOS stamp means, and the same in UTC.
void SetDosTimes(uint32_t stamp, EntryInfo* info) {
  FILETIME local = {};
  if (!DosDateTimeToFileTime(static_cast<WORD>(stamp >> 16),
                             static_cast<WORD>(stamp), &local)) {
    local = FILETIME();
  }
  FILETIME utc = {};
  if (!LocalFileTimeToFileTime(&local, &utc)) utc = FILETIME();
  info->accessed = info->created = info->modified = local;
  info->utc_accessed = info->utc_created = info->utc_modified = utc;
}

void SetUnixTime(uint32_t seconds, FILETIME* local, FILETIME* utc) {
  *utc = UtcFromUnixSeconds(seconds);
  if (!FileTimeToLocalFileTime(utc, local)) *local = *utc;
}

// The "UT" block's times, each read only when it lies inside the block, and
// the block only when it lies inside the extra field.
void SetUnixTimes(const std::vector<uint8_t>& extra, EntryInfo* info) {
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const uint16_t id = Read16(&extra[at]);
    const size_t size = Read16(&extra[at + 2]);
    const size_t body = at + 4;
    if (size > extra.size() - body) return;
    if (id == kUnixTimesId && size >= 1) {
      const uint8_t flags = extra[body];
      FILETIME* locals[] = {&info->modified, &info->accessed, &info->created};
      FILETIME* utcs[] = {&info->utc_modified, &info->utc_accessed,
                          &info->utc_created};
      size_t field = 1;
      for (int i = 0; i < 3; ++i) {
        if (!(flags & (1 << i))) continue;
        if (size - field < 4) return;
        SetUnixTime(Read32(&extra[body + field]), locals[i], utcs[i]);
        field += 4;
      }
      return;
    }
    at = body + size;
  }
}

bool AsciiEqual(const std::wstring& a, const std::wstring& b,
                bool ignore_case) {
  if (a.size() != b.size()) return false;
  if (!ignore_case) return a == b;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x -= 32;
    if (y >= L'a' && y <= L'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

std::wstring WideFrom(const std::string& text, UINT code_page) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(code_page, 0, text.data(),
                                         static_cast<int>(text.size()),
                                         nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()),
                      &wide[0], length);
  return wide;
}

size_t LastSeparator(const std::wstring& path) {
  return path.find_last_of(L"/\\");
}

}  // namespace

struct ZipReader::CentralEntry {
  uint16_t flags;
  uint16_t method;
  uint32_t dos_timestamp;
  uint32_t crc;
  uint32_t compressed_size;
  uint32_t uncompressed_size;
  uint32_t external_attributes;
  uint32_t local_offset;
  std::string name;
};

class ZipReader::OpenEntry {
 public:
  OpenEntry(int index, ArchiveSource* source, const EntryData& data)
      : index(index), reader(source, data) {}
  int index;
  EntryDataReader reader;
};

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() = default;

int ZipReader::entry_count() const {
  return static_cast<int>(entries_.size());
}

ZipResult ZipReader::Open(const void* target, uint32_t length,
                          ZipSourceKind kind, const wchar_t* base_folder) {
  if (opened_) return kZipNotInitialised;
  opened_ = true;
  if (base_folder && *base_folder) {
    base_folder_ = base_folder;
  } else {
    wchar_t current[MAX_PATH] = {};
    const DWORD got = GetCurrentDirectoryW(MAX_PATH, current);
    if (got == 0 || got >= MAX_PATH) return kZipBadArguments;
    base_folder_ = current;
  }
  if (base_folder_.back() != L'\\' && base_folder_.back() != L'/')
    base_folder_ += L'\\';
  if (base_folder_.size() > MAX_PATH) return kZipBadArguments;

  ZipResult result = kZipOk;
  switch (kind) {
    case kZipHandle:
      result = source_.OpenHandle(const_cast<void*>(target));
      break;
    case kZipFileName:
      result = source_.OpenFile(static_cast<const wchar_t*>(target));
      break;
    case kZipMemory:
      if (!target) return kZipBadArguments;
      source_.OpenMemory(target, length);
      break;
    default:
      return kZipBadArguments;
  }
  if (result != kZipOk) return result;
  uint64_t end_position = 0;
  result = FindEndRecord(&end_position);
  if (result != kZipOk) return result;
  return ReadDirectory(end_position);
}

// Searches back from the end in overlapping reads, so that a signature
// split between two reads is still seen.
ZipResult ZipReader::FindEndRecord(uint64_t* position) {
  const uint64_t size = source_.size();
  if (size < kEndRecordSize) return kZipCorrupt;
  const uint64_t max_back = std::min(size, kMaxEndSearch);
  uint8_t buffer[kEndSearchRead];
  uint64_t back = 4;
  while (back < max_back) {
    back = std::min(back + kEndSearchStep, max_back);
    const uint64_t start = size - back;
    const size_t length =
        static_cast<size_t>(std::min<uint64_t>(kEndSearchRead, size - start));
    if (!source_.ReadAt(start, buffer, length)) return kZipReadFailed;
    for (size_t i = length - 4 + 1; i-- > 0;) {
      if (Read32(buffer + i) == kEndSignature &&
          source_.Contains(start + i, kEndRecordSize)) {
        *position = start + i;
        return kZipOk;
      }
    }
  }
  return kZipCorrupt;
}

ZipResult ZipReader::ReadDirectory(uint64_t end_position) {
  uint8_t end[kEndRecordSize];
  if (!source_.ReadAt(end_position, end, sizeof(end))) return kZipReadFailed;
  const uint16_t disk = Read16(end + 4);
  const uint16_t directory_disk = Read16(end + 6);
  const uint16_t disk_entries = Read16(end + 8);
  const uint16_t entries = Read16(end + 10);
  const uint32_t directory_size = Read32(end + 12);
  const uint32_t directory_offset = Read32(end + 16);
  if (disk != 0 || directory_disk != 0 || disk_entries != entries)
    return kZipCorrupt;
  const uint64_t directory_end =
      static_cast<uint64_t>(directory_offset) + directory_size;
  if (directory_end > end_position) return kZipCorrupt;
  // Bytes before the archive (a self-extractor's stub) shift every offset.
  offset_correction_ = end_position - directory_end;
  std::vector<uint8_t> directory(directory_size);
  if (!source_.ReadAt(directory_offset + offset_correction_, directory.data(),
                      directory.size())) {
    return kZipReadFailed;
  }
  size_t at = 0;
  entries_.reserve(entries);
  for (uint16_t i = 0; i < entries; ++i) {
    if (directory.size() - at < kCentralRecordSize) return kZipCorrupt;
    const uint8_t* record = &directory[at];
    if (Read32(record) != kCentralSignature) return kZipCorrupt;
    const size_t name_length = Read16(record + 28);
    const size_t variable =
        name_length + Read16(record + 30) + Read16(record + 32);
    if (directory.size() - at - kCentralRecordSize < variable)
      return kZipCorrupt;
    CentralEntry entry;
    entry.flags = Read16(record + 8);
    entry.method = Read16(record + 10);
    entry.dos_timestamp = (Read16(record + 14) << 16) | Read16(record + 12);
    entry.crc = Read32(record + 16);
    entry.compressed_size = Read32(record + 20);
    entry.uncompressed_size = Read32(record + 24);
    entry.external_attributes = Read32(record + 38);
    entry.local_offset = Read32(record + 42);
    entry.name.assign(reinterpret_cast<const char*>(record) + kCentralRecordSize,
                      name_length);
    entries_.push_back(entry);
    at += kCentralRecordSize + variable;
  }
  return kZipOk;
}

ZipResult ZipReader::Describe(int index, EntryInfo* info) {
  if (index < -1 || index >= entry_count()) return kZipBadArguments;
  CloseEntry();
  if (index == -1) {
    *info = EntryInfo();
    info->index = entry_count();
    return kZipOk;
  }
  if (cached_ && cached_->index == index) {
    *info = *cached_;
    return kZipOk;
  }
  uint64_t data_position = 0;
  const ZipResult result = DescribeUncached(index, info, &data_position);
  if (result == kZipOk) cached_.reset(new EntryInfo(*info));
  return result;
}

ZipResult ZipReader::DescribeUncached(int index, EntryInfo* info,
                                      uint64_t* data_position) {
  const CentralEntry& entry = entries_[index];
  const uint64_t local = entry.local_offset + offset_correction_;
  uint8_t header[kLocalHeaderSize];
  if (!source_.Contains(local, sizeof(header))) return kZipCorrupt;
  if (!source_.ReadAt(local, header, sizeof(header))) return kZipReadFailed;
  const uint16_t local_flags = Read16(header + 6);
  const uint16_t method = Read16(header + 8);
  const size_t name_length = Read16(header + 26);
  const size_t extra_length = Read16(header + 28);
  if (Read32(header) != kLocalSignature || method != entry.method ||
      (method != kMethodStored && method != kMethodDeflated) ||
      name_length != entry.name.size()) {
    return kZipCorrupt;
  }
  if (!((entry.flags | local_flags) & kFlagDataDescriptor) &&
      (Read32(header + 14) != entry.crc ||
       Read32(header + 18) != entry.compressed_size ||
       Read32(header + 22) != entry.uncompressed_size)) {
    return kZipCorrupt;
  }
  const uint64_t extra_position = local + kLocalHeaderSize + name_length;
  *data_position = extra_position + extra_length;
  if (!source_.Contains(extra_position, extra_length) ||
      !source_.Contains(*data_position, entry.compressed_size)) {
    return kZipCorrupt;
  }
  std::vector<uint8_t> extra(extra_length);
  if (!source_.ReadAt(extra_position, extra.data(), extra.size()))
    return kZipReadFailed;

  *info = EntryInfo();
  info->index = index;
  info->name = entry.name.substr(0, kMaxEntryNameLength);
  info->utf8_name = (entry.flags & kFlagUtf8Name) != 0;
  info->attributes = WindowsAttributes(entry.external_attributes);
  info->compressed_size = static_cast<int32_t>(entry.compressed_size);
  info->uncompressed_size = static_cast<int32_t>(entry.uncompressed_size);
  SetDosTimes(entry.dos_timestamp, info);
  SetUnixTimes(extra, info);
  return kZipOk;
}

ZipResult ZipReader::Find(const std::wstring& name, bool ignore_case,
                          int* index) {
  *index = -1;
  for (int i = 0; i < entry_count(); ++i) {
    const CentralEntry& entry = entries_[i];
    const std::wstring stored =
        NameFromStored(entry.name, (entry.flags & kFlagUtf8Name) != 0);
    if (AsciiEqual(stored, name, ignore_case)) {
      *index = i;
      return kZipOk;
    }
  }
  return kZipNotFound;
}

bool ZipReader::FitsExtractionLimit(int index) const {
  return extracted_ <= extraction_limit_ &&
         entries_[index].uncompressed_size <= extraction_limit_ - extracted_;
}

ZipResult ZipReader::OpenEntryData(int index) {
  if (!FitsExtractionLimit(index)) return kZipExtractionLimit;
  EntryInfo info;
  EntryData data;
  const ZipResult result = DescribeUncached(index, &info, &data.position);
  if (result != kZipOk) return result;
  const CentralEntry& entry = entries_[index];
  data.compressed_size = entry.compressed_size;
  data.uncompressed_size = entry.uncompressed_size;
  data.method = entry.method;
  data.crc = entry.crc;
  open_entry_.reset(new OpenEntry(index, &source_, data));
  if (!open_entry_->reader.Start()) {
    open_entry_.reset();
    return kZipNoMemory;
  }
  return kZipOk;
}

int64_t ZipReader::ReadOpenEntry(uint8_t* out, size_t length) {
  const int64_t got = open_entry_->reader.Read(out, length);
  if (got > 0) extracted_ += static_cast<uint64_t>(got);
  return got;
}

void ZipReader::CloseEntry() { open_entry_.reset(); }

ZipResult ZipReader::UnzipToMemory(int index, void* buffer, uint32_t length) {
  if (index < 0 || index >= entry_count() || !buffer || length == 0)
    return kZipBadArguments;
  if (!open_entry_ || open_entry_->index != index) {
    CloseEntry();
    const ZipResult result = OpenEntryData(index);
    if (result != kZipOk) return result;
  }
  const int64_t got = ReadOpenEntry(static_cast<uint8_t*>(buffer), length);
  if (got < 0) {
    CloseEntry();
    return kZipFlateError;
  }
  if (got > 0) return kZipMoreData;
  const bool complete = open_entry_->reader.Complete();
  CloseEntry();
  return complete ? kZipOk : kZipCorrupt;
}

ZipResult ZipReader::UnzipToHandle(int index, HANDLE target) {
  CloseEntry();
  if (index < 0 || index >= entry_count()) return kZipBadArguments;
  EntryInfo info;
  const ZipResult result = Describe(index, &info);
  if (result != kZipOk) return result;
  if (info.is_folder()) return kZipOk;
  return CopyEntryTo(index, target);
}

ZipResult ZipReader::UnzipToFile(int index, const std::wstring& target,
                                 UINT code_page) {
  CloseEntry();
  if (index < 0 || index >= entry_count()) return kZipBadArguments;
  EntryInfo info;
  ZipResult result = Describe(index, &info);
  if (result != kZipOk) return result;
  // A hostile name is refused even when the caller chose a safe target:
  // callers commonly pass the entry's own name.
  const std::wstring own_name =
      WideFrom(info.name, info.utf8_name ? CP_UTF8 : code_page);
  if (!IsContainedRelativePath(own_name)) return kZipCorrupt;
  if (info.is_folder()) {
    return CreateFolderChain(base_folder_, own_name) ? kZipOk : kZipOpenFailed;
  }
  if (!IsContainedRelativePath(target)) return kZipBadArguments;
  // Refused before the file is made: no empty file is left behind.
  if (!FitsExtractionLimit(index)) return kZipExtractionLimit;
  const size_t separator = LastSeparator(target);
  if (separator != std::wstring::npos &&
      !CreateFolderChain(base_folder_, target.substr(0, separator))) {
    return kZipOpenFailed;
  }
  const std::wstring path = base_folder_ + target;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS,
                            info.attributes & ~FILE_ATTRIBUTE_DIRECTORY,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return kZipOpenFailed;
  result = CopyEntryTo(index, file);
  CloseHandle(file);
  return result;
}

ZipResult ZipReader::CopyEntryTo(int index, HANDLE target) {
  EntryInfo info;
  ZipResult result = Describe(index, &info);
  if (result != kZipOk) return result;
  result = OpenEntryData(index);
  if (result != kZipOk) return result;
  std::vector<uint8_t> piece(kCopyPiece);
  bool failed = false;
  for (;;) {
    const int64_t got = ReadOpenEntry(piece.data(), piece.size());
    if (got < 0) failed = true;
    if (got <= 0) break;
    DWORD written = 0;
    if (!WriteFile(target, piece.data(), static_cast<DWORD>(got), &written,
                   nullptr) ||
        written != got) {
      failed = true;
      break;
    }
  }
  if (!failed && GetFileType(target) == FILE_TYPE_DISK)
    SetFileTime(target, &info.utc_created, &info.utc_accessed,
                &info.utc_modified);
  const bool complete = !failed && open_entry_->reader.Complete();
  CloseEntry();
  return complete ? kZipOk : kZipWriteFailed;
}

}  // namespace zip
