#include "zip/zip_result.h"

#include <string.h>

namespace zip {
namespace {

struct ResultText {
  ZipResult code;
  const char* text;
};

// The texts are part of the interface; callers show them as they are.
const ResultText kResultTexts[] = {
    {kZipOk, "Success"},
    {kZipDuplicateFailed, "Culdn't duplicate handle"},
    {kZipOpenFailed, "Couldn't create/open file"},
    {kZipNoMemory, "Failed to allocate memory"},
    {kZipWriteFailed, "Error writing to file"},
    {kZipNotFound, "File not found in the zipfile"},
    {kZipMoreData, "Still more data to unzip"},
    {kZipCorrupt, "Zipfile is corrupt or not a zipfile"},
    {kZipReadFailed, "Error reading file"},
    {kZipBadArguments, "Caller: faulty arguments"},
    {kZipNotMemory, "Caller: can only get memory of a memory zipfile"},
    {kZipMemorySize, "Caller: not enough space allocated for memory zipfile"},
    {kZipPreviousError, "Caller: there was a previous error"},
    {kZipEnded, "Caller: additions to the zip have already been ended"},
    {kZipSizeMismatch, "Zip-bug: the anticipated size turned out wrong"},
    {kZipPartlyUnzipped,
     "Caller: the file had already been partially unzipped"},
    {kZipWrongSide, "Caller: mixing creation and opening of zip"},
    {kZipTooLarge,
     "Caller: the zip would pass its 4 GiB or 65535-entry limit"},
    {kZipExtractionLimit,
     "Caller: unzipping would pass the limit on what is extracted"},
    {kZipNotInitialised, "Zip-bug: internal initialisation not completed"},
    {kZipSeekUnseekable, "Zip-bug: trying to seek the unseekable"},
    {kZipChangedMind, "Zip-bug: tried to change mind, but not allowed"},
    {kZipFlateError, "Zip-bug: an internal error during flation"},
};

}  // namespace

const char* ZipResultText(ZipResult code) {
  for (const ResultText& entry : kResultTexts) {
    if (entry.code == code) return entry.text;
  }
  return "unknown zip result code";
}

uint32_t CopyZipResultText(ZipResult code, char* buffer, uint32_t size) {
  const char* text = ZipResultText(code);
  const uint32_t length = static_cast<uint32_t>(strlen(text));
  if (buffer && size) {
    const uint32_t copied = length < size - 1 ? length : size - 1;
    memcpy(buffer, text, copied);
    buffer[copied] = '\0';
  }
  return length;
}

ZipResult& WriterLastResult() {
  static ZipResult last = kZipOk;
  return last;
}

ZipResult& ReaderLastResult() {
  static ZipResult last = kZipOk;
  return last;
}

}  // namespace zip
