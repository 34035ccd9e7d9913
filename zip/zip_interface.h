// The flat, handle-based zip interface. Every operation returns a ZipResult
// (see zip_result.h) and stores it as its side's last result, which
// ZipResultMessage(kZipLastResult, ...) describes.

#ifndef ZIP_ZIP_INTERFACE_H_
#define ZIP_ZIP_INTERFACE_H_

#include <stdint.h>

#include "zip/zip_result.h"
#include "zip/zip_source_kind.h"

struct ZipHandleRecord;
// Null stands for no archive.
typedef ZipHandleRecord* ZipHandle;

// A new archive on |target|: a handle (written through a duplicate), a
// UTF-16 file name (created, replacing any file), or memory (|target| a
// buffer of |length| bytes, or null for memory the writer allocates; it
// grows either way). Null on failure.
ZipHandle ZipCreate(const void* target, uint32_t length, ZipSourceKind kind);

// Adds an entry named |name| (stored in the ANSI code page, '\' as '/')
// from |source|: a handle (|length| the data size of a handle that is not a
// disk file, 0 when unknown), a UTF-16 file name, |length| bytes of memory,
// or nothing for a folder entry.
ZipResult ZipAddEntry(ZipHandle handle, const wchar_t* name,
                      const void* source, uint32_t length, ZipSourceKind kind);

// Adds the files under |root|\|relative|, recursively, named by their path
// from |root|, after a folder entry for |relative|. A null |relative| adds
// the files of |root| itself under their bare names. False on the first
// failure.
bool ZipAddFolderContent(ZipHandle handle, const wchar_t* root,
                         const wchar_t* relative);

// Writes the central directory (unless ZipGetMemory did), releases
// everything and frees the handle, whatever the result. The result is the
// directory's, so a failed write is never reported as success.
ZipResult ZipCloseWriter(ZipHandle handle);

// Ends the archive (writing its central directory) and reports its memory
// and total length; the memory stays valid until ZipCloseWriter. An archive
// not in memory gives kZipNotMemory, a null pointer and its length.
ZipResult ZipGetMemory(ZipHandle handle, const void** data, uint32_t* size);

// Copies the message of |code| (the writer's last result for
// kZipLastResult), cut to |size| - 1 bytes and NUL-terminated, and returns
// its full length.
uint32_t ZipResultMessage(ZipResult code, char* buffer, uint32_t size);

// True for a writer handle and for null.
bool IsZipWriterHandle(ZipHandle handle);

// Closes a reader handle. No reader exists yet, so it recognises none: null
// and unknown handles give kZipBadArguments, a writer handle kZipWrongSide.
ZipResult ZipCloseReader(ZipHandle handle);

#endif  // ZIP_ZIP_INTERFACE_H_
