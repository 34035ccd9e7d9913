#include "quillavera_crash_reporter/bi_records.h"

#include <windows.h>

#include <stdio.h>

#include "base/file_path.h"
#include "base/file_util.h"
#include "quillavera_crash_reporter/bi_log_encryption.h"
#include "quillavera_crash_reporter/json_escape.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "upload/text_helpers.h"

namespace {

const wchar_t kFieldSeparator = L'\x01';
const wchar_t kMobileMonitorKind[] = L"mobile_monitor";
const wchar_t kCrashKind[] = L"crash";
const wchar_t kErrorKind[] = L"error";
const wchar_t kRecordHead[] =
    L"{\"language\": \"Native\", \"type\": \"Crash\", "
    L"\"mspm\": \"NativeApplication\", \"category\": \"Error\", ";
const wchar_t kRecordEnd[] = L"\"}\n";

// A parameter as a record inserts it: UTF-16 and escaped. Absent is empty.
std::wstring Param(const CrashInfoParams& parameters, const char* key) {
  const auto found = parameters.find(key);
  if (found == parameters.end()) return std::wstring();
  return JsonEscape(Utf8ToWide(found->second));
}

// "searchTags" is inserted as it stands: its backslashes are deliberate and
// the flow escaped what it put inside.
std::wstring RawParam(const CrashInfoParams& parameters, const char* key) {
  const auto found = parameters.find(key);
  return found == parameters.end() ? std::wstring() : Utf8ToWide(found->second);
}

std::wstring Member(const wchar_t* key, const std::wstring& value) {
  return std::wstring(L"\"") + key + L"\": \"" + value + L"\", ";
}

std::wstring RecordStart(time_t now, const wchar_t* kind) {
  return std::to_wstring(static_cast<long long>(now)) + kFieldSeparator +
         kind + kFieldSeparator;
}

// The extra information lines, as read, without separators.
void AppendExtraInfo(const std::wstring& path, std::wstring* info) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) {
    OutputDebugStringW(
        L"crash bi read error: cannot open advance_info_file file.\n");
    return;
  }
  std::wstring text;
  int c;
  while ((c = fgetc(file)) != EOF) {
    if (c != '\n') text += static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  fclose(file);
  info->append(JsonEscape(text));
}

bool AppendBytesOnce(const std::wstring& path, const std::string& bytes,
                     bool report) {
  FILE* file = _wfopen(path.c_str(), L"ab");
  if (!file) {
    if (report)
      OutputDebugStringW(L"crash bi open error: cannot open log file.\n");
    return false;
  }
  const bool written = fwrite(bytes.data(), 1, bytes.size(), file) ==
                       bytes.size();
  const bool closed = fclose(file) == 0;
  if ((!written || !closed) && report)
    OutputDebugStringW(L"crash bi write error: cannot write log file.\n");
  return written && closed;
}

}  // namespace

std::string MakeSearchTags(const std::string& type_utf8, uint32_t pid,
                           const std::string& start_text_utf8) {
  const std::string tag =
      type_utf8 + "_" + std::to_string(pid) + "_" + start_text_utf8;
  return "{\\\"process\\\": \\\"" + JsonEscape(JsonEscape(tag)) + "\\\"}";
}

