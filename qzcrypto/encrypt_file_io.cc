#include "qzcrypto/encrypt_file_io.h"

#include <stdint.h>
#include <string.h>

#include <limits>
#include <new>

#include "qzcrypto/crypt_log.h"
#include "qzcrypto/crypt_types.h"

namespace qzcrypto {

const uint8_t kHeaderMagic[4] = {'K', 'X', 'Q', 'Z'};

namespace {

const size_t kMaxTransfer =
    static_cast<size_t>(std::numeric_limits<int32_t>::max());

}  // namespace

EncryptFileIOImpl::EncryptFileIOImpl() {}

EncryptFileIOImpl::~EncryptFileIOImpl() { Close(); }

int32_t EncryptFileIOImpl::SetKey(const uint8_t* data, size_t length) {
  if (!data || !length) return kCryptBadArguments;
  if (open_) return kCryptWrongState;
  if (!cryptor_) return kCryptNoCryptor;
  cryptor_->SetKey(data, length);
  key_byte_ = cryptor_->GetKeyByte();
  return kCryptOk;
}

int32_t EncryptFileIOImpl::SetCryptoType(uint32_t type) {
  // The open stream's bytes were keyed for the cryptor it has.
  if (open_) return kCryptWrongState;
  cryptor_ = CreateCryptor(static_cast<int32_t>(type));
  cryptor_type_ = type;
  return kCryptOk;
}

void EncryptFileIOImpl::SetWithHeader(bool with_header) {
  with_header_ = with_header;
}

int32_t EncryptFileIOImpl::Open(
    std::shared_ptr<IEncryptFileIOProvider> provider, uint32_t mode) {
  if (open_) return kCryptWrongState;
  if (!provider) return kCryptBadArguments;
  // Only whole-file writing and reading are streams of this kind.
  if (mode != kOpenWrite && mode != kOpenRead) return kCryptWrongState;
  provider_ = std::move(provider);
  mode_ = mode;
  data_offset_ = 0;
  const int32_t opened = provider_->Open(mode);
  if (opened != 0) {
    Log(kCryptLogError, "fopen failed with errono %d", opened);
    provider_.reset();
    return kCryptIoError;
  }
  if (cryptor_type_ != 0) {
    const int32_t header = mode == kOpenRead ? ReadHeader() : WriteHeader();
    if (header != kCryptOk) {
      // A stream that did not open holds no file.
      provider_->Close();
      provider_.reset();
      return header;
    }
    if (mode == kOpenRead) provider_->Seek(data_offset_, kSeekSet);
  }
  open_ = true;
  return kCryptOk;
}

int32_t EncryptFileIOImpl::Open(const char* path, uint32_t mode) {
  if (!path) return kCryptBadArguments;
  std::shared_ptr<IEncryptFileIOProvider> provider(
      new (std::nothrow) EncryptFileIOProvider(path));
  return Open(provider, mode);
}

int32_t EncryptFileIOImpl::WriteHeader() {
  if (!provider_) return kCryptWrongState;
  if (!with_header_) return kCryptOk;
  uint8_t header[kHeaderSize];
  memcpy(header, kHeaderMagic, sizeof(kHeaderMagic));
  header[4] = 0;
  header[5] = key_byte_;
  if (provider_->Write(header, kHeaderSize) < kHeaderSize) {
    Log(kCryptLogError, "write header failed");
    return kCryptIoError;
  }
  data_offset_ = kHeaderSize;
  return kCryptOk;
}

int32_t EncryptFileIOImpl::ReadHeader() {
  if (!provider_ || open_) return kCryptWrongState;
  if (!with_header_) return kCryptOk;
  if (!cryptor_) return kCryptNoCryptor;
  const int32_t position = provider_->Tell();
  const int32_t sought = provider_->Seek(0, kSeekSet);
  if (sought != 0) {
    Log(kCryptLogError, "seek failed with rc %d", sought);
    return kCryptIoError;
  }
  uint8_t header[kHeaderSize];
  int32_t result = kCryptOk;
  if (provider_->Read(header, kHeaderSize) < kHeaderSize) {
    Log(kCryptLogError, "file len < header");
    result = kCryptBadHeader;
  } else if (memcmp(header, kHeaderMagic, sizeof(kHeaderMagic)) != 0) {
    Log(kCryptLogError, "magic not match");
    result = kCryptBadHeader;
  } else {
    key_byte_ = header[5];
    data_offset_ = kHeaderSize;
    cryptor_->SetKey(&key_byte_, 1);
  }
  if (position >= 0) provider_->Seek(position, kSeekSet);
  return result;
}

int32_t EncryptFileIOImpl::Write(const uint8_t* data, size_t length) {
  if (!provider_ || !open_ || !cryptor_) return kCryptWrongState;
  if (!data || !length || length > kMaxTransfer) return kCryptBadArguments;
  if (write_buffer_.size() < length) {
    try {
      write_buffer_.resize(length);
    } catch (const std::bad_alloc&) {
      return kCryptIoError;
    }
  }
  cryptor_->Encrypt(data, write_buffer_.data(), length);
  const size_t written = provider_->Write(write_buffer_.data(), length);
  if (written == 0) return kCryptIoError;
  return static_cast<int32_t>(written);
}

int32_t EncryptFileIOImpl::GetSize() {
  if (!open_) return kCryptWrongState;
  const int32_t position = provider_->Tell();
  const int32_t sought = provider_->Seek(0, kSeekEnd);
  const int32_t size =
      sought == 0 ? provider_->Tell() - static_cast<int32_t>(data_offset_)
                  : sought;
  provider_->Seek(position, kSeekSet);
  return size;
}

int32_t EncryptFileIOImpl::Seek(int32_t offset) {
  if (!open_) return kCryptWrongState;
  // Offsets count from the payload: one before it would land in the header
  // (or before the file), and one past the largest position cannot be made.
  const int32_t data_offset = static_cast<int32_t>(data_offset_);
  if (offset < 0 || offset > INT32_MAX - data_offset) return kCryptBadArguments;
  return provider_->Seek(offset + data_offset, kSeekSet);
}

int32_t EncryptFileIOImpl::Tell() {
  if (!open_) return kCryptWrongState;
  const int32_t position = provider_->Tell();
  if (position < 0) return position;
  return position - static_cast<int32_t>(data_offset_);
}

int32_t EncryptFileIOImpl::Read(uint8_t* buffer, size_t length) {
  if (!provider_ || !open_ || !cryptor_) return kCryptWrongState;
  if (!buffer) return kCryptBadArguments;
  if (!length) return 0;
  if (length > kMaxTransfer) length = kMaxTransfer;
  const size_t count = provider_->Read(buffer, length);
  if (count > 0) {
    cryptor_->Decrypt(buffer, buffer, count);
    return static_cast<int32_t>(count);
  }
  return provider_->Eof() ? 0 : kCryptIoError;
}

int32_t EncryptFileIOImpl::Close() {
  int32_t result = kCryptOk;
  // A written file whose last bytes could not be flushed is no success.
  if (provider_ && provider_->Close() != 0 && open_ && mode_ == kOpenWrite)
    result = kCryptIoError;
  provider_.reset();
  open_ = false;
  return result;
}

std::unique_ptr<EncryptFileIO> CreateEncryptFileIO() {
  return std::unique_ptr<EncryptFileIO>(new (std::nothrow) EncryptFileIOImpl);
}

}  // namespace qzcrypto
