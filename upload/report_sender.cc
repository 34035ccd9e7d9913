#include "upload/report_sender.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "upload/http_upload.h"

namespace {

const char kCheckpointSignature[] = "GBP1\n";
const int kCheckpointLineBytes = 128;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

ScopedFile OpenCheckpoint(const std::wstring& path, const wchar_t* mode) {
  if (path.empty())
    return ScopedFile();
  return ScopedFile(_wfopen(path.c_str(), mode));
}

// Reads one line holding a decimal int (surrounding blanks allowed).
bool ReadNumberLine(FILE* file, int* value) {
  char line[kCheckpointLineBytes];
  if (!std::fgets(line, sizeof(line), file))
    return false;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(line, &end, 10);
  if (end == line || errno == ERANGE || number < INT_MIN || number > INT_MAX)
    return false;
  while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n')
    ++end;
  if (*end != '\0')
    return false;
  *value = static_cast<int>(number);
  return true;
}

}  // namespace

ReportSender::ReportSender(const std::wstring& checkpoint_file)
    : ReportSender(checkpoint_file, Options()) {}

ReportSender::ReportSender(const std::wstring& checkpoint_file,
                           const Options& options)
    : checkpoint_file_(checkpoint_file),
      max_reports_per_day_(options.max_reports_per_day),
      timeout_ms_(options.timeout_ms),
      today_(options.today ? options.today : DateSource(&GetUtcDate)),
      transport_(options.transport ? options.transport
                                   : Transport(&http_upload::SendRequest)) {
  ReadCheckpoint();
}

int ReportSender::GetUtcDate() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return now.wYear * 10000 + now.wMonth * 100 + now.wDay;
}

int ReportSender::SendCrashReport(const std::wstring& url,
                                  const http_upload::StringMap& extra_headers,
                                  const http_upload::StringMap& parameters,
                                  const http_upload::StringMap& files,
                                  std::wstring* response) {
  const int today = today_();
  if (today == last_sent_date_ && max_reports_per_day_ != -1 &&
      reports_sent_ >= max_reports_per_day_) {
    return kReportThrottled;
  }
  int status = 0;
  const bool ok = transport_(url, extra_headers, parameters, files,
                             &timeout_ms_, response, &status);
  if (ok) {
    RecordSentReport(today);
    return kReportSent;
  }
  if (status >= 400 && status <= 499)
    return kReportRejected;
  return kReportFailed;
}

void ReportSender::ReadCheckpoint() {
  ScopedFile file = OpenCheckpoint(checkpoint_file_, L"r");
  if (!file)
    return;
  char line[kCheckpointLineBytes];
  if (!std::fgets(line, sizeof(line), file.get()) ||
      std::strcmp(line, kCheckpointSignature) != 0) {
    return;
  }
  if (!ReadNumberLine(file.get(), &last_sent_date_)) {
    last_sent_date_ = -1;
    return;
  }
  if (!ReadNumberLine(file.get(), &reports_sent_))
    reports_sent_ = 0;
}

void ReportSender::WriteCheckpoint() const {
  ScopedFile file = OpenCheckpoint(checkpoint_file_, L"w");
  if (!file)
    return;
  std::fprintf(file.get(), "%s%d\n%d\n", kCheckpointSignature,
               last_sent_date_, reports_sent_);
}

void ReportSender::RecordSentReport(int today) {
  if (today != last_sent_date_) {
    last_sent_date_ = today;
    reports_sent_ = 0;
  }
  ++reports_sent_;
  WriteCheckpoint();
}
