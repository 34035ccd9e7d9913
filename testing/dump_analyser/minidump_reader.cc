#include "testing/dump_analyser/minidump_reader.h"

#include <string.h>

#include "base/utf_string_conversions.h"

namespace {

const uint32_t kSignature = 0x504d444d;  // "MDMP"
const uint32_t kThreadListStream = 3;
const uint32_t kModuleListStream = 4;
const uint32_t kExceptionStream = 6;
const size_t kThreadEntrySize = 48;
const size_t kModuleEntrySize = 108;
const size_t kExceptionStreamSize = 168;
// A module name longer than this is corrupt, not a path.
const uint32_t kMaxNameBytes = 64 * 1024;

template <typename T>
bool ReadAt(const std::string& bytes, uint64_t offset, T* value) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  memcpy(value, bytes.data() + offset, sizeof(T));
  return true;
}

}  // namespace

bool ContextRegister(const std::string& context, size_t offset,
                     uint64_t* value) {
  return ReadAt(context, offset, value);
}

bool Minidump::Slice(uint32_t rva, uint64_t size, std::string* out) const {
  if (rva > bytes_->size() || bytes_->size() - rva < size) return false;
  out->assign(*bytes_, rva, static_cast<size_t>(size));
  return true;
}

bool Minidump::Parse(const std::string& bytes, std::string* error) {
  bytes_ = &bytes;
  uint32_t signature = 0, count = 0, directory = 0;
  if (!ReadAt(bytes, 0, &signature) || signature != kSignature) {
    *error = "not a minidump";
    return false;
  }
  if (!ReadAt(bytes, 8, &count) || !ReadAt(bytes, 12, &directory) ||
      directory > bytes.size() || (bytes.size() - directory) / 12 < count) {
    *error = "stream directory runs past the end of the file";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t type = 0, size = 0, rva = 0;
    const uint64_t entry = directory + 12ull * i;
    ReadAt(bytes, entry, &type);
    ReadAt(bytes, entry + 4, &size);
    ReadAt(bytes, entry + 8, &rva);
    bool ok = true;
    if (type == kThreadListStream) ok = ReadThreads(size, rva, error);
    if (type == kModuleListStream) ok = ReadModules(size, rva, error);
    if (type == kExceptionStream) ok = ReadException(size, rva, error);
    if (!ok) return false;
  }
  bytes_ = nullptr;
  return true;
}

bool Minidump::ReadThreads(uint32_t size, uint32_t rva, std::string* error) {
  std::string body;
  uint32_t count = 0;
  if (!Slice(rva, size, &body) || !ReadAt(body, 0, &count) ||
      (body.size() - 4) / kThreadEntrySize < count) {
    *error = "thread list runs past its stream";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = 4 + kThreadEntrySize * i;
    DumpThread thread;
    uint32_t stack_size = 0, stack_rva = 0, context_size = 0, context_rva = 0;
    ReadAt(body, at, &thread.id);
    ReadAt(body, at + 24, &thread.stack_start);
    ReadAt(body, at + 32, &stack_size);
    ReadAt(body, at + 36, &stack_rva);
    ReadAt(body, at + 40, &context_size);
    ReadAt(body, at + 44, &context_rva);
    if (!Slice(stack_rva, stack_size, &thread.stack) ||
        !Slice(context_rva, context_size, &thread.context)) {
      *error = "a thread's stack or context runs past the end of the file";
      return false;
    }
    threads_.push_back(thread);
  }
  return true;
}

bool Minidump::ReadModules(uint32_t size, uint32_t rva, std::string* error) {
  std::string body;
  uint32_t count = 0;
  if (!Slice(rva, size, &body) || !ReadAt(body, 0, &count) ||
      (body.size() - 4) / kModuleEntrySize < count) {
    *error = "module list runs past its stream";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = 4 + kModuleEntrySize * i;
    DumpModule module;
    uint32_t name_rva = 0, name_bytes = 0;
    ReadAt(body, at, &module.base);
    ReadAt(body, at + 8, &module.size);
    ReadAt(body, at + 20, &name_rva);
    std::string name;
    if (!ReadAt(*bytes_, name_rva, &name_bytes) || name_bytes > kMaxNameBytes ||
        !Slice(name_rva + 4, name_bytes & ~1u, &name)) {
      *error = "a module name runs past the end of the file";
      return false;
    }
    std::wstring wide(name.size() / 2, L'\0');
    if (!wide.empty()) memcpy(&wide[0], name.data(), wide.size() * 2);
    module.name = base::WideToUTF8(wide);
    modules_.push_back(module);
  }
  return true;
}

bool Minidump::ReadException(uint32_t size, uint32_t rva, std::string* error) {
  std::string body;
  if (size < kExceptionStreamSize || !Slice(rva, size, &body)) {
    *error = "exception stream too short";
    return false;
  }
  uint32_t count = 0, context_size = 0, context_rva = 0;
  ReadAt(body, 0, &exception_.thread_id);
  ReadAt(body, 8, &exception_.code);
  ReadAt(body, 24, &exception_.address);
  ReadAt(body, 32, &count);
  for (uint32_t i = 0; i < count && i < 15; ++i) {
    uint64_t parameter = 0;
    ReadAt(body, 40 + 8 * i, &parameter);
    exception_.parameters.push_back(parameter);
  }
  ReadAt(body, 160, &context_size);
  ReadAt(body, 164, &context_rva);
  if (!Slice(context_rva, context_size, &exception_.context)) {
    *error = "the exception context runs past the end of the file";
    return false;
  }
  has_exception_ = true;
  return true;
}

const DumpModule* Minidump::ModuleAt(uint64_t address) const {
  for (const DumpModule& module : modules_) {
    if (address >= module.base && address - module.base < module.size)
      return &module;
  }
  return nullptr;
}
