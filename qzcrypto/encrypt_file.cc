#include "qzcrypto/encrypt_file.h"

#include <stdio.h>

#include <memory>
#include <new>

#include "qzcrypto/crypt_log.h"
#include "qzcrypto/encrypt_file_io.h"
#include "qzcrypto/path_open.h"

namespace qzcrypto {

namespace {

const size_t kEncryptChunk = 1024;
const size_t kDecryptChunk = 10240;

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

// Both files are closed, whatever the result: a file left open would keep
// its caller from deleting it. A written file that does not close cleanly
// may have lost its last bytes.
int32_t CloseAll(EncryptFileIO* stream, ScopedFile file, bool file_written,
                 int32_t result) {
  if (stream->Close() != kCryptOk && result == kCryptOk) result = kCryptIoError;
  if (file && fclose(file.release()) != 0 && file_written &&
      result == kCryptOk) {
    result = kCryptIoError;
  }
  return result;
}

bool HasKey(const CryptKey& key) { return key.data && key.length; }

// Writing the destination would cut the source before it is read.
bool IsOneFile(const char* src, const char* dst, PathCodePage code_page) {
  if (!IsSameExistingFile(src, dst, code_page)) return false;
  Log(kCryptLogError, "source and destination are one file");
  return true;
}

// A stream keyed for writing |dst|, opened; null with |result| set when it
// cannot be.
std::unique_ptr<EncryptFileIO> OpenForWriting(const CryptKey& key,
                                              const CryptOptions& options,
                                              const char* dst,
                                              PathCodePage code_page,
                                              int32_t* result) {
  std::unique_ptr<EncryptFileIO> stream = CreateEncryptFileIO();
  if (!stream) {
    *result = kCryptNoCryptor;
    return nullptr;
  }
  stream->SetWithHeader(options.with_header);
  stream->SetCryptoType(options.cryptor_type);
  *result = stream->SetKey(key.data, key.length);
  if (*result != kCryptOk) return nullptr;
  std::shared_ptr<IEncryptFileIOProvider> provider(
      new (std::nothrow) EncryptFileIOProvider(dst, code_page));
  *result = stream->Open(provider, kOpenWrite);
  if (*result != kCryptOk) return nullptr;
  return stream;
}

std::unique_ptr<EncryptFileIO> OpenForReading(const CryptKey& key,
                                              const CryptOptions& options,
                                              const char* src,
                                              PathCodePage code_page,
                                              int32_t* result) {
  std::unique_ptr<EncryptFileIO> stream = CreateEncryptFileIO();
  if (!stream) {
    *result = kCryptNoCryptor;
    return nullptr;
  }
  stream->SetCryptoType(options.cryptor_type);
  stream->SetWithHeader(options.with_header);
  // A header brings the key byte along.
  if (!options.with_header) {
    *result = stream->SetKey(key.data, key.length);
    if (*result != kCryptOk) return nullptr;
  }
  std::shared_ptr<IEncryptFileIOProvider> provider(
      new (std::nothrow) EncryptFileIOProvider(src, code_page));
  *result = stream->Open(provider, kOpenRead);
  if (*result != kCryptOk) return nullptr;
  return stream;
}

int32_t EncryptFileWith(const CryptKey& key, const CryptOptions& options,
                        const char* src, const char* dst,
                        PathCodePage code_page) {
  if (!HasKey(key) || !src || !dst) return kCryptBadArguments;
  if (IsOneFile(src, dst, code_page)) return kCryptBadArguments;
  ScopedFile source(OpenPath(src, "rb", code_page));
  if (!source) return kCryptIoError;
  int32_t result = kCryptOk;
  std::unique_ptr<EncryptFileIO> stream =
      OpenForWriting(key, options, dst, code_page, &result);
  if (!stream) return result;
  uint8_t chunk[kEncryptChunk];
  for (;;) {
    const size_t count = fread(chunk, 1, sizeof(chunk), source.get());
    if (count > 0 &&
        stream->Write(chunk, count) != static_cast<int32_t>(count)) {
      return CloseAll(stream.get(), std::move(source), false, kCryptIoError);
    }
    if (count < sizeof(chunk)) break;
  }
  // A source that stopped short is no source encrypted whole.
  if (ferror(source.get()))
    return CloseAll(stream.get(), std::move(source), false, kCryptIoError);
  return CloseAll(stream.get(), std::move(source), false, kCryptOk);
}

bool DecryptArgumentsValid(const CryptKey& key, const CryptOptions& options,
                           const char* src) {
  return src && (options.with_header || HasKey(key));
}

int32_t DecryptFileWith(const CryptKey& key, const CryptOptions& options,
                        const char* src, const char* dst,
                        PathCodePage code_page) {
  if (!DecryptArgumentsValid(key, options, src) || !dst)
    return kCryptBadArguments;
  if (IsOneFile(src, dst, code_page)) return kCryptBadArguments;
  // The source first: a destination that cannot be filled is not touched.
  int32_t result = kCryptOk;
  std::unique_ptr<EncryptFileIO> stream =
      OpenForReading(key, options, src, code_page, &result);
  if (!stream) return result;
  ScopedFile destination(OpenPath(dst, "wb", code_page));
  if (!destination)
    return CloseAll(stream.get(), nullptr, false, kCryptIoError);
  uint8_t chunk[kDecryptChunk];
  for (;;) {
    const int32_t count = stream->Read(chunk, sizeof(chunk));
    if (count == 0) break;
    if (count < 0)
      return CloseAll(stream.get(), std::move(destination), true,
                      kCryptIoError);
    if (fwrite(chunk, 1, count, destination.get()) !=
        static_cast<size_t>(count)) {
      return CloseAll(stream.get(), std::move(destination), true,
                      kCryptIoError);
    }
  }
  return CloseAll(stream.get(), std::move(destination), true, kCryptOk);
}

}  // namespace

int32_t EncryptFile(const CryptKey& key, const CryptOptions& options,
                    const char* src, const char* dst) {
  return EncryptFileWith(key, options, src, dst, PathCodePage::kAnsi);
}

int32_t EncryptFileUtf8(const CryptKey& key, const CryptOptions& options,
                        const char* src, const char* dst) {
  return EncryptFileWith(key, options, src, dst, PathCodePage::kUtf8);
}

int32_t DecryptFile(const CryptKey& key, const CryptOptions& options,
                    const char* src, const char* dst) {
  return DecryptFileWith(key, options, src, dst, PathCodePage::kAnsi);
}

int32_t DecryptFileUtf8(const CryptKey& key, const CryptOptions& options,
                        const char* src, const char* dst) {
  return DecryptFileWith(key, options, src, dst, PathCodePage::kUtf8);
}

int32_t DecryptFileToString(const CryptKey& key, const CryptOptions& options,
                            const char* src, std::string* plain) {
  if (!DecryptArgumentsValid(key, options, src) || !plain)
    return kCryptBadArguments;
  int32_t result = kCryptOk;
  std::unique_ptr<EncryptFileIO> stream =
      OpenForReading(key, options, src, PathCodePage::kAnsi, &result);
  if (!stream) return result;
  plain->clear();
  uint8_t chunk[kDecryptChunk];
  for (;;) {
    const int32_t count = stream->Read(chunk, sizeof(chunk));
    if (count == 0) break;
    if (count < 0) return CloseAll(stream.get(), nullptr, false, kCryptIoError);
    plain->append(reinterpret_cast<const char*>(chunk), count);
  }
  return CloseAll(stream.get(), nullptr, false, kCryptOk);
}

int32_t EncryptBufferToFile(const CryptKey& key, const CryptOptions& options,
                            const uint8_t* data, size_t length,
                            const char* dst) {
  if (!HasKey(key) || !dst || (!data && length)) return kCryptBadArguments;
  int32_t result = kCryptOk;
  std::unique_ptr<EncryptFileIO> stream =
      OpenForWriting(key, options, dst, PathCodePage::kAnsi, &result);
  if (!stream) return result;
  while (length > 0) {
    const size_t count = length < kEncryptChunk ? length : kEncryptChunk;
    if (stream->Write(data, count) != static_cast<int32_t>(count))
      return CloseAll(stream.get(), nullptr, false, kCryptIoError);
    data += count;
    length -= count;
  }
  return CloseAll(stream.get(), nullptr, false, kCryptOk);
}

}  // namespace qzcrypto
