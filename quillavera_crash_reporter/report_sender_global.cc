#include "quillavera_crash_reporter/report_sender_global.h"

#include <atomic>
#include <new>
#include <string>

#include "upload/report_sender.h"

namespace {

// Made on the GUI thread at start-up, after the crash server has started,
// and read by its thread-pool callbacks: a crash before it exists is only
// dumped.
std::atomic<ReportSender*> g_report_sender{nullptr};

}  // namespace

bool CreateReportSender() {
  if (g_report_sender.load())
    return false;
  g_report_sender.store(new (std::nothrow) ReportSender(std::wstring()));
  return true;
}

void DestroyReportSender() {
  delete g_report_sender.exchange(nullptr);
}

ReportSender* GetReportSender() { return g_report_sender.load(); }
