// One JSON object per output line: how the crash test programs tell their
// driver what they saw.
#ifndef TESTING_CRASH_COMMON_JSON_LINE_H_
#define TESTING_CRASH_COMMON_JSON_LINE_H_

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace crash_testing {

inline std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                 static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string result(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                      &result[0], size, nullptr, nullptr);
  return result;
}

// Milliseconds of the system clock, comparable across processes.
inline uint64_t SystemTimeMs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return ((static_cast<uint64_t>(now.dwHighDateTime) << 32) |
          now.dwLowDateTime) /
         10000;
}

class JsonLine {
 public:
  explicit JsonLine(const char* event) { Add("event", std::string(event)); }

  JsonLine& Add(const char* key, const std::string& value) {
    Key(key);
    text_ += Quote(value);
    return *this;
  }
  JsonLine& Add(const char* key, const std::wstring& value) {
    return Add(key, WideToUtf8(value));
  }
  JsonLine& Add(const char* key, uint64_t value) {
    Key(key);
    text_ += std::to_string(value);
    return *this;
  }
  JsonLine& Add(const char* key, bool value) {
    Key(key);
    text_ += value ? "true" : "false";
    return *this;
  }
  JsonLine& AddNull(const char* key) {
    Key(key);
    text_ += "null";
    return *this;
  }
  // |object| is already JSON text.
  JsonLine& AddRaw(const char* key, const std::string& object) {
    Key(key);
    text_ += object;
    return *this;
  }

  // The object as JSON text, without the line end.
  std::string Text() const { return text_ + "}"; }

  void Print() const {
    fputs((text_ + "}\n").c_str(), stdout);
    fflush(stdout);
  }

  static std::string Quote(const std::string& value) {
    std::string quoted = "\"";
    for (unsigned char c : value) {
      if (c == '"' || c == '\\') {
        quoted += '\\';
        quoted += static_cast<char>(c);
      } else if (c < 0x20) {
        char escape[8];
        snprintf(escape, sizeof(escape), "\\u%04x", c);
        quoted += escape;
      } else {
        quoted += static_cast<char>(c);
      }
    }
    return quoted + "\"";
  }

 private:
  void Key(const char* key) {
    text_ += first_ ? "{" : ", ";
    first_ = false;
    text_ += Quote(key) + ": ";
  }

  std::string text_;
  bool first_ = true;
};

}  // namespace crash_testing

#endif  // TESTING_CRASH_COMMON_JSON_LINE_H_
