// Opens a stdio file by a narrow path in the ANSI code page or in UTF-8.
// A narrow fopen reads its path in the ANSI code page, so a UTF-8 path is
// opened through the wide API instead.

#ifndef QZCRYPTO_PATH_OPEN_H_
#define QZCRYPTO_PATH_OPEN_H_

#include <stdio.h>

namespace qzcrypto {

enum class PathCodePage { kAnsi, kUtf8 };

// Null on failure, with errno set (EINVAL for a path that is not valid
// UTF-8).
FILE* OpenPath(const char* path, const char* mode, PathCodePage code_page);

// True when |a| and |b| both open and are one file, however they are spelled
// (another case, a second name of the file).
bool IsSameExistingFile(const char* a, const char* b, PathCodePage code_page);

}  // namespace qzcrypto

#endif  // QZCRYPTO_PATH_OPEN_H_
