// The reader's side of the flat zip interface (declared in zip_interface.h).

#include <windows.h>

#include <string.h>

#include <algorithm>
#include <string>

#include "zip/entry_name.h"
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
  std::string ansi = info.name;
  if (info.utf8_name) {
    const std::wstring wide = zip::NameFromStored(info.name, true);
    // '?' rather than a look-alike for what the code page lacks.
    char narrow[sizeof(entry->name)] = {};
    const int length = WideCharToMultiByte(
        CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
        static_cast<int>(wide.size()), narrow, sizeof(narrow) - 1, nullptr,
        nullptr);
    ansi.assign(narrow, length > 0 ? length : 0);
  }
  const size_t length = std::min(ansi.size(), sizeof(entry->name) - 1);
  memcpy(entry->name, ansi.data(), length);
}

void Fill(const zip::EntryInfo& info, ZipEntryW* entry) {
  memset(entry, 0, sizeof(*entry));
  CopyFields(info, entry);
  const std::wstring wide = zip::NameFromStored(info.name, info.utf8_name);
  const size_t max_units = sizeof(entry->name) / sizeof(entry->name[0]) - 1;
  wide.copy(entry->name, std::min(wide.size(), max_units));
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
  zip::ZipReader* reader = ReaderOf(handle);
  const ZipResult found = reader->Find(name, ignore_case, index);
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

ZipResult ZipSetExtractionLimit(ZipHandle handle, uint64_t bytes) {
  const ZipResult checked = CheckReader(handle);
  if (checked) return Remember(checked);
  ReaderOf(handle)->set_extraction_limit(bytes);
  return Remember(kZipOk);
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
