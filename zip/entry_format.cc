#include "zip/entry_format.h"

#include <string.h>

namespace zip {
namespace {

const uint32_t kLocalSignature = 0x04034B50;
const uint32_t kCentralSignature = 0x02014B50;
const uint32_t kDescriptorSignature = 0x08074B50;
const uint32_t kEndSignature = 0x06054B50;
// Modification, access and creation times present.
const uint8_t kUtFlags = 7;

void Put16(std::string* out, uint16_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>(value >> 8));
}

void Put32(std::string* out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value & 0xFFFF));
  Put16(out, static_cast<uint16_t>(value >> 16));
}

void PutUtHeader(std::string* out, uint16_t data_length, uint32_t modified) {
  out->append("UT");
  Put16(out, data_length);
  out->push_back(static_cast<char>(kUtFlags));
  Put32(out, modified);
}

void PutTimeCrcSizes(std::string* out, const EntryRecord& record) {
  Put32(out, record.dos_timestamp);
  Put32(out, record.crc);
  Put32(out, record.compressed_size);
  Put32(out, record.uncompressed_size);
}

uint16_t NameLength(const EntryRecord& record) {
  return static_cast<uint16_t>(record.name.size());
}

}  // namespace

std::string LocalHeaderBytes(const EntryRecord& record) {
  std::string out;
  Put32(&out, kLocalSignature);
  Put16(&out, record.version_needed);
  Put16(&out, record.local_flags);
  Put16(&out, record.method);
  PutTimeCrcSizes(&out, record);
  Put16(&out, NameLength(record));
  Put16(&out, kLocalExtraSize);
  out.append(record.name);
  PutUtHeader(&out, kLocalExtraSize - 4, record.modified);
  Put32(&out, record.accessed);
  Put32(&out, record.created);
  return out;
}

std::string CentralRecordBytes(const EntryRecord& record) {
  std::string out;
  Put32(&out, kCentralSignature);
  Put16(&out, record.version_made_by);
  Put16(&out, record.version_needed);
  Put16(&out, record.flags);
  Put16(&out, record.method);
  PutTimeCrcSizes(&out, record);
  Put16(&out, NameLength(record));
  Put16(&out, kCentralExtraSize);
  Put16(&out, 0);  // comment length
  Put16(&out, 0);  // disk number start
  Put16(&out, record.internal_attributes);
  Put32(&out, record.external_attributes);
  Put32(&out, record.local_header_offset);
  out.append(record.name);
  PutUtHeader(&out, kCentralExtraSize - 4, record.modified);
  return out;
}

size_t CentralRecordLength(size_t name_length) {
  return kCentralRecordSize + name_length + kCentralExtraSize;
}

std::string DataDescriptorBytes(const EntryRecord& record) {
  std::string out;
  Put32(&out, kDescriptorSignature);
  Put32(&out, record.crc);
  Put32(&out, record.compressed_size);
  Put32(&out, record.uncompressed_size);
  return out;
}

std::string EndRecordBytes(uint16_t entries, uint32_t directory_size,
                           uint32_t directory_offset) {
  std::string out;
  Put32(&out, kEndSignature);
  Put16(&out, 0);  // this disk
  Put16(&out, 0);  // the directory's disk
  Put16(&out, entries);
  Put16(&out, entries);
  Put32(&out, directory_size);
  Put32(&out, directory_offset);
  Put16(&out, 0);  // comment length
  return out;
}

bool HasStoredSuffix(const std::string& name) {
  static const char* const kStoredSuffixes[] = {
      ".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const char* suffix = name.c_str() + dot;
  for (const char* stored : kStoredSuffixes) {
    if (_stricmp(suffix, stored) == 0) return true;
  }
  return false;
}

}  // namespace zip
