// The cookie the client application leaves, encrypted, in the dumps folder
// as "cookie_json".

#ifndef QUILLAVERA_CRASH_REPORTER_COOKIE_JSON_H_
#define QUILLAVERA_CRASH_REPORTER_COOKIE_JSON_H_

#include <stdint.h>

#include <string>

// The client writes "cookie_json": a larger file is not read at all.
const int64_t kMaxCookieJsonBytes = 1024 * 1024;

// The first '&'-separated field of the decrypted "cookie_json" (runs of '&'
// separate, empty fields do not count), from UTF-8. Empty when the file is
// missing, too large or holds no field.
std::wstring ReadCookieJson();

// The first field of decrypted cookie text, as ReadCookieJson takes it.
std::wstring FirstCookieField(const std::string& text);

#endif  // QUILLAVERA_CRASH_REPORTER_COOKIE_JSON_H_
