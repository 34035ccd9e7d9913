// The on-disk records of a zip archive (32-bit fields, no Zip64): local
// header with its "UT" extra field, data descriptor, central record and end
// record, and the rule for which names are stored uncompressed.

#ifndef ZIP_ENTRY_FORMAT_H_
#define ZIP_ENTRY_FORMAT_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace zip {

const uint16_t kVersionMadeBy = 0x0B17;
const uint16_t kVersionNeeded = 20;
const uint16_t kMethodStored = 0;
const uint16_t kMethodDeflated = 8;
// Flag bit 3: CRC and sizes follow the data in a descriptor.
const uint16_t kFlagDataDescriptor = 8;

const size_t kLocalHeaderSize = 30;
const size_t kLocalExtraSize = 17;
const size_t kCentralRecordSize = 46;
const size_t kCentralExtraSize = 9;
const size_t kDataDescriptorSize = 16;
const size_t kEndRecordSize = 22;
// The longest name an entry record holds, in bytes.
const size_t kMaxEntryNameLength = 259;
const uint32_t kMaxEntries = 65535;

// External attributes: Unix mode in the high half, DOS bits in the low byte.
const uint32_t kUnixRegularFile = 0x80000000u;
const uint32_t kUnixDirectory = 0x40000000u;
const uint32_t kUnixOwnerRead = 0x01000000u;
const uint32_t kUnixOwnerWrite = 0x00800000u;
const uint32_t kUnixOwnerExecute = 0x00400000u;
const uint32_t kFolderEntryAttributes = 0x41C00010u;

// What the central directory keeps of one entry.
struct EntryRecord {
  uint16_t version_made_by = kVersionMadeBy;
  uint16_t version_needed = kVersionNeeded;
  uint16_t flags = 0;        // the central directory's
  uint16_t local_flags = 0;  // the local header's
  uint16_t method = kMethodDeflated;
  uint32_t dos_timestamp = 0;
  uint32_t crc = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint32_t local_header_offset = 0;
  // Low 32 bits of the Unix seconds of the "UT" fields.
  uint32_t modified = 0;
  uint32_t accessed = 0;
  uint32_t created = 0;
  std::string name;
};

// 30 bytes, the name and the 17-byte "UT" field (all three times).
std::string LocalHeaderBytes(const EntryRecord& record);
// 46 bytes, the name and the 9-byte "UT" field (modification time only).
std::string CentralRecordBytes(const EntryRecord& record);
size_t CentralRecordLength(size_t name_length);
std::string DataDescriptorBytes(const EntryRecord& record);
std::string EndRecordBytes(uint16_t entries, uint32_t directory_size,
                           uint32_t directory_offset);

// True when the text from the last '.' is ".Z", ".zip", ".zoo", ".arc",
// ".lzh", ".arj", ".gz" or ".tgz" (any case): already compressed data.
bool HasStoredSuffix(const std::string& name);

}  // namespace zip

#endif  // ZIP_ENTRY_FORMAT_H_
