// Posts crash reports through the multipart uploader, with an optional
// per-day limit remembered in a small checkpoint file.

#ifndef UPLOAD_REPORT_SENDER_H_
#define UPLOAD_REPORT_SENDER_H_

#include <functional>
#include <string>

#include "upload/multipart_form.h"

// Results of ReportSender::SendCrashReport.
enum ReportResult {
  kReportFailed = 0,     // no connection, transport error, or another status
  kReportRejected = 1,   // the server answered 400 to 499
  kReportSent = 2,       // 200 and the whole reply read
  kReportThrottled = 3,  // the day's limit was reached; nothing was sent
};

class ReportSender {
 public:
  // Same shape as http_upload::SendRequest.
  using Transport = std::function<bool(
      const std::wstring& url, const http_upload::StringMap& extra_headers,
      const http_upload::StringMap& parameters,
      const http_upload::StringMap& files, const int* timeout_ms,
      std::wstring* response, int* status)>;
  // Today's UTC date as year * 10000 + month * 100 + day.
  using DateSource = std::function<int()>;

  // A silent server must not hold the crash flow for good.
  static constexpr int kDefaultTimeoutMs = 30000;

  struct Options {
    int max_reports_per_day = -1;  // -1: no limit.
    int timeout_ms = kDefaultTimeoutMs;
    DateSource today;     // Empty: the system's UTC date.
    Transport transport;  // Empty: http_upload::SendRequest.
  };

  // An empty |checkpoint_file| keeps nothing on disk.
  explicit ReportSender(const std::wstring& checkpoint_file);
  ReportSender(const std::wstring& checkpoint_file, const Options& options);
  ReportSender(const ReportSender&) = delete;
  ReportSender& operator=(const ReportSender&) = delete;

  // Returns a ReportResult.
  int SendCrashReport(const std::wstring& url,
                      const http_upload::StringMap& extra_headers,
                      const http_upload::StringMap& parameters,
                      const http_upload::StringMap& files,
                      std::wstring* response);

  int last_sent_date() const { return last_sent_date_; }
  // What every post is given as its time-out, in milliseconds.
  int timeout_ms() const { return timeout_ms_; }
  int reports_sent() const { return reports_sent_; }

  // The system's current UTC date as year * 10000 + month * 100 + day.
  static int GetUtcDate();

 private:
  void ReadCheckpoint();
  void WriteCheckpoint() const;
  void RecordSentReport(int today);

  std::wstring checkpoint_file_;
  int max_reports_per_day_;
  int last_sent_date_ = -1;
  int reports_sent_ = 0;
  int timeout_ms_;
  DateSource today_;
  Transport transport_;
};

#endif  // UPLOAD_REPORT_SENDER_H_
