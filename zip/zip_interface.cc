#include "zip/zip_interface.h"

#include <windows.h>

#include <string>

#include "zip/entry_name.h"
#include "zip/zip_handle_record.h"
#include "zip/zip_writer.h"

namespace {

// A name of at most this many bytes, terminator included, is taken.
const size_t kMaxStoredName = 518;

ZipResult Remember(ZipResult result) {
  zip::WriterLastResult() = result;
  return result;
}

// kZipOk when |handle| is a writer's, else the caller's error.
ZipResult CheckWriter(ZipHandle handle) {
  if (!handle) return kZipBadArguments;
  if (handle->kind != kZipWriterHandleKind) return kZipWrongSide;
  return kZipOk;
}

zip::ZipWriter* WriterOf(ZipHandle handle) {
  return static_cast<zip::ZipWriter*>(handle->object);
}

bool ToStoredName(const wchar_t* name, zip::StoredName* stored) {
  return name && zip::StoreName(name, stored) &&
         stored->bytes.size() < kMaxStoredName;
}

bool AddFolderFiles(ZipHandle handle, const std::wstring& root,
                    const std::wstring& relative);

bool AddFolderFilesFrom(ZipHandle handle, const std::wstring& root,
                        const std::wstring& folder,
                        const std::wstring& name_prefix) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring entry = name_prefix + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = AddFolderFiles(handle, root, entry);
    } else {
      const std::wstring path = root + L"\\" + entry;
      ok = ZipAddEntry(handle, entry.c_str(), path.c_str(), 0,
                       kZipFileName) == kZipOk;
    }
  } while (ok && FindNextFileW(search, &found));
  if (ok && GetLastError() != ERROR_NO_MORE_FILES) ok = false;
  FindClose(search);
  return ok;
}

bool AddFolderFiles(ZipHandle handle, const std::wstring& root,
                    const std::wstring& relative) {
  if (ZipAddEntry(handle, relative.c_str(), nullptr, 0, kZipFolder) != kZipOk)
    return false;
  return AddFolderFilesFrom(handle, root, root + L"\\" + relative,
                            relative + L"\\");
}

}  // namespace

ZipHandle ZipCreate(const void* target, uint32_t length, ZipSourceKind kind) {
  zip::ZipWriter* writer = new zip::ZipWriter;
  const ZipResult result = Remember(writer->Create(target, length, kind));
  if (result != kZipOk) {
    delete writer;
    return nullptr;
  }
  return new ZipHandleRecord{kZipWriterHandleKind, writer};
}

ZipResult ZipAddEntry(ZipHandle handle, const wchar_t* name,
                      const void* source, uint32_t length,
                      ZipSourceKind kind) {
  const ZipResult checked = CheckWriter(handle);
  if (checked) return Remember(checked);
  zip::StoredName stored;
  if (!ToStoredName(name, &stored)) return Remember(kZipBadArguments);
  return Remember(WriterOf(handle)->Add(stored, source, length, kind));
}

bool ZipAddFolderContent(ZipHandle handle, const wchar_t* root,
                         const wchar_t* relative) {
  if (!root) return false;
  if (!relative) return AddFolderFilesFrom(handle, root, root, L"");
  return AddFolderFiles(handle, root, relative);
}

ZipResult ZipCloseWriter(ZipHandle handle) {
  const ZipResult checked = CheckWriter(handle);
  if (checked) return Remember(checked);
  zip::ZipWriter* writer = WriterOf(handle);
  const ZipResult result = writer->Close();
  delete writer;
  delete handle;
  return Remember(result);
}

ZipResult ZipGetMemory(ZipHandle handle, const void** data, uint32_t* size) {
  const ZipResult checked = CheckWriter(handle);
  if (checked) {
    if (data) *data = nullptr;
    if (size) *size = 0;
    return Remember(checked);
  }
  return Remember(WriterOf(handle)->GetMemory(data, size));
}

uint32_t ZipResultMessage(ZipResult code, char* buffer, uint32_t size) {
  if (code == kZipLastResult) code = zip::WriterLastResult();
  return zip::CopyZipResultText(code, buffer, size);
}

bool IsZipWriterHandle(ZipHandle handle) {
  return !handle || handle->kind == kZipWriterHandleKind;
}

