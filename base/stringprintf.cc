#include "base/stringprintf.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace base {

namespace {

// Results of this many characters or more are given up.
const size_t kMaxCharacters = 32 * 1024 * 1024;

// A text that keeps changing length between passes is given up after this
// many attempts.
const int kMaxAttempts = 8;

int NarrowEngine(char* buffer, size_t size, const char* format, va_list ap) {
  return ::vsnprintf(buffer, size, format, ap);
}

int WideEngine(wchar_t* buffer, size_t size, const wchar_t* format,
               va_list ap) {
  return ::vswprintf(buffer, size, format, ap);
}

// Formats with a fresh copy of ap, so that every pass reads the arguments
// from the start.
template <typename Char>
int FormatPass(int (*engine)(Char*, size_t, const Char*, va_list),
               Char* buffer, size_t size, const Char* format, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  const int result = engine(buffer, size, format, copy);
  va_end(copy);
  return result;
}

template <typename Str>
void StringAppendVT(int (*engine)(typename Str::value_type*, size_t,
                                  const typename Str::value_type*, va_list),
                    Str* dst, const typename Str::value_type* format,
                    va_list ap) {
  typedef typename Str::value_type Char;
  Char stack_buffer[1024];
  int result = FormatPass(engine, stack_buffer, 1024, format, ap);
  if (result >= 0 && result < 1024) {
    dst->append(stack_buffer, static_cast<size_t>(result));
    return;
  }
  // Some engines answer a cut-short text with -1, others with the length
  // the whole text needs; a counting pass settles it either way.
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    const int length = FormatPass<Char>(engine, nullptr, 0, format, ap);
    if (length < 0) return;
    const size_t size = static_cast<size_t>(length) + 1;
    if (size > kMaxCharacters) return;
    std::vector<Char> heap_buffer(size);
    result = FormatPass(engine, heap_buffer.data(), size, format, ap);
    if (result >= 0 && static_cast<size_t>(result) < size) {
      dst->append(heap_buffer.data(), static_cast<size_t>(result));
      return;
    }
  }
}

}  // namespace

std::string StringPrintf(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string result;
  StringAppendV(&result, format, ap);
  va_end(ap);
  return result;
}

std::wstring StringPrintf(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::wstring result;
  StringAppendV(&result, format, ap);
  va_end(ap);
  return result;
}

std::string StringPrintV(const char* format, va_list ap) {
  std::string result;
  StringAppendV(&result, format, ap);
  return result;
}

const std::string& SStringPrintf(std::string* dst, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  dst->clear();
  StringAppendV(dst, format, ap);
  va_end(ap);
  return *dst;
}

const std::wstring& SStringPrintf(std::wstring* dst, const wchar_t* format,
                                  ...) {
  va_list ap;
  va_start(ap, format);
  dst->clear();
  StringAppendV(dst, format, ap);
  va_end(ap);
  return *dst;
}

void StringAppendF(std::string* dst, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  StringAppendV(dst, format, ap);
  va_end(ap);
}

void StringAppendF(std::wstring* dst, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  StringAppendV(dst, format, ap);
  va_end(ap);
}

void StringAppendV(std::string* dst, const char* format, va_list ap) {
  StringAppendVT(&NarrowEngine, dst, format, ap);
}

void StringAppendV(std::wstring* dst, const wchar_t* format, va_list ap) {
  StringAppendVT(&WideEngine, dst, format, ap);
}

namespace internal {

void StringAppendVWithEngine(NarrowFormatEngine engine, std::string* dst,
                             const char* format, va_list ap) {
  StringAppendVT(engine, dst, format, ap);
}

void StringAppendVWithEngine(WideFormatEngine engine, std::wstring* dst,
                             const wchar_t* format, va_list ap) {
  StringAppendVT(engine, dst, format, ap);
}

}  // namespace internal

}  // namespace base
