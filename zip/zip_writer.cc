#include "zip/zip_writer.h"

#include <algorithm>

#include "zip/deflate.h"
#include "zip/entry_source.h"
#include "zip/zip_source_kind.h"

namespace zip {
namespace {

// No Zip64: every offset and size the archive stores is 32 bits.
const uint64_t kMaxArchiveBytes = 0xFFFFFFFFu;

// More than the compressor can produce from |size| bytes: its blocks hold
// at least 4096 bytes, and a stored block costs 5 bytes of its own.
uint64_t WorstDeflatedSize(uint64_t size) { return size + size / 512 + 64; }

std::string ArchiveName(const std::string& given, bool folder) {
  std::string name = given;
  std::replace(name.begin(), name.end(), '\\', '/');
  if (folder && name.back() != '/') name.push_back('/');
  return name;
}

}  // namespace

// Carries one entry's data from its source to the output, and stops it
// before the archive would pass what its 32-bit fields can describe.
struct ZipWriter::EntryIo {
  ZipWriter* writer;
  EntrySource* source;
  // The archive may not grow past this while the data is written.
  uint64_t output_limit;
  bool too_large = false;

  int64_t Read(uint8_t* buffer, uint32_t size) {
    const int64_t got = source->Read(buffer, size);
    if (got > 0 && source->bytes_read() > kMaxArchiveBytes) {
      too_large = true;
      return EntrySource::kReadError;
    }
    return got;
  }

  bool Write(const uint8_t* data, uint32_t size) {
    if (writer->output_.end() + size > output_limit) {
      too_large = true;
      return false;
    }
    return writer->output_.Write(data, size);
  }

  static uint32_t ReadForDeflate(void* context, uint8_t* buffer,
                                 uint32_t size) {
    const int64_t got = static_cast<EntryIo*>(context)->Read(buffer, size);
    return got < 0 ? kDeflateReadError : static_cast<uint32_t>(got);
  }

