#include "quillavera_crash_reporter/bi_log_upload.h"

#include <windows.h>

#include <stdio.h>

#include "quillavera_crash_reporter/bi_records.h"
#include "quillavera_crash_reporter/cookie_json.h"
#include "quillavera_crash_reporter/reporter_globals.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "upload/feedback_endpoint.h"
#include "upload/report_sender.h"
#include "quillavera_crash_reporter/crash_data_collection.h"
#include "qzcrypto/crypt_file_helper.h"

namespace {

const uint32_t kEndOfCentralDirectory = 0x06054b50;
const long kEndRecordSize = 22;

// Whether the archive at |path| lists at least one entry: its end record
// (written without a comment) counts them.
bool ZipHoldsEntries(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return false;
  unsigned char record[kEndRecordSize] = {};
  const bool read = fseek(file, -kEndRecordSize, SEEK_END) == 0 &&
                    fread(record, 1, sizeof(record), file) == sizeof(record);
  fclose(file);
  if (!read) return false;
  const uint32_t signature = record[0] | record[1] << 8 | record[2] << 16 |
                             static_cast<uint32_t>(record[3]) << 24;
  const unsigned entries = record[10] | record[11] << 8;
  return signature == kEndOfCentralDirectory && entries > 0;
}

// A header value may not break the request head.
std::wstring WithoutLineBreaks(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c != L'\r' && c != L'\n') out += c;
  }
  return out;
}

}  // namespace

bool UploadCrashData(const std::wstring& cookie, const std::wstring& file,
                     const std::wstring& zip_path) {
  DeleteFileW(zip_path.c_str());
  // The BI file is packed whatever its age: the records in it are what is
  // to be delivered.
  CrashZipFileList list;
  list.AddFolder(file);
  CollectFilesIntoZip(list, zip_path, 0);
  if (!ZipHoldsEntries(zip_path)) {
    OutputDebugStringW(L"upload error: nothing to upload.\n");
    DeleteFileW(zip_path.c_str());
    return false;
  }
  ReportSender* sender = GetReportSender();
  if (!sender) return false;
  http_upload::StringMap headers = {{L"Cookie", WithoutLineBreaks(cookie)}};
  http_upload::StringMap files = {{L"crashInfo", zip_path}};
  std::wstring response;
  int result = sender->SendCrashReport(GetFeedbackLogUrl(), headers, {}, files,
                                       &response);
  if (result != kReportSent) {
    response.clear();
    result = sender->SendCrashReport(GetFeedbackLogUrl(), headers, {}, files,
                                     &response);
  }
  if (result != kReportSent) {
    OutputDebugStringW((L"upload error:" + std::to_wstring(result) +
                        L", reason:" + response + L"\n")
                           .c_str());
    DeleteFileW(zip_path.c_str());
    return false;
  }
  DeleteFileW(zip_path.c_str());
  return true;
}

void UploadBiLog(const std::wstring& cookie) {
  const std::wstring data = GetLocalDataFolder();
  const std::wstring backup = GetBiLogBackupPath();
  // Unknown, every file would land in the working folder or the root.
  if (data.empty() || backup.empty()) return;
  const std::wstring plain = backup + L"de";
  // Decrypted beside it first: a failed decryption must not cut the plain
  // file, which then is the copy to send.
  const std::wstring decrypted = plain + L".tmp";
  const int d = CryptFileHelper::GetInstance()->DecryptFile(backup, decrypted);
  if (d == 0) {
    MoveFileExW(decrypted.c_str(), plain.c_str(), MOVEFILE_REPLACE_EXISTING);
  } else {
    DeleteFileW(decrypted.c_str());
  }
  const std::wstring sent =
      d == 0 || FileExists(plain) ? plain : backup;
  const bool uploaded = UploadCrashData(cookie, sent, data + GetBiZipPath());
  // What was sent holds the backup's records only when it came from it.
  if (uploaded && (d == 0 || sent == backup)) DeleteFileW(backup.c_str());
  if (d == 0 || uploaded) DeleteFileW(plain.c_str());
}

void ReportMemoryMonitor(uint32_t process_type, uint32_t pid, uint32_t period,
                         const std::vector<uint32_t>& samples) {
  CrashBiWriter writer;
  WriteMemoryMonitorRecord(&writer, process_type, pid, period, samples);
  UploadBiLog(ReadCookieJson());
}
