// The flat, handle-based zip interface. Every operation returns a ZipResult
// (see zip_result.h) and stores it as its side's last result, which
// ZipResultMessage(kZipLastResult, ...) describes.

#ifndef ZIP_ZIP_INTERFACE_H_
#define ZIP_ZIP_INTERFACE_H_

#include <windows.h>
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

// Adds an entry named |name| ('\' as '/'; stored in the ANSI code page when
// that holds it exactly, else as UTF-8 with flag bit 11, see entry_name.h)
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

// ---- Reading ----

// One entry of an open archive. Times are local; sizes are the stored ones.
struct ZipEntry {
  int32_t index;
  // In the ANSI code page; a UTF-8 name (flag bit 11) is converted, with
  // '?' for what the code page lacks.
  char name[260];
  uint32_t attributes;  // Windows file attributes
  FILETIME access_time;
  FILETIME creation_time;
  FILETIME modification_time;
  int32_t compressed_size;
  int32_t uncompressed_size;
};

// The same with the name in UTF-16 (from UTF-8 when flag bit 11 says so,
// else from the ANSI code page).
struct ZipEntryW {
  int32_t index;
  wchar_t name[260];
  uint32_t attributes;
  FILETIME access_time;
  FILETIME creation_time;
  FILETIME modification_time;
  int32_t compressed_size;
  int32_t uncompressed_size;
};

// Opens the archive in |target|: an open disk-file handle (read through a
// duplicate, from its current position), a UTF-16 file name, or |length|
// bytes of memory. Files are extracted below |base_folder| (the current
// folder when null). Null on failure, with the reader's last result set:
// kZipCorrupt for bytes that are not a sound archive.
ZipHandle ZipOpenReader(const void* target, uint32_t length,
                        ZipSourceKind kind, const wchar_t* base_folder);

// Describes entry |index|; -1 describes the archive (the entry count in
// the index field, everything else empty).
ZipResult ZipGetItem(ZipHandle handle, int index, ZipEntry* entry);
ZipResult ZipGetItem(ZipHandle handle, int index, ZipEntryW* entry);

// Finds the entry named |name| (exactly, or ignoring the case of ASCII
// letters) and describes it. kZipNotFound and an index of -1 when none has
// that name.
ZipResult ZipFindItem(ZipHandle handle, const wchar_t* name, bool ignore_case,
                      int* index, ZipEntry* entry);
ZipResult ZipFindItem(ZipHandle handle, const wchar_t* name, bool ignore_case,
                      int* index, ZipEntryW* entry);

// Extracts entry |index| to |target|:
// - kZipMemory: up to |length| bytes into the buffer per call, kZipMoreData
//   while bytes come, then kZipOk (or kZipCorrupt when the data or its CRC
//   was bad) from the call that delivers nothing;
// - kZipHandle: the whole entry written to the handle (a folder entry
//   writes nothing);
// - kZipFileName: a UTF-16 path relative to the base folder; its folders
//   are made and the file gets the entry's attributes and times. A folder
//   entry makes its own folders instead. Rooted paths, drives and parent
//   references are refused, in |target| (kZipBadArguments) and in the
//   entry's name (kZipCorrupt).
// A bad CRC when writing to a handle or file gives kZipWriteFailed. An
// entry that would take what the reader extracted in all past its limit
// gives kZipExtractionLimit, whatever the kind (see ZipSetExtractionLimit).
// ZipUnzipItem takes a folder entry's name in the ANSI code page,
// ZipUnzipItemUtf8 in UTF-8; a name marked UTF-8 (flag bit 11) is taken as
// UTF-8 by both.
ZipResult ZipUnzipItem(ZipHandle handle, int index, const void* target,
                       uint32_t length, ZipSourceKind kind);
ZipResult ZipUnzipItemUtf8(ZipHandle handle, int index, const void* target,
                           uint32_t length, ZipSourceKind kind);

// Bounds what the reader extracts in all, counting what it already did
// (kDefaultExtractionLimit, 4 GiB, until set): an entry whose size would
// take the total past |bytes| gives kZipExtractionLimit, and nothing of it
// is written.
ZipResult ZipSetExtractionLimit(ZipHandle handle, uint64_t bytes);

// Closes the archive and frees the handle.
ZipResult ZipCloseReader(ZipHandle handle);

// ZipResultMessage's twin for the reader: kZipLastResult means the
// reader's last result.
uint32_t ZipReaderResultMessage(ZipResult code, char* buffer, uint32_t size);

// True for a reader handle and for null.
bool IsZipReaderHandle(ZipHandle handle);

#endif  // ZIP_ZIP_INTERFACE_H_
