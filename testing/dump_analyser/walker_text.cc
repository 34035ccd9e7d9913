#include "testing/dump_analyser/walker_text.h"

#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

const uint32_t kAccessViolation = 0xc0000005;
const uint32_t kInPageError = 0xc0000006;
// Frames found by scanning stop here; a real stack holds many stale words.
const int kMaxScannedFrames = 30;

std::string Hex(uint64_t value, int digits = 0) {
  char text[32];
  snprintf(text, sizeof(text), "0x%0*llx", digits,
           static_cast<unsigned long long>(value));
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// " 0  module.exe + 0x1a2b", or the bare address outside every module.
std::string FrameLine(const Minidump& dump, int index, uint64_t address) {
  char number[16];
  snprintf(number, sizeof(number), "%2d  ", index);
  const DumpModule* module = dump.ModuleAt(address);
  if (!module) return number + Hex(address);
  return number + BaseName(module->name) + " + " + Hex(address - module->base);
}

const DumpThread* FindThread(const Minidump& dump, uint32_t id, int* index) {
  for (size_t i = 0; i < dump.threads().size(); ++i) {
    if (dump.threads()[i].id == id) {
      *index = static_cast<int>(i);
      return &dump.threads()[i];
    }
  }
  return nullptr;
}

// Frame 0 from the context, then every stack word above the stack pointer
// that points into a loaded module.
std::string CrashedThreadText(const Minidump& dump, const DumpThread* thread,
                              int index, const std::string& context) {
  std::string text = "Thread " + std::to_string(index) + " (crashed)\n";
  uint64_t rip = 0, rsp = 0, rbp = 0, rax = 0;
  if (!ContextRegister(context, kContextRip, &rip)) {
    return text + " 0  0x0\n    Found by: no context\n";
  }
  ContextRegister(context, kContextRsp, &rsp);
  ContextRegister(context, kContextRbp, &rbp);
  ContextRegister(context, kContextRax, &rax);
  text += FrameLine(dump, 0, rip) + "\n";
  text += "    rip = " + Hex(rip, 16) + "   rsp = " + Hex(rsp, 16) + "\n";
  text += "    rbp = " + Hex(rbp, 16) + "   rax = " + Hex(rax, 16) + "\n";
  text += "    Found by: given as instruction pointer in context\n";
  if (!thread) return text;

  int frame = 1;
  const std::string& stack = thread->stack;
  if (rsp < thread->stack_start) return text;
  for (uint64_t at = rsp - thread->stack_start;
       at + 8 <= stack.size() && frame <= kMaxScannedFrames; at += 8) {
    uint64_t word = 0;
    memcpy(&word, stack.data() + at, sizeof(word));
    if (!dump.ModuleAt(word)) continue;
    text += FrameLine(dump, frame++, word) + "\n";
    text += "    rsp = " + Hex(thread->stack_start + at, 16) + "\n";
    text += "    Found by: stack scanning\n";
  }
  return text;
}

std::string OtherThreadText(const Minidump& dump, const DumpThread& thread,
                            int index) {
  std::string text = "Thread " + std::to_string(index) + "\n";
  uint64_t rip = 0;
  if (!ContextRegister(thread.context, kContextRip, &rip)) return text;
  return text + FrameLine(dump, 0, rip) + "\n" +
         "    Found by: given as instruction pointer in context\n";
}

std::string ModulesText(const Minidump& dump) {
  std::string text = "Loaded modules:\n";
  for (const DumpModule& module : dump.modules()) {
    text += Hex(module.base) + " - " + Hex(module.base + module.size) + "  " +
            BaseName(module.name) + "\n";
  }
  return text;
}

}  // namespace

std::string CrashReasonName(uint32_t code,
                            const std::vector<uint64_t>& parameters) {
  if (code == kAccessViolation || code == kInPageError) {
    const std::string base = code == kAccessViolation
                                 ? "EXCEPTION_ACCESS_VIOLATION"
                                 : "EXCEPTION_IN_PAGE_ERROR";
    if (parameters.empty()) return base;
    switch (parameters[0]) {
      case 0: return base + "_READ";
      case 1: return base + "_WRITE";
      case 8: return base + "_EXEC";
    }
    return base;
  }
  struct Named {
    uint32_t code;
    const char* name;
  };
  static const Named kNames[] = {
      {0x80000003, "EXCEPTION_BREAKPOINT"},
      {0x80000004, "EXCEPTION_SINGLE_STEP"},
      {0xc000001d, "EXCEPTION_ILLEGAL_INSTRUCTION"},
      {0xc0000094, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
      {0xc0000095, "EXCEPTION_INT_OVERFLOW"},
      {0xc00000fd, "EXCEPTION_STACK_OVERFLOW"},
      {0xc0000096, "EXCEPTION_PRIV_INSTRUCTION"},
      {0xc0000008, "EXCEPTION_INVALID_HANDLE"},
      {0xc0000409, "STATUS_STACK_BUFFER_OVERRUN"},
      {0xc0000374, "STATUS_HEAP_CORRUPTION"},
      {0xe06d7363, "Unhandled C++ Exception"},
  };
  for (const Named& named : kNames) {
    if (named.code == code) return named.name;
  }
  return Hex(code, 8);
}

std::string MakeWalkerText(const Minidump& dump) {
  std::string text = "Operating system: Windows NT\nCPU: amd64\n\n";
  int crashed_index = -1;
  const DumpThread* crashed = nullptr;
  if (dump.has_exception()) {
    const DumpException& exception = dump.exception();
    crashed = FindThread(dump, exception.thread_id, &crashed_index);
    // An access violation's address is the one it touched.
    uint64_t address = exception.address;
    if ((exception.code == kAccessViolation || exception.code == kInPageError) &&
        exception.parameters.size() >= 2) {
      address = exception.parameters[1];
    }
    text += "Crash reason:  " +
            CrashReasonName(exception.code, exception.parameters) + "\n";
    text += "Crash address: " + Hex(address) + "\n\n";
    const std::string& context =
        exception.context.empty() && crashed ? crashed->context
                                             : exception.context;
    if (crashed_index < 0) crashed_index = 0;
    text += CrashedThreadText(dump, crashed, crashed_index, context) + "\n";
  } else {
    text += "No crash\n\n";
  }
  for (size_t i = 0; i < dump.threads().size(); ++i) {
    if (static_cast<int>(i) == crashed_index && crashed) continue;
    text += OtherThreadText(dump, dump.threads()[i], static_cast<int>(i)) + "\n";
  }
  return text + ModulesText(dump);
}
