// Stand-in for the external stack walker: `dump_analyser.exe -c <dump>`
// reads the minidump and writes to standard output the lines the reporter
// reads: the crash reason and address from the exception stream, the crashed
// thread with frame 0 from its context and further frames found by scanning
// its stack for addresses inside loaded modules, then the loaded modules. A
// file that is no readable minidump gives a message on standard error and
// exit code 1.
//
// Told through the environment how to behave:
//   QV_DUMP_ANALYSER_TEMPLATE  a text file written in place of the dump's
//                              analysis; "{dump}" becomes the dump's name and
//                              "{size}" its size in bytes
//   QV_DUMP_ANALYSER_MODE      comma-separated:
//     silent        write nothing
//     slow=<ms>     write the first half, wait <ms>, write the rest
//     signal        signal "DumpAnalyserEventHandler" when done
//     signal-early  signal it before the pause, while text is still to come
//   QV_DUMP_ANALYSER_HOLD      a file path: after the first half, the walker
//                              creates "<path>.held" and waits (at most a
//                              minute) until <path> exists before the rest

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "testing/dump_analyser/minidump_reader.h"
#include "testing/dump_analyser/walker_text.h"

namespace {

struct Mode {
  bool silent = false;
  bool signal = false;
  bool signal_early = false;
  DWORD slow_ms = 0;
};

std::string Env(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

Mode ReadMode() {
  Mode mode;
  std::string text = Env("QV_DUMP_ANALYSER_MODE") + ",";
  size_t start = 0;
  for (size_t comma; (comma = text.find(',', start)) != std::string::npos;
       start = comma + 1) {
    std::string word = text.substr(start, comma - start);
    if (word == "silent") mode.silent = true;
    if (word == "signal") mode.signal = true;
    if (word == "signal-early") mode.signal_early = true;
    if (word.compare(0, 5, "slow=") == 0) {
      mode.slow_ms = static_cast<DWORD>(strtoul(word.c_str() + 5, nullptr, 10));
    }
  }
  return mode;
}

bool ReadFileText(const std::string& path, std::string* text) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  char buffer[4096];
  size_t read;
  while ((read = fread(buffer, 1, sizeof(buffer), file)) > 0) {
    text->append(buffer, read);
  }
  fclose(file);
  return true;
}

void ReplaceAll(std::string* text, const std::string& from,
                const std::string& to) {
  for (size_t at = 0; (at = text->find(from, at)) != std::string::npos;
       at += to.size()) {
    text->replace(at, from.size(), to);
  }
}

void SignalDone() {
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE,
                            L"DumpAnalyserEventHandler");
  if (!event) return;
  SetEvent(event);
  CloseHandle(event);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Tells the driver the walker is under way, then waits for its word.
void HoldUntilReleased(const std::string& release_path) {
  if (release_path.empty()) return;
  FILE* held = fopen((release_path + ".held").c_str(), "wb");
  if (held) fclose(held);
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (!FileExists(release_path) && GetTickCount64() < deadline) Sleep(20);
}

void Write(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "-c") {
    fprintf(stderr, "usage: dump_analyser -c <dump file>\n");
    return 2;
  }
  std::string dump_path = argv[2];
  std::string dump;
  if (!ReadFileText(dump_path, &dump)) {
    fprintf(stderr, "dump_analyser: cannot read %s\n", dump_path.c_str());
    return 1;
  }

  std::string text;
  std::string template_path = Env("QV_DUMP_ANALYSER_TEMPLATE");
  if (!template_path.empty()) {
    if (!ReadFileText(template_path, &text)) {
      fprintf(stderr, "dump_analyser: cannot read %s\n", template_path.c_str());
      return 1;
    }
  } else {
    Minidump minidump;
    std::string error;
    if (!minidump.Parse(dump, &error)) {
      fprintf(stderr, "dump_analyser: %s: %s\n", dump_path.c_str(),
              error.c_str());
      return 1;
    }
    text = MakeWalkerText(minidump);
  }
  size_t slash = dump_path.find_last_of("\\/");
  ReplaceAll(&text, "{dump}",
             slash == std::string::npos ? dump_path : dump_path.substr(slash + 1));
  ReplaceAll(&text, "{size}", std::to_string(dump.size()));

  Mode mode = ReadMode();
  if (!mode.silent) {
    size_t half = text.find('\n', text.size() / 2);
    half = half == std::string::npos ? text.size() : half + 1;
    Write(text.substr(0, half));
    if (mode.signal_early) SignalDone();
    Sleep(mode.slow_ms);
    HoldUntilReleased(Env("QV_DUMP_ANALYSER_HOLD"));
    Write(text.substr(half));
  } else {
    Sleep(mode.slow_ms);
  }
  if (mode.signal) SignalDone();
  return 0;
}