  static bool WriteForDeflate(void* context, const uint8_t* data,
                              uint32_t size) {
    return static_cast<EntryIo*>(context)->Write(data, size);
  }
};

ZipWriter::~ZipWriter() { output_.Close(); }

ZipResult ZipWriter::Create(const void* target, uint32_t length,
                            uint32_t kind) {
  if (output_.is_open() || ended_) return kZipNotInitialised;
  switch (kind) {
    case kZipHandle:
      return output_.OpenHandle(const_cast<void*>(target));
    case kZipFileName:
      if (!target) return kZipBadArguments;
      return output_.OpenFile(static_cast<const wchar_t*>(target));
    case kZipMemory:
      return output_.OpenMemory(const_cast<void*>(target), length);
    default:
      return kZipBadArguments;
  }
}

ZipResult ZipWriter::ErrorOr(ZipResult code) const {
  return output_.error() ? output_.error() : code;
}

uint64_t ZipWriter::DirectoryReserve(size_t name_length) const {
  return directory_bytes_ + CentralRecordLength(name_length) + kEndRecordSize;
}

bool ZipWriter::Fits(uint64_t entry_bytes, size_t name_length) const {
  return output_.initial_offset() + output_.end() + entry_bytes +
             DirectoryReserve(name_length) <=
         kMaxArchiveBytes;
}

ZipResult ZipWriter::Add(const std::string& given_name, const void* source,
                         uint32_t length, uint32_t kind) {
  if (output_.error()) return kZipPreviousError;
  if (ended_) return kZipEnded;
  if (!output_.is_open()) return kZipNotInitialised;
  if (given_name.empty()) return kZipBadArguments;
  const bool folder = kind == kZipFolder;
  EntryRecord record;
  record.name = ArchiveName(given_name, folder);
  if (record.name.size() > kMaxEntryNameLength) return kZipBadArguments;
  record.method =
      folder || HasStoredSuffix(record.name) ? kMethodStored : kMethodDeflated;

  EntrySource entry_source;
  const ZipResult opened = entry_source.Open(source, length, kind);
  if (opened) return opened;
  const int64_t size = entry_source.size();
  const bool size_known = size != EntrySource::kUnknownSize;

  // Refused before its header, so that the archive stays whole without it.
  uint64_t entry_bytes = kLocalHeaderSize + record.name.size() +
                         kLocalExtraSize + kDataDescriptorSize;
  if (size_known) {
    entry_bytes += record.method == kMethodStored
                       ? static_cast<uint64_t>(size)
                       : WorstDeflatedSize(static_cast<uint64_t>(size));
  }
  if (records_.size() >= kMaxEntries || !Fits(entry_bytes, record.name.size()))
    return kZipTooLarge;

  record.flags = kFlagDataDescriptor;
  record.local_flags = kFlagDataDescriptor;
  const EntryTimes& times = entry_source.times();
  record.dos_timestamp = times.dos_timestamp;
  const uint32_t announced_compressed =
      record.method == kMethodStored && size_known ? static_cast<uint32_t>(size)
                                                   : 0;
  record.compressed_size = announced_compressed;
  record.uncompressed_size = size_known ? static_cast<uint32_t>(size) : 0;
  record.external_attributes = entry_source.external_attributes();
  const uint64_t entry_start = output_.end();
  record.local_header_offset =
      static_cast<uint32_t>(entry_start + output_.initial_offset());
  record.modified = static_cast<uint32_t>(times.modified);
  record.accessed = static_cast<uint32_t>(times.accessed);
  record.created = static_cast<uint32_t>(times.created);

  const std::string header = LocalHeaderBytes(record);
  ZipResult result = kZipOk;
  if (!output_.Write(header.data(), static_cast<uint32_t>(header.size())))
    result = ErrorOr(kZipWriteFailed);
  if (result == kZipOk) result = WriteData(&entry_source, &record);
  if (result == kZipOk)
    return FinishEntry(&record, entry_start, announced_compressed);
  // A reader that walks the local headers would stumble on a half entry.
  if (output_.seekable()) output_.TruncateTo(entry_start);
  return result;
}

ZipResult ZipWriter::WriteData(EntrySource* source, EntryRecord* record) {
  const uint64_t data_start = output_.end();
  EntryIo io{this, source,
             kMaxArchiveBytes - output_.initial_offset() -
                 DirectoryReserve(record->name.size()) - kDataDescriptorSize};
  const ZipResult result = record->method == kMethodDeflated
                               ? Deflate(&io, record)
                               : CopyStored(&io);
  // A failed write outranks everything: the output is no longer sound.
  if (output_.error()) return output_.error();
  if (io.too_large) return kZipTooLarge;
  if (result) return result;
  record->crc = source->crc();
  record->compressed_size = static_cast<uint32_t>(output_.end() - data_start);
  record->uncompressed_size = static_cast<uint32_t>(source->bytes_read());
  return kZipOk;
}

ZipResult ZipWriter::CopyStored(EntryIo* io) {
  for (;;) {
    const int64_t got = io->Read(buffer_, sizeof(buffer_));
    if (got < 0) return kZipReadFailed;
    if (got == 0) return kZipOk;
    if (!io->Write(buffer_, static_cast<uint32_t>(got))) return kZipWriteFailed;
  }
}

ZipResult ZipWriter::Deflate(EntryIo* io, EntryRecord* record) {
  DeflateIo deflate_io;
  deflate_io.context = io;
  deflate_io.read = &EntryIo::ReadForDeflate;
  deflate_io.write = &EntryIo::WriteForDeflate;
  uint16_t internal_attributes = record->internal_attributes;
  const DeflateOutcome outcome =
      DeflateEntry(deflate_io, buffer_, sizeof(buffer_), &internal_attributes,
                   &record->flags);
  record->internal_attributes = internal_attributes;
  switch (outcome.status) {
    case DeflateStatus::kOk:
      return kZipOk;
    case DeflateStatus::kReadError:
      return kZipReadFailed;
    case DeflateStatus::kWriteError:
    case DeflateStatus::kInternalError:
      // A failed internal check reaches the caller as a failed write.
      return kZipWriteFailed;
  }
  return kZipWriteFailed;
}

ZipResult ZipWriter::FinishEntry(EntryRecord* record, uint64_t entry_start,
                                 uint32_t announced_compressed) {
  if (output_.seekable()) {
    // The real CRC and sizes go into the local header; no descriptor.
    if (!(record->flags & 1)) record->flags &= ~kFlagDataDescriptor;
    record->local_flags = record->flags;
    const uint64_t end = output_.end();
    const std::string header = LocalHeaderBytes(*record);
    if (!output_.SeekTo(entry_start)) return output_.error();
    if (!output_.Write(header.data(), static_cast<uint32_t>(header.size())))
      return ErrorOr(kZipWriteFailed);
    if (!output_.SeekTo(end)) return output_.error();
  } else {
    // A stored entry's size went out in its header and cannot change now.
    if (record->method == kMethodStored &&
        record->compressed_size != announced_compressed) {
      return kZipChangedMind;
    }
    const std::string descriptor = DataDescriptorBytes(*record);
    if (!output_.Write(descriptor.data(),
                       static_cast<uint32_t>(descriptor.size()))) {
      return ErrorOr(kZipWriteFailed);
    }
    // The central record says what the local header says.
    record->flags = record->local_flags;
  }
  directory_bytes_ += CentralRecordLength(record->name.size());
  records_.push_back(*record);
  return kZipOk;
}

ZipResult ZipWriter::WriteCentralDirectory() {
  if (output_.seekable() && !output_.SeekTo(output_.end()))
    return kZipWriteFailed;
  const uint64_t start = output_.end();
  bool written = true;
  for (const EntryRecord& record : records_) {
    const std::string bytes = CentralRecordBytes(record);
    if (!output_.Write(bytes.data(), static_cast<uint32_t>(bytes.size()))) {
      written = false;
      break;
    }
  }
  if (written) {
    const std::string end = EndRecordBytes(
        static_cast<uint16_t>(records_.size()),
        static_cast<uint32_t>(output_.end() - start),
        static_cast<uint32_t>(start + output_.initial_offset()));
    written = output_.Write(end.data(), static_cast<uint32_t>(end.size()));
  }
  records_.clear();
  return written ? kZipOk : kZipWriteFailed;
}

ZipResult ZipWriter::EndArchive() {
  if (!ended_) {
    directory_result_ = WriteCentralDirectory();
    ended_ = true;
  }
  return directory_result_;
}

ZipResult ZipWriter::GetMemory(const void** data, uint32_t* length) {
  const ZipResult ended = output_.is_open() ? EndArchive() : kZipNotInitialised;
  if (length) *length = static_cast<uint32_t>(output_.end());
  if (!output_.is_memory()) {
    if (data) *data = nullptr;
    return kZipNotMemory;
  }
  if (data) *data = output_.memory();
  return ended;
}

ZipResult ZipWriter::Close() {
  const ZipResult ended = output_.is_open() ? EndArchive() : kZipNotInitialised;
  ended_ = true;
  output_.Close();
  return ended;
}

}  // namespace zip
