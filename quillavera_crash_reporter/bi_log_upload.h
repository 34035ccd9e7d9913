// Posting the BI log: the plain BI file is packed into "\BI.zip" in the data
// folder and posted to the feedback log endpoint with the user's cookie.

#ifndef QUILLAVERA_CRASH_REPORTER_BI_LOG_UPLOAD_H_
#define QUILLAVERA_CRASH_REPORTER_BI_LOG_UPLOAD_H_

#include <stdint.h>

#include <string>
#include <vector>

// Packs |file| (whatever its age) into |zip_path| and posts it as the file
// part "crashInfo" with the header "Cookie" (CR and LF taken out), trying
// once more when the first post fails. True when the post was accepted.
// False, with nothing posted, when nothing could be packed; false with the
// "upload error:" debugger line when both posts failed. The archive is
// deleted in every case: it holds the records in plain text, and they stay
// in the encrypted backup until delivered.
bool UploadCrashData(const std::wstring& cookie, const std::wstring& file,
                     const std::wstring& zip_path);

// Uploads the BI log as the crash handling flow does after its records:
// decrypts the BI backup beside the plain BI file, posts the plain copy and
// deletes the backup after success; a backup that does not decrypt leaves
// the plain file as the records left it, and that is posted (the backup,
// whose records it may lack, then stays). The backup stays when the post
// failed, for the next start to restore. Nothing without a data folder.
void UploadBiLog(const std::wstring& cookie);

// Writes a memory-monitor record and uploads the BI log with the cookie of
// "cookie_json".
void ReportMemoryMonitor(uint32_t process_type, uint32_t pid, uint32_t period,
                         const std::vector<uint32_t>& samples);

#endif  // QUILLAVERA_CRASH_REPORTER_BI_LOG_UPLOAD_H_
