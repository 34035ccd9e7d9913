// The crash data archive of one crash: what goes in, and where the archive
// goes once the upload is over.

#ifndef QUILLAVERA_CRASH_REPORTER_CRASH_DATA_ARCHIVE_H_
#define QUILLAVERA_CRASH_REPORTER_CRASH_DATA_ARCHIVE_H_

#include <windows.h>

#include <string>

#include "quillavera_crash_reporter/crash_data_collection.h"

struct CrashDataSources {
  std::wstring data_folder;
  std::wstring dump_path;
  std::wstring analysis_path;
  DWORD dump_type = 0;
  // The log is written encrypted; its plain copy, decrypted beside it
  // before collection, is what gets packed.
  bool log_encryption = true;
};

// In order: the log (its plain copy "quillavera.log" when encryption is
// on) and "web.log" when each is below the collected-log limit,
// "app_trace.json", "localdata" (with the age limit), the dump, the
// analysis text, "webdata\file\crash_report", the forced folders "ORBI_SYS",
// "OBQ" and "qlvt", and the full-memory dump when the dump type asks for
// full memory. The dump is required: without it the archive is not whole.
CrashZipFileList MakeCrashZipFileList(const CrashDataSources& sources);

// For an archive the crash flow made: an uploaded archive is deleted; one
// that was not is kept in the dumps folder, under its own name. True when
// it was uploaded or is in the dumps folder now; false (logged) when it
// could not be moved there and stays in the data folder, where the next
// start finds it.
bool PlaceCrashDataArchive(const std::wstring& data_folder,
                           const std::wstring& zip_name, bool uploaded);

#endif  // QUILLAVERA_CRASH_REPORTER_CRASH_DATA_ARCHIVE_H_
