// The analytics (BI) records of a handled crash: two lines appended to the
// plain BI file ("\Log\bilog.elog.backup" + "de" in the data folder), which
// is then stored encrypted as the BI backup. A line is the seconds since
// 1970, U+0001, the record kind, U+0001 and a JSON object; the values the
// records insert are escaped, so the object stays well-formed whatever the
// client application put into them.

#ifndef QUILLAVERA_CRASH_REPORTER_BI_RECORDS_H_
#define QUILLAVERA_CRASH_REPORTER_BI_RECORDS_H_

#include <stdint.h>
#include <time.h>

#include <string>
#include <vector>

#include "quillavera_crash_reporter/crash_bi_writer.h"
#include "quillavera_crash_reporter/crash_info_params.h"

// The "searchTags" value: {\"process\": \"T_P_S\"} with the backslashes as
// characters, since it stands inside a JSON string and is itself JSON. The
// role and the start text are escaped for both levels.
std::string MakeSearchTags(const std::string& type_utf8, uint32_t pid,
                           const std::string& start_text_utf8);

// The "mobile_monitor" line followed by the "crash" line, both stamped
// |now|. Missing parameters count as empty.
std::wstring MakeCrashBiRecords(CrashBiWriter* writer, time_t now,
                                const std::wstring& analysis_path,
                                const CrashInfoParams& parameters,
                                const std::wstring& extra_info_path);

// The "error" line of one memory-monitor report; empty without samples.
std::wstring MakeMemoryMonitorRecord(time_t now, uint32_t process_type,
                                     uint32_t pid, uint32_t period,
                                     const std::vector<uint32_t>& samples);

// |text| as the BI file holds it: a unit up to 0xFF as that byte, anything
// else (and surrogate pairs as one character) as UTF-8.
std::string BiRecordBytes(const std::wstring& text);

// Appends |records| to the plain BI file in one write, creating the "Log"
// folder first; on an open or write failure writes its debugger line and
// tries once more. Then, with log encryption on, writes the whole plain
// file encrypted to the BI backup, or, when a backup is there already (left
// unsent, its records maybe nowhere else), appends the records encrypted
// to it. False when the records did not land in the plain file, or the
// data folder is unknown (nothing is written then).
bool AppendBiRecords(const std::wstring& records);

// Builds the two records of a handled crash and appends them.
void WriteCrashBiRecord(CrashBiWriter* writer,
                        const std::wstring& analysis_path,
                        const CrashInfoParams& parameters,
                        const std::wstring& extra_info_path);

// One memory-monitor record; nothing without samples.
void WriteMemoryMonitorRecord(CrashBiWriter* writer, uint32_t process_type,
                              uint32_t pid, uint32_t period,
                              const std::vector<uint32_t>& samples);

#endif  // QUILLAVERA_CRASH_REPORTER_BI_RECORDS_H_
