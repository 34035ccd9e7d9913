#include "quillavera_crash_reporter/crash_data_collection.h"

#include <windows.h>
#include <io.h>
#include <time.h>

#include <algorithm>

#include "base/logging.h"

namespace {

const unsigned kDirectoryAttribute = 0x10;
const int64_t kSecondsPerHour = 3600;

std::string ResultText(ZipResult result) {
  char text[128];
  ZipResultMessage(result, text, sizeof(text));
  return text;
}

// Ends a find started with _wfindfirst64 when its scope ends.
class ScopedFind {
 public:
  explicit ScopedFind(intptr_t handle) : handle_(handle) {}
  ~ScopedFind() {
    if (handle_ != -1) _findclose(handle_);
  }
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;
  bool valid() const { return handle_ != -1; }
  intptr_t get() const { return handle_; }

 private:
  intptr_t handle_;
};

// Closes the archive when its scope ends, unless Close() did.
class ScopedZip {
 public:
  explicit ScopedZip(ZipHandle zip) : zip_(zip) {}
  ~ScopedZip() {
    if (zip_) ZipClose(zip_);
  }
  ScopedZip(const ScopedZip&) = delete;
  ScopedZip& operator=(const ScopedZip&) = delete;
  ZipHandle get() const { return zip_; }
  ZipResult Close() {
    const ZipResult result = ZipClose(zip_);
    zip_ = nullptr;
    return result;
  }

 private:
  ZipHandle zip_;
};

bool IsOld(const _wfinddata64_t& found, int64_t cutoff) {
  return found.time_write <= cutoff;
}

// A file the client holds open is packed from a duplicate, which goes
// again at once. False when it is left out.
bool PackFile(ZipHandle zip, const std::wstring& entry_name,
              const std::wstring& path) {
  ZipResult result =
      ZipAddEntry(zip, entry_name.c_str(), path.c_str(), 0, kZipFileName);
  if (result == kZipOpenFailed) {
    const std::wstring copy = path + L".copy";
    CopyFileW(path.c_str(), copy.c_str(), FALSE);
    result =
        ZipAddEntry(zip, entry_name.c_str(), copy.c_str(), 0, kZipFileName);
    DeleteFileW(copy.c_str());
  }
  if (result == kZipOk) return true;
  LOG(WARNING) << "Crash data left out: " << path << " (" << ResultText(result)
               << ")";
  return false;
}

bool IsDotFolder(const wchar_t* name) {
  return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

}  // namespace

bool CrashZipFileList::IsForcedFolder(const std::wstring& path) const {
  return std::find(folders_.begin(), folders_.end(), path) != folders_.end();
}

bool CrashZipFileList::IsRequired(const std::wstring& path) const {
  return std::find(required_.begin(), required_.end(), path) !=
         required_.end();
}

bool IsCollectedFile(unsigned attributes) {
  return (attributes & kDirectoryAttribute) == 0;
}

std::wstring GetFileNameFromPath(const std::wstring& path) {
  size_t separator = path.rfind(L'\\');
  if (separator == std::wstring::npos) separator = path.rfind(L'/');
  if (separator == std::wstring::npos) return path;
  return path.substr(separator + 1);
}

ZipResult ZipClose(ZipHandle zip) {
  return IsZipWriterHandle(zip) ? ZipCloseWriter(zip) : ZipCloseReader(zip);
}

bool CollectFolderIntoZip(const CrashZipFileList& list, ZipHandle zip,
                          const std::wstring& folder, int64_t cutoff,
                          const std::wstring& entry_prefix, bool forced) {
  _wfinddata64_t found;
  ScopedFind find(_wfindfirst64((folder + L"\\*.*").c_str(), &found));
  if (!find.valid()) return false;
  do {
    const std::wstring name = found.name;
    if (IsCollectedFile(found.attrib)) {
      if (forced || !IsOld(found, cutoff))
        PackFile(zip, entry_prefix + L"\\" + name, folder + L"\\" + name);
    } else if (!IsDotFolder(found.name)) {
      CollectFolderIntoZip(list, zip, folder + L"\\" + name, cutoff,
                           entry_prefix + L"\\" + name, forced);
    }
  } while (_wfindnext64(find.get(), &found) == 0);
  return true;
}

bool CollectFilesIntoZip(const CrashZipFileList& list,
                         const std::wstring& zip_path, uint32_t hours) {
  bool holds_required = false;
  return CollectFilesIntoZip(list, zip_path, hours, &holds_required);
}

bool CollectFilesIntoZip(const CrashZipFileList& list,
                         const std::wstring& zip_path, uint32_t hours,
                         bool* holds_required) {
  *holds_required = false;
  const int64_t cutoff =
      static_cast<int64_t>(time(nullptr)) - kSecondsPerHour * hours;
  ScopedZip zip(ZipCreate(zip_path.c_str(), 0, kZipFileName));
  if (!zip.get()) {
    LOG(ERROR) << "Crash data archive not created: " << zip_path << " ("
               << ResultText(kZipLastResult) << ")";
    return false;
  }
  bool whole = true;
  bool required_packed = true;
  for (const std::wstring& path : list.paths()) {
    const bool required = list.IsRequired(path);
    const bool forced = required || list.IsForcedFolder(path);
    _wfinddata64_t found;
    ScopedFind find(_wfindfirst64(path.c_str(), &found));
    // Missing paths cost nothing: a log that was never written, say.
    if (!find.valid()) {
      if (required) {
        LOG(ERROR) << "Crash data missing: " << path;
        required_packed = false;
      }
      continue;
    }
    if (IsCollectedFile(found.attrib)) {
      if ((forced || !IsOld(found, cutoff)) &&
          !PackFile(zip.get(), found.name, path) && required) {
        required_packed = false;
      }
    } else if (!CollectFolderIntoZip(list, zip.get(), path, cutoff,
                                     GetFileNameFromPath(path), forced)) {
      LOG(ERROR) << "Crash data folder not searched: " << path;
      whole = false;
    }
  }
  const ZipResult closed = zip.Close();
  if (closed != kZipOk) {
    LOG(ERROR) << "Crash data archive not completed: " << zip_path << " ("
               << ResultText(closed) << ")";
    return false;
  }
  *holds_required = required_packed;
  return whole && required_packed;
}
