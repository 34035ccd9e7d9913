// The reader's side of the flat zip interface (declared in zip_interface.h).

#include <windows.h>

#include <string.h>

#include <string>

#include "zip/zip_handle_record.h"
#include "zip/zip_interface.h"
#include "zip/zip_reader.h"

namespace {

// Longer names cannot be an entry's: entry names stop at 259 bytes.
const size_t kMaxFindName = 256;

ZipResult Remember(ZipResult result) {
  zip::ReaderLastResult() = result;
  return result;
}

ZipResult CheckReader(ZipHandle handle) {
  if (!handle) return kZipBadArguments;
  if (handle->kind != kZipReaderHandleKind) return kZipWrongSide;
  return kZipOk;
}

zip::ZipReader* ReaderOf(ZipHandle handle) {
  return static_cast<zip::ZipReader*>(handle->object);
}

template <typename Entry>
void CopyFields(const zip::EntryInfo& info, Entry* entry) {
  entry->index = info.index;
  entry->attributes = info.attributes;
  entry->access_time = info.accessed;
  entry->creation_time = info.created;
  entry->modification_time = info.modified;
  entry->compressed_size = info.compressed_size;
  entry->uncompressed_size = info.uncompressed_size;
}

void Fill(const zip::EntryInfo& info, ZipEntry* entry) {
  memset(entry, 0, sizeof(*entry));
  CopyFields(info, entry);
  const size_t length = info.name.size() < sizeof(entry->name) - 1
                            ? info.name.size()
                            : sizeof(entry->name) - 1;
  memcpy(entry->name, info.name.data(), length);
}

void Fill(const zip::EntryInfo& info, ZipEntryW* entry) {
  memset(entry, 0, sizeof(*entry));
  CopyFields(info, entry);
  if (info.name.empty()) return;
  const int max_units = sizeof(entry->name) / sizeof(entry->name[0]) - 1;
  const int length = MultiByteToWideChar(
      CP_ACP, 0, info.name.data(), static_cast<int>(info.name.size()),
      entry->name, max_units);
  entry->name[length > 0 ? length : 0] = L'\0';
}

template <typename Entry>
ZipResult GetItem(ZipHandle handle, int index, Entry* entry) {
  const ZipResult checked = CheckReader(handle);
  if (checked) return Remember(checked);
  if (!entry) return Remember(kZipBadArguments);
  zip::EntryInfo info;
  const ZipResult result = ReaderOf(handle)->Describe(index, &info);
  if (result == kZipOk) Fill(info, entry);
  return Remember(result);
}

template <typename Entry>
ZipResult FindItem(ZipHandle handle, const wchar_t* name, bool ignore_case,
                   int* index, Entry* entry) {
  if (index) *index = -1;
  const ZipResult checked = CheckReader(handle);
  if (checked) return Remember(checked);
  if (!name || !index || !entry) return Remember(kZipBadArguments);
  if (wcslen(name) >= kMaxFindName) return Remember(kZipNotFound);
  char narrow[kMaxFindName * 2 + 1] = {};
  if (WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, sizeof(narrow),
                          nullptr, nullptr) <= 0) {
    return Remember(kZipNotFound);
  }
  zip::ZipReader* reader = ReaderOf(handle);
  const ZipResult found = reader->Find(narrow, ignore_case, index);
  if (found != kZipOk) return Remember(found);
  zip::EntryInfo info;
  const ZipResult result = reader->Describe(*index, &info);
  if (result == kZipOk) Fill(info, entry);
  return Remember(result);
}

ZipResult UnzipItem(ZipHandle handle, int index, const void* target,
                    uint32_t length, ZipSourceKind kind, UINT code_page) {
  const ZipResult checked = CheckReader(handle);
  if (checked) return Remember(checked);
  zip::ZipReader* reader = ReaderOf(handle);
  switch (kind) {
    case kZipMemory:
      return Remember(
          reader->UnzipToMemory(index, const_cast<void*>(target), length));
    case kZipHandle:
      return Remember(reader->UnzipToHandle(index, const_cast<void*>(target)));
    case kZipFileName:
      if (!target) return Remember(kZipBadArguments);
      return Remember(reader->UnzipToFile(
          index, static_cast<const wchar_t*>(target), code_page));
    default:
      return Remember(kZipBadArguments);
  }
}

}  // namespace

ZipHandle ZipOpenReader(const void* target, uint32_t length,
                        ZipSourceKind kind, const wchar_t* base_folder) {
  zip::ZipReader* reader = new zip::ZipReader;
  const ZipResult result =
      Remember(reader->Open(target, length, kind, base_folder));
  if (result != kZipOk) {
    delete reader;
    return nullptr;
  }
  return new ZipHandleRecord{kZipReaderHandleKind, reader};
}

ZipResult ZipGetItem(ZipHandle handle, int index, ZipEntry* entry) {
  return GetItem(handle, index, entry);
}

ZipResult ZipGetItem(ZipHandle handle, int index, ZipEntryW* entry) {
  return GetItem(handle, index, entry);
}

ZipResult ZipFindItem(ZipHandle handle, const wchar_t* name, bool ignore_case,
                      int* index, ZipEntry* entry) {
  return FindItem(handle, name, ignore_case, index, entry);
}

ZipResult ZipFindItem(ZipHandle handle, const wchar_t* name, bool ignore_case,
                      int* index, ZipEntryW* entry) {
  return FindItem(handle, name, ignore_case, index, entry);
}

ZipResult ZipUnzipItem(ZipHandle handle, int index, const void* target,
                       uint32_t length, ZipSourceKind kind) {
  return UnzipItem(handle, index, target, length, kind, CP_ACP);
}

ZipResult ZipUnzipItemUtf8(ZipHandle handle, int index, const void* target,
                           uint32_t length, ZipSourceKind kind) {
  return UnzipItem(handle, index, target, length, kind, CP_UTF8);
}

ZipResult ZipCloseReader(ZipHandle handle) {
  const ZipResult checked = CheckReader(handle);
  if (checked) return Remember(checked);
  delete ReaderOf(handle);
  delete handle;
  return Remember(kZipOk);
}

uint32_t ZipReaderResultMessage(ZipResult code, char* buffer, uint32_t size) {
  if (code == kZipLastResult) code = zip::ReaderLastResult();
  return zip::CopyZipResultText(code, buffer, size);
}

bool IsZipReaderHandle(ZipHandle handle) {
  return !handle || handle->kind == kZipReaderHandleKind;
}
