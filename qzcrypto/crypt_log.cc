#include "qzcrypto/crypt_log.h"

#include <stdarg.h>
#include <stdio.h>
#include <windows.h>

#include <atomic>

namespace qzcrypto {

namespace {

const char kTag[] = "QzCryptor";
const size_t kLineSize = 4096;

std::atomic<int> g_min_level{kCryptLogError};

const char* LevelLetter(int level) {
  static const char* const kLetters[] = {"V", "D", "I", "W", "E", "F"};
  if (level < kCryptLogVerbose || level > kCryptLogFatal) return "?";
  return kLetters[level];
}

}  // namespace

void Log(int level, const char* format, ...) {
  if (!format || level < g_min_level.load()) return;
  char text[kLineSize] = {};
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  char line[kLineSize] = {};
  snprintf(line, sizeof(line), "[%s] [%s] %s\n", LevelLetter(level), kTag,
           text);
  OutputDebugStringA(line);
}

int SetLogLevel(int level) { return g_min_level.exchange(level); }

}  // namespace qzcrypto
