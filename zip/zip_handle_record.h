// What a ZipHandle points at. Only the zip interface itself looks inside.

#ifndef ZIP_ZIP_HANDLE_RECORD_H_
#define ZIP_ZIP_HANDLE_RECORD_H_

#include <stdint.h>

const uint32_t kZipReaderHandleKind = 1;
const uint32_t kZipWriterHandleKind = 2;

struct ZipHandleRecord {
  uint32_t kind;
  // A ZipWriter for a writer handle; a reader's object for a reader handle.
  void* object;
};

#endif  // ZIP_ZIP_HANDLE_RECORD_H_
