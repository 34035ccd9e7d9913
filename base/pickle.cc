#include "base/pickle.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/logging.h"

namespace base {

namespace {

// Rounds |value| up to a multiple of |unit| (a power of two); false when the
// result does not fit in size_t.
bool AlignUp(size_t value, size_t unit, size_t* result) {
  if (value > SIZE_MAX - (unit - 1)) return false;
  *result = (value + unit - 1) & ~(unit - 1);
  return true;
}

size_t AlignInt(size_t value) { return (value + 3) & ~static_cast<size_t>(3); }

uint32_t LoadU32(const void* from) {
  uint32_t value;
  memcpy(&value, from, sizeof(value));
  return value;
}

PickleReallocFunction g_realloc = &realloc;

}  // namespace

void SetPickleReallocForTesting(PickleReallocFunction function) {
  g_realloc = function ? function : &realloc;
}

// --- PickleIterator --------------------------------------------------------

PickleIterator::PickleIterator(const Pickle& pickle)
    : read_ptr_(pickle.payload()), read_end_ptr_(pickle.end_of_payload()) {}

size_t PickleIterator::RemainingBytes() const {
  if (!read_ptr_ || !read_end_ptr_ || read_ptr_ >= read_end_ptr_) return 0;
  return static_cast<size_t>(read_end_ptr_ - read_ptr_);
}

const char* PickleIterator::GetReadPointerAndAdvance(size_t needed) {
  const size_t remaining = RemainingBytes();
  if (!read_ptr_ || needed > remaining) return nullptr;
  const char* current = read_ptr_;
  // The padding of the last value may be missing from foreign data: stop at
  // the end instead of stepping past it.
  const size_t step = AlignInt(needed);
  read_ptr_ += step < remaining ? step : remaining;
  return current;
}

bool PickleIterator::ReadFixed(void* out, size_t size) {
  const char* from = GetReadPointerAndAdvance(size);
  if (!from) return false;
  memcpy(out, from, size);
  return true;
}

bool PickleIterator::ReadBool(bool* result) {
  const char* from = GetReadPointerAndAdvance(1);
  if (!from) return false;
  *result = *from != 0;
  return true;
}

bool PickleIterator::ReadInt(int* result) {
  return ReadFixed(result, sizeof(*result));
}

bool PickleIterator::ReadUInt16(uint16_t* result) {
  return ReadFixed(result, sizeof(*result));
}

bool PickleIterator::ReadUInt32(uint32_t* result) {
  return ReadFixed(result, sizeof(*result));
}

bool PickleIterator::ReadInt64(int64_t* result) {
  return ReadFixed(result, sizeof(*result));
}

bool PickleIterator::ReadUInt64(uint64_t* result) {
  return ReadFixed(result, sizeof(*result));
}

bool PickleIterator::ReadBytes(const char** data, int length) {
  if (length < 0) return false;
  const char* from = GetReadPointerAndAdvance(static_cast<size_t>(length));
  if (!from) return false;
  *data = from;
  return true;
}

bool PickleIterator::ReadData(const char** data, int* length) {
  *data = nullptr;
  *length = 0;
  int stored;
  if (!ReadInt(&stored) || stored < 0) return false;
  if (!ReadBytes(data, stored)) return false;
  *length = stored;
  return true;
}

bool PickleIterator::ReadString(std::string* result) {
  int length;
  if (!ReadInt(&length)) return false;
  const char* bytes;
  if (!ReadBytes(&bytes, length)) return false;
  result->assign(bytes, static_cast<size_t>(length));
  return true;
}

bool PickleIterator::ReadString16(string16* result) {
  int length;
  if (!ReadInt(&length) || length < 0 || length > INT_MAX / 2) return false;
  const char* bytes;
  if (!ReadBytes(&bytes, length * 2)) return false;
  result->resize(static_cast<size_t>(length));
  if (length > 0) memcpy(&(*result)[0], bytes, static_cast<size_t>(length) * 2);
  return true;
}

bool PickleIterator::ReadWString(std::wstring* result) {
  return ReadString16(result);
}

// --- Pickle ----------------------------------------------------------------

Pickle::Pickle()
    : header_(nullptr),
      header_size_(sizeof(Header)),
      capacity_(0),
      variable_buffer_offset_(0) {
  Resize(kPayloadUnit);
  SetPayloadSize(0);
}

Pickle::Pickle(int header_size)
    : header_(nullptr),
      header_size_(AlignInt(header_size > static_cast<int>(sizeof(Header))
                                ? static_cast<size_t>(header_size)
                                : sizeof(Header))),
      capacity_(0),
      variable_buffer_offset_(0) {
  // A header larger than one allocation unit gets the room it needs.
  Resize(header_size_ > kPayloadUnit ? header_size_ : kPayloadUnit);
  // A subclass's header fields start out zero rather than whatever the
  // allocator left there.
  if (header_) memset(header_, 0, header_size_);
}

Pickle::Pickle(const char* data, int data_len)
    : header_(reinterpret_cast<Header*>(const_cast<char*>(data))),
      header_size_(0),
      capacity_(kCapacityReadOnly),
      variable_buffer_offset_(0) {
  // The stored payload size comes from elsewhere: compare it unsigned, so a
  // payload larger than the data is refused rather than wrapping.
  if (data && data_len >= static_cast<int>(sizeof(Header))) {
    const size_t length = static_cast<size_t>(data_len);
    const size_t payload = LoadU32(data);
    if (payload <= length) header_size_ = length - payload;
  }
  if (header_size_ == 0 || header_size_ % 4 != 0) BecomeRefused();
}

Pickle::Pickle(const Pickle& other)
    : header_(nullptr),
      header_size_(other.header_size_),
      capacity_(0),
      variable_buffer_offset_(other.variable_buffer_offset_) {
  if (!other.header_) {
    BecomeRefused();
    return;
  }
  const bool resized = Resize(other.size());
  CHECK(resized);
  memcpy(header_, other.header_, other.size());
}

Pickle::~Pickle() {
  if (capacity_ != kCapacityReadOnly) free(header_);
}

Pickle& Pickle::operator=(const Pickle& other) {
  if (this == &other) return *this;
  CopyFrom(other);
  return *this;
}

void Pickle::CopyFrom(const Pickle& other) {
  if (capacity_ == kCapacityReadOnly) {
    header_ = nullptr;
    capacity_ = 0;
  }
  if (!other.header_) {
    free(header_);
    BecomeRefused();
    return;
  }
  if (header_size_ != other.header_size_) {
    free(header_);
    header_ = nullptr;
    capacity_ = 0;
    header_size_ = other.header_size_;
  }
  const bool resized = Resize(other.size());
  CHECK(resized);
  memcpy(header_, other.header_, other.size());
  variable_buffer_offset_ = other.variable_buffer_offset_;
}

void Pickle::BecomeRefused() {
  header_ = nullptr;
  header_size_ = 0;
  capacity_ = kCapacityReadOnly;
  variable_buffer_offset_ = 0;
}

size_t Pickle::payload_size() const {
  return header_ ? LoadU32(header_) : 0;
}

void Pickle::SetPayloadSize(size_t size) {
  if (!header_) return;
  const uint32_t value = static_cast<uint32_t>(size);
  memcpy(header_, &value, sizeof(value));
}

size_t Pickle::size() const {
  return header_ ? header_size_ + payload_size() : 0;
}

const char* Pickle::payload() const {
  return header_ ? reinterpret_cast<const char*>(header_) + header_size_
                 : nullptr;
}

const char* Pickle::end_of_payload() const {
  return header_ ? payload() + payload_size() : nullptr;
}

bool Pickle::Resize(size_t new_capacity) {
  CHECK_NE(capacity_, kCapacityReadOnly);
  if (!AlignUp(new_capacity, kPayloadUnit, &new_capacity)) return false;
  void* grown = g_realloc(header_, new_capacity);
  if (!grown) return false;
  header_ = static_cast<Header*>(grown);
  capacity_ = new_capacity;
  return true;
}

char* Pickle::BeginWrite(size_t length) {
  // Foreign bytes are the caller's, and their end is not ours to pass.
  if (!header_ || capacity_ == kCapacityReadOnly) return nullptr;
  // Every size is checked before it is used: the payload must stay within
  // its 32-bit size field and the allocation within size_t.
  const size_t offset = AlignInt(payload_size());
  if (length > UINT32_MAX - offset) return nullptr;
  const size_t new_payload = offset + length;
  if (new_payload > SIZE_MAX - header_size_) return nullptr;
  const size_t needed = header_size_ + new_payload;
  if (needed > capacity_) {
    const size_t doubled =
        capacity_ <= SIZE_MAX / 2 ? capacity_ * 2 : SIZE_MAX;
    if (!Resize(needed > doubled ? needed : doubled)) return nullptr;
  }
  SetPayloadSize(new_payload);
  return reinterpret_cast<char*>(header_) + header_size_ + offset;
}

void Pickle::EndWrite(char* dest, size_t length) {
  const size_t padded = AlignInt(length);
  if (padded > length) memset(dest + length, 0, padded - length);
}

bool Pickle::WriteBytes(const void* data, int length) {
  if (length < 0) return false;
  const size_t size = static_cast<size_t>(length);
  char* dest = BeginWrite(size);
  if (!dest) return false;
  if (size) memcpy(dest, data, size);
  EndWrite(dest, size);
  return true;
}

char* Pickle::BeginWriteWithLength(int length, size_t size) {
  if (size > SIZE_MAX - sizeof(int)) return nullptr;
  char* field = BeginWrite(sizeof(int) + size);
  if (!field) return nullptr;
  memcpy(field, &length, sizeof(length));
  return field + sizeof(int);
}

bool Pickle::WriteLengthAndBytes(int length, const void* data, size_t size) {
  char* dest = BeginWriteWithLength(length, size);
  if (!dest) return false;
  if (size) memcpy(dest, data, size);
  EndWrite(dest, size);
  return true;
}

bool Pickle::WriteData(const char* data, int length) {
  return length >= 0 &&
         WriteLengthAndBytes(length, data, static_cast<size_t>(length));
}

bool Pickle::WriteString(const std::string& value) {
  if (value.size() > static_cast<size_t>(INT_MAX)) return false;
  return WriteLengthAndBytes(static_cast<int>(value.size()), value.data(),
                             value.size());
}

bool Pickle::WriteString16(const string16& value) {
  // A reader refuses more than INT_MAX bytes of text, so writing more would
  // make a pickle nobody can read back.
  if (value.size() > static_cast<size_t>(INT_MAX / 2)) return false;
  return WriteLengthAndBytes(static_cast<int>(value.size()), value.data(),
                             value.size() * sizeof(string16::value_type));
}

char* Pickle::BeginWriteData(int length) {
  if (length < 0) return nullptr;
  const size_t size = static_cast<size_t>(length);
  char* dest = BeginWriteWithLength(length, size);
  if (!dest) return nullptr;
  memset(dest, 0, AlignInt(size));
  variable_buffer_offset_ =
      static_cast<size_t>(dest - reinterpret_cast<char*>(header_)) -
      sizeof(int);
  return dest;
}

void Pickle::TrimWriteData(int new_length) {
  if (variable_buffer_offset_ == 0 || new_length < 0) return;
  char* field = reinterpret_cast<char*>(header_) + variable_buffer_offset_;
  int current;
  memcpy(&current, field, sizeof(current));
  // Only while the variable buffer is the last value: trimming anything
  // written after it would cut that value instead.
  const size_t buffer_end =
      variable_buffer_offset_ - header_size_ + sizeof(int) + current;
  if (buffer_end != payload_size() || new_length >= current) return;
  const size_t cut = static_cast<size_t>(current - new_length);
  SetPayloadSize(payload_size() - cut);
  memcpy(field, &new_length, sizeof(new_length));
  EndWrite(field + sizeof(int), static_cast<size_t>(new_length));
}

// static
const char* Pickle::FindNext(size_t header_size, const char* start,
                             const char* end) {
  if (!start || !end || end < start) return nullptr;
  const size_t available = static_cast<size_t>(end - start);
  if (available < sizeof(Header) || header_size > available) return nullptr;
  const size_t payload = LoadU32(start);
  if (payload > available - header_size) return nullptr;
  return start + header_size + payload;
}

}  // namespace base
