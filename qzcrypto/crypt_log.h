// The library's own diagnostics: "[<level letter>] [QzCryptor] <text>" lines
// on the debugger output. They never go through the product's log, so the
// log writer can use the library while it holds its lock.

#ifndef QZCRYPTO_CRYPT_LOG_H_
#define QZCRYPTO_CRYPT_LOG_H_

namespace qzcrypto {

// Levels 0-5 print as V, D, I, W, E, F.
enum CryptLogLevel {
  kCryptLogVerbose = 0,
  kCryptLogDebug = 1,
  kCryptLogInfo = 2,
  kCryptLogWarning = 3,
  kCryptLogError = 4,
  kCryptLogFatal = 5,
};

// printf-style; lines below the minimum level (initially kCryptLogError)
// are dropped, longer ones cut at 4096 bytes.
void Log(int level, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Returns the previous minimum level.
int SetLogLevel(int level);

}  // namespace qzcrypto

#endif  // QZCRYPTO_CRYPT_LOG_H_
