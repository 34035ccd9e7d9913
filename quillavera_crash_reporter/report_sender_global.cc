#include "quillavera_crash_reporter/report_sender_global.h"

#include <new>
#include <string>

#include "upload/report_sender.h"

namespace {

// Made on the GUI thread at start-up, before the crash server calls back.
ReportSender* g_report_sender = nullptr;

}  // namespace

bool CreateReportSender() {
  if (g_report_sender)
    return false;
  g_report_sender = new (std::nothrow) ReportSender(std::wstring());
  return true;
}

void DestroyReportSender() {
  delete g_report_sender;
  g_report_sender = nullptr;
}

ReportSender* GetReportSender() { return g_report_sender; }
