// Reads what the stand-in stack walker needs out of a minidump file: the
// exception stream, the thread list with each thread's context and stack
// memory, and the module list. Every offset and size is checked against the
// file, so a corrupt dump is refused, never read past its end.

#ifndef TESTING_DUMP_ANALYSER_MINIDUMP_READER_H_
#define TESTING_DUMP_ANALYSER_MINIDUMP_READER_H_

#include <stdint.h>

#include <string>
#include <vector>

struct DumpModule {
  uint64_t base = 0;
  uint32_t size = 0;
  std::string name;  // The full path as the dump holds it, in UTF-8.
};

struct DumpThread {
  uint32_t id = 0;
  uint64_t stack_start = 0;
  std::string stack;    // The stack memory the dump captured.
  std::string context;  // The raw amd64 CONTEXT; may be empty.
};

struct DumpException {
  uint32_t thread_id = 0;
  uint32_t code = 0;
  uint64_t address = 0;
  std::vector<uint64_t> parameters;
  std::string context;  // The context at the exception; may be empty.
};

class Minidump {
 public:
  // False, with |error| saying why, when |bytes| is no readable minidump.
  bool Parse(const std::string& bytes, std::string* error);

  bool has_exception() const { return has_exception_; }
  const DumpException& exception() const { return exception_; }
  const std::vector<DumpThread>& threads() const { return threads_; }
  const std::vector<DumpModule>& modules() const { return modules_; }

  // The module whose image holds |address|, or null.
  const DumpModule* ModuleAt(uint64_t address) const;

 private:
  bool ReadThreads(uint32_t size, uint32_t rva, std::string* error);
  bool ReadModules(uint32_t size, uint32_t rva, std::string* error);
  bool ReadException(uint32_t size, uint32_t rva, std::string* error);
  bool Slice(uint32_t rva, uint64_t size, std::string* out) const;

  const std::string* bytes_ = nullptr;
  bool has_exception_ = false;
  DumpException exception_;
  std::vector<DumpThread> threads_;
  std::vector<DumpModule> modules_;
};

// Registers of an amd64 CONTEXT record; false when it is too short.
bool ContextRegister(const std::string& context, size_t offset,
                     uint64_t* value);
const size_t kContextRsp = 0x98;
const size_t kContextRbp = 0xa0;
const size_t kContextRip = 0xf8;
const size_t kContextRax = 0x78;

#endif  // TESTING_DUMP_ANALYSER_MINIDUMP_READER_H_
