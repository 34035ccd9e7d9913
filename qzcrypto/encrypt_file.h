// Whole-file encryption and decryption through the encrypted file stream.
//
// Paths are narrow text in the ANSI code page; the *Utf8 forms take UTF-8
// paths and open them through the wide API, so they reach every file name.
// Results: 0, -1 I/O (a file that does not open, a failed read or write),
// -2 bad arguments (among them a source and a destination that are one file,
// which is left untouched), -3 bad header, -5 no stream or cryptor.

#ifndef QZCRYPTO_ENCRYPT_FILE_H_
#define QZCRYPTO_ENCRYPT_FILE_H_

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include <string>

#include "qzcrypto/crypt_types.h"

// The Windows headers map these names onto their own file-encryption
// functions; here they name the library's.
#undef EncryptFile
#undef DecryptFile

namespace qzcrypto {

// Creates or truncates |dst| only once |src| is open.
int32_t EncryptFile(const CryptKey& key, const CryptOptions& options,
                    const char* src, const char* dst);
int32_t EncryptFileUtf8(const CryptKey& key, const CryptOptions& options,
                        const char* src, const char* dst);

// A headed source carries its key byte, so |key| is needed only without a
// header. Creates or truncates |dst| only once |src| is open.
int32_t DecryptFile(const CryptKey& key, const CryptOptions& options,
                    const char* src, const char* dst);
int32_t DecryptFileUtf8(const CryptKey& key, const CryptOptions& options,
                        const char* src, const char* dst);

// Decrypts |src| into |plain| (replaced).
int32_t DecryptFileToString(const CryptKey& key, const CryptOptions& options,
                            const char* src, std::string* plain);

// Writes |length| bytes at |data| encrypted into |dst|.
int32_t EncryptBufferToFile(const CryptKey& key, const CryptOptions& options,
                            const uint8_t* data, size_t length,
                            const char* dst);

}  // namespace qzcrypto

#endif  // QZCRYPTO_ENCRYPT_FILE_H_
