#include "quillavera_crash_reporter/cookie_json.h"

#include "base/file_path.h"
#include "base/file_util.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "upload/text_helpers.h"
#include "qzcrypto/crypt_file_helper.h"

std::wstring FirstCookieField(const std::string& text) {
  const size_t start = text.find_first_not_of('&');
  if (start == std::string::npos) return std::wstring();
  const size_t end = text.find('&', start);
  return Utf8ToWide(text.substr(start, end == std::string::npos
                                           ? std::string::npos
                                           : end - start));
}

std::wstring ReadCookieJson() {
  const std::wstring dumps = GetDumpsFolder();
  // Unknown, it would name the drive's root.
  if (dumps.empty()) return std::wstring();
  const base::FilePath path(dumps + L"\\cookie_json");
  int64_t size = 0;
  if (!base::GetFileSize(path, &size) || size > kMaxCookieJsonBytes)
    return std::wstring();
  std::string text;
  if (!base::ReadFileToString(path, &text)) return std::wstring();
  CryptFileHelper::GetInstance()->DecryptBuffer(text, false);
  return FirstCookieField(text);
}
