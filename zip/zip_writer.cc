#include "zip/zip_writer.h"

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

// The most an entry can take, data descriptor included; without a known
// size, only what comes before and after the data.
uint64_t MostEntryBytes(size_t name_length, uint16_t method, int64_t size) {
  uint64_t bytes =
      kLocalHeaderSize + name_length + kLocalExtraSize + kDataDescriptorSize;
  if (size == EntrySource::kUnknownSize) return bytes;
  const uint64_t data = static_cast<uint64_t>(size);
  return bytes + (method == kMethodStored ? data : WorstDeflatedSize(data));
}

// The record as the local header first shows it: CRC and sizes are known
// only after the data, except a stored entry's size when the source knew
// it. A size not known is written as 0 (0xFFFFFFFF would mark Zip64).
EntryRecord NewRecord(const std::string& name, bool utf8_name,
                      uint16_t method, const EntrySource& source,
                      uint32_t offset) {
  EntryRecord record;
  record.name = name;
  record.method = method;
  // Both headers say how the name is stored; the flag outlives the entry's
  // later flag changes.
  record.flags = kFlagDataDescriptor | (utf8_name ? kFlagUtf8Name : 0);
  record.local_flags = record.flags;
  const bool size_known = source.size() != EntrySource::kUnknownSize;
  const uint32_t size = size_known ? static_cast<uint32_t>(source.size()) : 0;
  record.compressed_size = method == kMethodStored ? size : 0;
  record.uncompressed_size = size;
  record.external_attributes = source.external_attributes();
  record.local_header_offset = offset;
  const EntryTimes& times = source.times();
  record.dos_timestamp = times.dos_timestamp;
  record.modified = static_cast<uint32_t>(times.modified);
  record.accessed = static_cast<uint32_t>(times.accessed);
  record.created = static_cast<uint32_t>(times.created);
  return record;
}

// Separators are already '/' (see StoreName).
std::string ArchiveName(const std::string& given, bool folder) {
  std::string name = given;
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

ZipResult ZipWriter::Add(const StoredName& given_name, const void* source,
                         uint32_t length, uint32_t kind) {
  if (output_.error()) return kZipPreviousError;
  if (ended_) return kZipEnded;
  if (!output_.is_open()) return kZipNotInitialised;
  if (given_name.bytes.empty()) return kZipBadArguments;
  const bool folder = kind == kZipFolder;
  const std::string name = ArchiveName(given_name.bytes, folder);
  if (name.size() > kMaxEntryNameLength) return kZipBadArguments;
  const uint16_t method =
      folder || HasStoredSuffix(name) ? kMethodStored : kMethodDeflated;

  EntrySource entry_source;
  const ZipResult opened = entry_source.Open(source, length, kind);
  if (opened) return opened;
  // Refused before its header, so that the archive stays whole without it.
  if (records_.size() >= kMaxEntries ||
      !Fits(MostEntryBytes(name.size(), method, entry_source.size()),
            name.size())) {
    return kZipTooLarge;
  }
  const uint64_t entry_start = output_.end();
  EntryRecord record =
      NewRecord(name, given_name.utf8, method, entry_source,
                static_cast<uint32_t>(entry_start + output_.initial_offset()));
  // What the local header says of a stored entry's size before its data.
  const uint32_t announced_compressed = record.compressed_size;

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
