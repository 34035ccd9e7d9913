// The crash handling flow's upload of its crash-data archive to the
// object-storage service.

#ifndef QUILLAVERA_CRASH_REPORTER_CRASH_DATA_UPLOAD_H_
#define QUILLAVERA_CRASH_REPORTER_CRASH_DATA_UPLOAD_H_

#include <string>

#include "quillavera_crash_reporter/crash_info_params.h"
#include "upload/jov_upload/jov_upload_interfaces.h"

// The report's "resource" when the crash data was not stored.
extern const char kCrashUploadFailedResource[];

// What the token service is told: no context, the cookie as UTF-8, and
// "http://" + the parameters' "host" (empty when the key is missing).
jov_upload::StringMap MakeCrashUploadInformation(
    const std::wstring& cookie, const CrashInfoParams& params);

// Uploads |archive_path| with one retry. Returns whether it was stored, and
// sets params "resource" to its object key (logged as "Crash data url: ")
// or to "Upload Failed" (logged as "Crash data upload failed"). The archive
// itself is left where it is.
bool UploadCrashArchive(const std::wstring& archive_path,
                        const std::wstring& cookie, CrashInfoParams* params);

#endif  // QUILLAVERA_CRASH_REPORTER_CRASH_DATA_UPLOAD_H_