std::wstring MakeCrashBiRecords(CrashBiWriter* writer, time_t now,
                                const std::wstring& analysis_path,
                                const CrashInfoParams& parameters,
                                const std::wstring& extra_info_path) {
  const std::wstring search_tags = RawParam(parameters, "searchTags");
  std::wstring crash_info = RecordStart(now, kCrashKind) + L"{" +
                            Member(L"searchTags", search_tags) +
                            Member(L"crashdata", Param(parameters, "resource")) +
                            Member(L"trackid", Param(parameters, "trackid")) +
                            Member(L"patchversion",
                                   Param(parameters, "patchVersion")) +
                            L"\"crashinfo\": \"";
  std::wstring message =
      RecordStart(now, kMobileMonitorKind) + kRecordHead +
      Member(L"_model", Param(parameters, "GPU")) +
      Member(L"_brand",
             Param(parameters, "brand") + L"_" + Param(parameters, "model")) +
      Member(L"searchTags", search_tags) +
      Member(L"appVersion", Param(parameters, "appVersion")) +
      Member(L"buildver", Param(parameters, "buildVersion")) +
      Member(L"patchversion", Param(parameters, "patchVersion")) +
      Member(L"osVersion", Param(parameters, "osVersion")) +
      Member(L"startTime", Param(parameters, "startTime")) +
      Member(L"crashTime", Param(parameters, "crashTime")) +
      Member(L"_appChannel", Param(parameters, "appChannel")) +
      Member(L"runtime", Param(parameters, "appPlatform")) +
      Member(L"resource", Param(parameters, "resource")) +
      L"\"message\": \"";
  std::wstring process_info = Param(parameters, "processInfo") + L"\\n";
  if (!extra_info_path.empty()) AppendExtraInfo(extra_info_path, &process_info);
  writer->ParseAnalysisResult(&message, &crash_info, analysis_path,
                              process_info);
  message += kRecordEnd;
  crash_info += kRecordEnd;
  return message + crash_info;
}

std::wstring MakeMemoryMonitorRecord(time_t now, uint32_t process_type,
                                     uint32_t pid, uint32_t period,
                                     const std::vector<uint32_t>& samples) {
  if (samples.empty()) return std::wstring();
  std::wstring memory;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (i) memory += L"_";
    memory += std::to_wstring(samples[i]);
  }
  return RecordStart(now, kErrorKind) + L"{" +
         Member(L"errorType", L"MemoryMonitor") +
         Member(L"processType", std::to_wstring(process_type)) +
         Member(L"processID", std::to_wstring(pid)) +
         Member(L"period", std::to_wstring(period)) + L"\"memory\": \"" +
         memory + kRecordEnd;
}

std::string BiRecordBytes(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned unit = static_cast<unsigned>(text[i]);
    if (unit <= 0xff) {
      bytes += static_cast<char>(unit);
      continue;
    }
    // One character, a surrogate pair whole, in UTF-8.
    const size_t length =
        unit >= 0xd800 && unit <= 0xdbff && i + 1 < text.size() &&
                text[i + 1] >= 0xdc00 && text[i + 1] <= 0xdfff
            ? 2
            : 1;
    bytes += WideToUtf8(text.substr(i, length));
    i += length - 1;
  }
  return bytes;
}

bool AppendBiRecords(const std::wstring& records) {
  const std::wstring backup = GetBiLogBackupPath();
  // Unknown, the plain file would land in the working folder.
  if (backup.empty()) {
    OutputDebugStringW(L"crash bi open error: no data folder.\n");
    return false;
  }
  const std::wstring plain = backup + L"de";
  base::CreateDirectory(base::FilePath(backup).DirName());
  // A backup left unsent holds records the plain file may not: the new
  // records are added to it rather than replace it.
  const bool unsent_backup = FileExists(backup);
  const std::string bytes = BiRecordBytes(records);
  bool written = AppendBytesOnce(plain, bytes, true);
  if (!written) written = AppendBytesOnce(plain, bytes, false);
  if (!unsent_backup) {
    EncryptBiLogToBackup(plain, backup);
  } else if (!AppendBiRecordsToBackup(bytes, backup)) {
    OutputDebugStringW(L"crash bi write error: cannot write backup file.\n");
  }
  return written;
}

void WriteCrashBiRecord(CrashBiWriter* writer,
                        const std::wstring& analysis_path,
                        const CrashInfoParams& parameters,
                        const std::wstring& extra_info_path) {
  AppendBiRecords(MakeCrashBiRecords(writer, time(nullptr), analysis_path,
                                     parameters, extra_info_path));
}

void WriteMemoryMonitorRecord(CrashBiWriter*, uint32_t process_type,
                              uint32_t pid, uint32_t period,
                              const std::vector<uint32_t>& samples) {
  const std::wstring record = MakeMemoryMonitorRecord(
      time(nullptr), process_type, pid, period, samples);
  if (record.empty()) return;
  AppendBiRecords(record);
}
