#include "quillavera_crash_reporter/crash_data_archive.h"

#include "base/logging.h"
#include "quillavera_crash_reporter/crash_handling_flow.h"
#include "quillavera_crash_reporter/reporter_paths.h"

namespace {

// A log that does not open, or is too big to send, is left out.
bool OpensBelowLogLimit(const std::wstring& path) {
  HANDLE file = CreateFileW(
      path.c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  const bool below = GetFileSizeEx(file, &size) &&
                     size.QuadPart < GetMaxCollectedLogSize();
  CloseHandle(file);
  return below;
}

}  // namespace

CrashZipFileList MakeCrashZipFileList(const CrashDataSources& sources) {
  const std::wstring& data = sources.data_folder;
  CrashZipFileList list;
  if (OpensBelowLogLimit(data + L"\\quillavera.elog")) {
    list.AddFile(data + (sources.log_encryption ? L"\\quillavera.log"
                                                : L"\\quillavera.elog"));
  }
  if (OpensBelowLogLimit(data + L"\\web.log")) list.AddFile(data + L"\\web.log");
  list.AddFile(data + L"\\app_trace.json");
  // A plain path: its files are taken only when recent.
  list.AddFile(data + L"\\localdata");
  list.AddRequiredFile(sources.dump_path);
  list.AddFile(sources.analysis_path);
  list.AddFile(data + L"\\webdata\\file\\crash_report");
  list.AddFolder(data + L"\\ORBI_SYS");
  list.AddFolder(data + L"\\OBQ");
  list.AddFolder(data + L"\\qlvt");
  const std::wstring full_dump =
      GetFullDumpPath(sources.dump_path, sources.dump_type);
  if (!full_dump.empty()) {
    LOG(INFO) << "Enable full dump";
    list.AddFile(full_dump);
  }
  return list;
}

bool PlaceCrashDataArchive(const std::wstring& data_folder,
                           const std::wstring& zip_name, bool uploaded) {
  const std::wstring archive = data_folder + zip_name;
  if (uploaded) {
    DeleteFileW(archive.c_str());
    return true;
  }
  const std::wstring kept = data_folder + L"\\dumps" + zip_name;
  if (MoveFileW(archive.c_str(), kept.c_str())) return true;
  PLOG(ERROR) << "Crash data archive not moved to " << kept;
  return false;
}
