// A growable binary message buffer. Values are appended in order, each
// aligned to 4 bytes and zero-padded, after a header whose first field is
// the payload size (unsigned 32-bit). A pickle can be copied as raw bytes and
// reopened read-only over foreign memory; such memory is input like any
// other, so every read is bounded by the payload and a malformed buffer is
// refused rather than trusted.

#ifndef BASE_PICKLE_H_
#define BASE_PICKLE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/string16.h"

namespace base {

class Pickle;

// Reads the values of a pickle back in the order they were written. Every
// read returns false, leaving its output untouched, when the value does not
// fit before the end of the payload; the read position never passes the end.
class PickleIterator {
 public:
  PickleIterator() : read_ptr_(nullptr), read_end_ptr_(nullptr) {}
  explicit PickleIterator(const Pickle& pickle);

  bool ReadBool(bool* result);
  bool ReadInt(int* result);
  bool ReadUInt16(uint16_t* result);
  bool ReadUInt32(uint32_t* result);
  bool ReadInt64(int64_t* result);
  bool ReadUInt64(uint64_t* result);
  bool ReadString(std::string* result);
  bool ReadWString(std::wstring* result);
  bool ReadString16(string16* result);
  // Points |data| into the pickle's buffer.
  bool ReadData(const char** data, int* length);
  bool ReadBytes(const char** data, int length);

  // Bytes left before the end of the payload.
  size_t RemainingBytes() const;

 private:
  // Reads |size| bytes of a fixed-size value and moves past its slot.
  bool ReadFixed(void* out, size_t size);
  // The read position when |needed| bytes remain, then advances by
  // |needed| rounded up to 4, clamped to the end; null otherwise.
  const char* GetReadPointerAndAdvance(size_t needed);

  const char* read_ptr_;
  const char* read_end_ptr_;
};

class Pickle {
 public:
  // Capacity of a pickle that reads foreign memory and owns nothing.
  static constexpr size_t kCapacityReadOnly = static_cast<size_t>(-1);
  // Allocation grows in units of this many bytes.
  static constexpr size_t kPayloadUnit = 64;

  // The header begins with this; a subclass may ask for a larger header.
  struct Header {
    uint32_t payload_size;
  };

  Pickle();
  // |header_size| is rounded up to a multiple of 4 (at least the header).
  explicit Pickle(int header_size);
  // A read-only pickle over |data_len| bytes of foreign memory, which must
  // outlive it. Data whose stored payload size does not leave a header of a
  // positive multiple of 4 bytes is refused: the pickle is then empty (no
  // buffer, header size 0) and every read fails.
  Pickle(const char* data, int data_len);
  Pickle(const Pickle& other);
  virtual ~Pickle();
  Pickle& operator=(const Pickle& other);

  // Header and payload, the bytes to copy elsewhere.
  size_t size() const;
  const void* data() const { return header_; }
  size_t payload_size() const;
  const char* payload() const;
  const char* end_of_payload() const;
  size_t header_size() const { return header_size_; }
  size_t capacity() const { return capacity_; }

  // Every write returns false and leaves the pickle as it was when the
  // buffer cannot grow or the pickle is read-only.
  bool WriteBool(bool value) { return WriteInt(value ? 1 : 0); }
  bool WriteInt(int value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteUInt16(uint16_t value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteUInt32(uint32_t value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteInt64(int64_t value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteUInt64(uint64_t value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteString(const std::string& value);
  bool WriteWString(const std::wstring& value) { return WriteString16(value); }
  bool WriteString16(const string16& value);
  // An int length, then the bytes. False for a negative length.
  bool WriteData(const char* data, int length);
  // The bytes alone, zero-padded to 4. False for a negative length.
  bool WriteBytes(const void* data, int length);

  // Opens a variable buffer: an int length field, then |length| zeroed
  // bytes that the caller fills through the returned pointer (valid until
  // the next write). Null for a negative length or a failed growth.
  char* BeginWriteData(int length);
  // Shortens the variable buffer opened last. Ignored unless that buffer is
  // still the last value written, or when |new_length| is negative or not
  // shorter than the current length.
  void TrimWriteData(int new_length);

  // The end of the pickle with a |header_size| header that begins at
  // |start|, or null when it does not lie wholly before |end|.
  static const char* FindNext(size_t header_size, const char* start,
                              const char* end);

 protected:
  // Makes room for a |length|-byte value at the next 4-byte boundary of the
  // payload and returns where to write it; null when the buffer cannot grow,
  // the payload would outgrow its 32-bit size field or the pickle reads
  // foreign memory.
  char* BeginWrite(size_t length);
  // Zero-fills from the end of a |length|-byte value to the next boundary.
  void EndWrite(char* dest, size_t length);
  bool Resize(size_t new_capacity);

 private:
  // Reserves an int length field and |size| bytes after it in one step, so
  // a failed growth leaves no half-written value behind. Returns where the
  // bytes go, with |length| already in the field.
  char* BeginWriteWithLength(int length, size_t size);
  bool WriteLengthAndBytes(int length, const void* data, size_t size);
  void SetPayloadSize(size_t size);
  // Leaves this pickle empty and read-only (a refused foreign buffer).
  void BecomeRefused();
  void CopyFrom(const Pickle& other);

  Header* header_;
  size_t header_size_;
  size_t capacity_;
  // Offset from the header of the open variable buffer's length field; 0
  // when none is open.
  size_t variable_buffer_offset_;
};

// Tests make the buffer's growth fail through this, as an exhausted heap
// would; null puts back the runtime's realloc.
using PickleReallocFunction = void* (*)(void* block, size_t size);
void SetPickleReallocForTesting(PickleReallocFunction function);

}  // namespace base

#endif  // BASE_PICKLE_H_
