// What the target of a new archive, or the source of an added entry, is.

#ifndef ZIP_ZIP_SOURCE_KIND_H_
#define ZIP_ZIP_SOURCE_KIND_H_

#include <stdint.h>

typedef uint32_t ZipSourceKind;

const ZipSourceKind kZipHandle = 1;    // an open Windows handle
const ZipSourceKind kZipFileName = 2;  // a UTF-16 file name
const ZipSourceKind kZipMemory = 3;    // bytes in memory
const ZipSourceKind kZipFolder = 4;    // a folder entry (adding only)

#endif  // ZIP_ZIP_SOURCE_KIND_H_
