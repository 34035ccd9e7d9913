#include "quillavera_crash_reporter/crash_handling_flow.h"

#include <wchar.h>
// After windows.h, which it needs.
#include <dbghelp.h>

#include <exception>
#include <vector>

#include "base/logging.h"
#include "base/utf_string_conversions.h"
#include "base/file_util.h"
#include "crash_capture/client_record.h"
#include "framework/performance/process_info_utility.h"
#include "quillavera_crash_reporter/app_params.h"
#include "quillavera_crash_reporter/bi_log_upload.h"
#include "quillavera_crash_reporter/bi_records.h"
#include "quillavera_crash_reporter/cookie_json.h"
#include "quillavera_crash_reporter/crash_bi_writer.h"
#include "quillavera_crash_reporter/crash_data_archive.h"
#include "quillavera_crash_reporter/crash_data_collection.h"
#include "quillavera_crash_reporter/crash_data_upload.h"
#include "quillavera_crash_reporter/crash_info_params.h"
#include "quillavera_crash_reporter/decrypted_log_copy.h"
#include "quillavera_crash_reporter/dump_analysis.h"
#include "quillavera_crash_reporter/reporter_globals.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "upload/text_helpers.h"

namespace {

using crash_capture::ClientCustomInfo;
using crash_capture::CustomInfoEntry;

// Gives the crashed process's own handler time to finish its work.
const DWORD kCrashPauseMs = 2000;
const DWORD kAnalysisRetryPauseMs = 1000;
// A non-main crash shows no box; it waits as long instead.
const DWORD kNoMessagePauseMs = 2000;
// Older files are packed only from the forced folders.
const uint32_t kCrashDataMaxAgeHours = 2;

const char kCrashMessageText[] =
    u8"很抱歉，程序出现异常崩溃了。请重新启动程序后再试一次。";
const char kCrashMessageCaption[] = u8"QuillaVera";

// What the flow waits and tells the user with; tests put in their own.
CrashFlowSleep g_sleep = &::Sleep;
CrashMessageBox g_message_box = &::MessageBoxW;

std::wstring FieldText(const wchar_t* field, size_t width) {
  return std::wstring(field, wcsnlen(field, width));
}

std::wstring EntryName(const CustomInfoEntry& entry) {
  return FieldText(entry.name, CustomInfoEntry::kNameMaxLength);
}

std::wstring EntryValue(const CustomInfoEntry& entry) {
  return FieldText(entry.value, CustomInfoEntry::kValueMaxLength);
}

// What one run of the flow works with, built before the analysis.
struct CrashRun {
  uint32_t pid = 0;
  std::wstring dump_path;
  // Names the full-memory dump for the crash data (GetFullDumpPath).
  DWORD dump_type = 0;
  CrashedClientInfo client;
  // Found once for the whole run; "" when the local application-data
  // folder is unknown, and then so is every path of the report.
  std::wstring data_folder;
  std::wstring analysis_path;
  // Local time of the crash; goes into the report parameters.
  std::string crash_time;
  // The crashed process and the system memory, as one text.
  std::string process_info;
  std::string track_id;
};

std::string DescribeCrashedProcess(uint32_t pid, const std::wstring& type) {
  ProcessEntry entry;
  entry.pid = pid;
  entry.type = type;
  return GetProcessesInfo(std::vector<ProcessEntry>{entry}, false, true) +
         GetSystemMemoryUsage();
}

CrashRun PrepareRun(const crash_capture::ClientRecord& client,
                    const std::wstring& dump_path,
                    const CrashedClientInfo& info) {
  CrashRun run;
  run.pid = client.pid();
  run.dump_path = dump_path;
  run.dump_type = client.dump_type();
  run.client = info;
  run.data_folder = GetLocalDataFolder();
  if (!run.data_folder.empty())
    run.analysis_path = run.data_folder + L"\\dumps" + GetAnalysisFileName();
  run.crash_time = GetCurrentTimeString();
  run.process_info = DescribeCrashedProcess(run.pid, info.type);
  run.track_id = LookUpTrackId(run.pid);
  return run;
}

void LogCrashedProcess(const CrashRun& run) {
  LOG(ERROR) << "Process crashed! type: " << run.client.type
             << ", start time: " << run.client.start_text
             << ", info:" << run.process_info
             << ", track_id: " << run.track_id;
}

// False when both attempts failed.
bool AnalyseCrashDump(const CrashRun& run) {
  const int result =
      AnalyseDumpWithRetry(&AnalyseDump, run.dump_path, run.analysis_path);
  if (result == 0) return true;
  LOG(ERROR) << "Analyse dump failed! result: " << result
             << " Dump file: " << run.dump_path;
  return false;
}

void TellUserOrPause(const CrashRun& run) {
  if (!run.client.is_main()) {
    g_sleep(kNoMessagePauseMs);
    return;
  }
  // Waits for the user; returns at once where no desktop can show it.
  g_message_box(nullptr, GetCrashMessageText().c_str(),
                GetCrashMessageCaption().c_str(),
                MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
}

// False when "appParam" gave nothing; a non-main crash goes on with what
// the parameters hold.
bool ReadReportParameters(CrashInfoParams* parameters) {
  if (AnalyseAppParams(parameters) && !parameters->empty()) return true;
  LOG(ERROR) << "Analyse app params failed!";
  return false;
}

void AddCrashParameters(const CrashRun& run, CrashInfoParams* parameters) {
  (*parameters)["crashTime"] = run.crash_time;
  (*parameters)["processInfo"] = run.process_info;
  (*parameters)["searchTags"] =
      MakeSearchTags(base::WideToUTF8(run.client.type), run.pid,
                     base::WideToUTF8(run.client.start_text));
  (*parameters)["trackid"] = run.track_id;
}

// Writes the BI records; a crash in a page named "dravenko" leaves the
// marker that shortens how long dumps are kept.
void WriteBiRecords(const CrashRun& run, const CrashInfoParams& parameters) {
  CrashBiWriter writer;
  WriteCrashBiRecord(&writer, run.analysis_path, parameters, std::wstring());
  std::wstring page;
  writer.GetCrashPage(&page);
  if (page.find(L"dravenko") == std::wstring::npos) return;
  FILE* marker = base::OpenFile(base::FilePath(GetDumpsMarkerPath()), "w");
  if (marker) base::CloseFile(marker);
}

// Packs the logs, the dump, its analysis and the client's data files into
// |archive|. False when the archive's name is taken (whatever holds it is
// left alone) or the archive lacks the dump: what the collection left there
// is removed, since it must neither be sent nor kept in place of the dump.
// An archive with the dump but without some other file is still the crash's
// report and goes on.
bool MakeCrashDataArchive(const CrashRun& run, const std::wstring& archive) {
  if (FileExists(archive)) {
    LOG(ERROR) << "Crash data archive not made: " << archive << " exists";
    return false;
  }
  CrashDataSources sources;
  sources.data_folder = run.data_folder;
  sources.dump_path = run.dump_path;
  sources.analysis_path = run.analysis_path;
  sources.dump_type = run.dump_type;
  bool holds_dump = false;
  if (CollectFilesIntoZip(MakeCrashZipFileList(sources), archive,
                          kCrashDataMaxAgeHours, &holds_dump)) {
    return true;
  }
  if (holds_dump) {
    LOG(WARNING) << "Crash data archive incomplete, sent as it is: "
                 << archive;
    return true;
  }
  DeleteFileW(archive.c_str());
  LOG(ERROR) << "Crash data archive not made: " << archive;
  return false;
}

// The dump goes only once an archive holding it is stored or kept in the
// dumps folder; otherwise it stays for the next start and the retention.
void DeleteDumpAndAnalysis(const CrashRun& run, bool archived) {
  if (archived) {
    // A full-memory dump beside it stays.
    DeleteFileW(run.dump_path.c_str());
  } else {
    LOG(WARNING) << "Dump kept: " << run.dump_path;
  }
  DeleteFileW(run.analysis_path.c_str());
}

// The report of a crash whose data folder is known.
void ReportCrash(const CrashRun& run) {
  if (!AnalyseCrashDump(run) && run.client.is_main()) ExitReporter();
  TellUserOrPause(run);
  CrashInfoParams parameters;
  if (!ReadReportParameters(&parameters) && run.client.is_main())
    ExitReporter();
  AddCrashParameters(run, &parameters);
  const std::wstring zip_name = MakeCrashDataZipPath();
  const std::wstring archive = run.data_folder + zip_name;
  const std::wstring cookie = ReadCookieJson();
  // The log goes into the crash data as a plain copy, listed by the
  // collection, and is removed once packed.
  DecryptLogForPacking();
  const bool made = MakeCrashDataArchive(run, archive);
  DeleteDecryptedLogCopy();
  // Sets "resource" to the object key or to the failure text.
  bool uploaded = false;
  if (made) {
    uploaded = UploadCrashArchive(archive, cookie, &parameters);
  } else {
    parameters["resource"] = kCrashUploadFailedResource;
  }
  WriteBiRecords(run, parameters);
  // An uploaded archive is deleted; one that was not moves into the dumps
  // folder. Nothing else is moved there.
  const bool archived =
      made && PlaceCrashDataArchive(run.data_folder, zip_name, uploaded);
  DeleteDumpAndAnalysis(run, archived);
  UploadBiLog(cookie);
}

// The flow proper, for a claimed crash with a dump and a report sender.
void RunCrashFlow(const crash_capture::ClientRecord& client,
                  const std::wstring& dump_path,
                  const CrashedClientInfo& info) {
  const CrashRun run = PrepareRun(client, dump_path, info);
  LogCrashedProcess(run);
  if (run.data_folder.empty()) {
    // No path of the report could be worked out: joined to "", each would
    // name the drive's root or the working folder.
    LOG(ERROR) << "No local application data folder: crash not reported, "
                  "dump kept: "
               << run.dump_path;
    TellUserOrPause(run);
  } else {
    ReportCrash(run);
  }
  OutputDebugStringW(
      MakeDumpRequestLine(run.pid, client.GetCustomInfo()).c_str());
}

void RunClaimedCrashFlow(const crash_capture::ClientRecord& client,
                         const std::wstring& dump_path,
                         const CrashedClientInfo& info) {
  ScopedCrashFlow flow;
  g_sleep(kCrashPauseMs);
  // Nothing may escape onto the thread pool's thread.
  try {
    RunCrashFlow(client, dump_path, info);
  } catch (const std::exception& e) {
    LOG(ERROR) << "Crash handling stopped: " << e.what();
  } catch (...) {
    LOG(ERROR) << "Crash handling stopped by an unknown failure";
  }
}

}  // namespace

void HandleClientCrash(void*, const crash_capture::ClientRecord* client,
                       const std::wstring* dump_path) {
  WaitForLoggingReady();
  // Later crashes, of any process, keep only the dump the server wrote.
  if (IsCrashHandled()) return;
  const CrashedClientInfo info = ScanCustomInfo(client->GetCustomInfo());
  // Without a dump or a report sender the flag stays clear for a later
  // crash.
  if (dump_path && GetReportSender()) {
    // Another crash got there first.
    if (!ClaimCrashFlow()) return;
    RunClaimedCrashFlow(*client, *dump_path, info);
  }
  if (info.is_main()) ExitReporter();
}

CrashedClientInfo ScanCustomInfo(const ClientCustomInfo& info) {
  CrashedClientInfo result;
  for (uint64_t i = 0; i < info.count; ++i) {
    const std::wstring name = EntryName(info.entries[i]);
    if (name == L"process_type") {
      result.type = EntryValue(info.entries[i]);
    } else if (name == L"custom_info") {
      result.start_text = EntryValue(info.entries[i]);
    }
  }
  return result;
}

std::wstring MakeDumpRequestLine(uint32_t pid, const ClientCustomInfo& info) {
  std::wstring line = L"Client requested dump:" + std::to_wstring(pid) + L"\r\n";
  for (uint64_t i = 0; i < info.count; ++i) {
    if (i) line += L", ";
    line += EntryName(info.entries[i]) + L": " + EntryValue(info.entries[i]);
  }
  return line;
}

std::string LookUpTrackId(uint32_t pid) {
  LockedReporterState state;
  const auto found = state->track_ids.find(pid);
  if (found == state->track_ids.end()) return "0";
  return base::WideToUTF8(found->second);
}

std::wstring GetFullDumpPath(const std::wstring& dump_path, DWORD dump_type) {
  if ((dump_type & MiniDumpWithFullMemory) == 0 || dump_path.size() < 4)
    return std::wstring();
  return dump_path.substr(0, dump_path.size() - 4) + L"-full.dmp";
}

int AnalyseDumpWithRetry(DumpAnalyser analyser, const std::wstring& dump_path,
                         const std::wstring& result_path) {
  const int result = analyser(dump_path, result_path);
  if (result == 0) return 0;
  g_sleep(kAnalysisRetryPauseMs);
  return analyser(dump_path, result_path);
}

void SetCrashFlowSleepForTesting(CrashFlowSleep sleep) {
  g_sleep = sleep ? sleep : &::Sleep;
}

void SetCrashMessageBoxForTesting(CrashMessageBox box) {
  g_message_box = box ? box : &::MessageBoxW;
}

std::wstring GetCrashMessageText() {
  return base::UTF8ToWide(kCrashMessageText);
}

std::wstring GetCrashMessageCaption() {
  return base::UTF8ToWide(kCrashMessageCaption);
}
