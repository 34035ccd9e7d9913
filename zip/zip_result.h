// Result codes of the zip interface, shared by the writer and the reader,
// each with its fixed message, and the last result of each side.

#ifndef ZIP_ZIP_RESULT_H_
#define ZIP_ZIP_RESULT_H_

#include <stdint.h>

typedef uint32_t ZipResult;

// Passed to a message function, stands for that side's last result.
const ZipResult kZipLastResult = 1;

// Run-time failures of the platform or the data.
const ZipResult kZipOk = 0;
const ZipResult kZipDuplicateFailed = 0x100;
const ZipResult kZipOpenFailed = 0x200;
const ZipResult kZipNoMemory = 0x300;
const ZipResult kZipWriteFailed = 0x400;
const ZipResult kZipNotFound = 0x500;
const ZipResult kZipMoreData = 0x600;
const ZipResult kZipCorrupt = 0x700;
const ZipResult kZipReadFailed = 0x800;
// Caller errors.
const ZipResult kZipBadArguments = 0x10000;
const ZipResult kZipNotMemory = 0x20000;
const ZipResult kZipMemorySize = 0x30000;
const ZipResult kZipPreviousError = 0x40000;
const ZipResult kZipEnded = 0x50000;
const ZipResult kZipSizeMismatch = 0x60000;
const ZipResult kZipPartlyUnzipped = 0x70000;
const ZipResult kZipWrongSide = 0x80000;
// The archive has 32-bit fields only: an entry whose sizes or offsets would
// pass 4 GiB, or an entry past the 65535th, is refused before its header.
const ZipResult kZipTooLarge = 0x90000;
// The reader's bound on what it extracts in all: an entry that would take
// the total past it is refused before a byte of it is written.
const ZipResult kZipExtractionLimit = 0xA0000;
// Internal errors.
const ZipResult kZipNotInitialised = 0x1000000;
const ZipResult kZipSeekUnseekable = 0x2000000;
const ZipResult kZipChangedMind = 0x4000000;
const ZipResult kZipFlateError = 0x5000000;

namespace zip {

// The fixed text of |code|; "unknown zip result code" for any other.
const char* ZipResultText(ZipResult code);

// Copies min(length, size - 1) bytes of the text of |code| and a NUL into
// |buffer| (nothing when it is null or |size| is 0) and returns the full
// length, so that a caller can see the truncation.
uint32_t CopyZipResultText(ZipResult code, char* buffer, uint32_t size);

// The last result of each side, process-wide and unlocked: every call comes
// from one thread.
ZipResult& WriterLastResult();
ZipResult& ReaderLastResult();

}  // namespace zip

#endif  // ZIP_ZIP_RESULT_H_
