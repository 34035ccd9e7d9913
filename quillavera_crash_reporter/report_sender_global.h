// The process's one report sender, made at start-up and deleted before the
// process ends. The crash handling flow runs only while it exists.

#ifndef QUILLAVERA_CRASH_REPORTER_REPORT_SENDER_GLOBAL_H_
#define QUILLAVERA_CRASH_REPORTER_REPORT_SENDER_GLOBAL_H_

class ReportSender;

// Creates the sender with no checkpoint file (so no daily limit). False when
// one exists already; true also when the allocation failed and the sender
// stays null.
bool CreateReportSender();

// Deletes the sender, if any.
void DestroyReportSender();

// The sender, or null.
ReportSender* GetReportSender();

#endif  // QUILLAVERA_CRASH_REPORTER_REPORT_SENDER_GLOBAL_H_
