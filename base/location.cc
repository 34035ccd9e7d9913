#include "base/location.h"

#include "base/stringprintf.h"

namespace base {

Location::Location(const char* function_name, const char* file_name,
                   int line_number, const void* program_counter)
    : function_name_(function_name),
      file_name_(file_name),
      line_number_(line_number),
      program_counter_(program_counter) {}

Location::Location()
    : function_name_("Unknown"),
      file_name_("Unknown"),
      line_number_(-1),
      program_counter_(nullptr) {}

std::string Location::ToString() const {
  return std::string(function_name_) + "@" + file_name_ + ":" +
         std::to_string(line_number_);
}

void Location::Write(bool display_filename, bool display_function_name,
                     std::string* output) const {
  *output += StringPrintf("%s[%d] ", display_filename ? file_name_ : "line",
                          line_number_);
  if (display_function_name) {
    WriteFunctionName(function_name_, output);
    output->push_back(' ');
  }
}

void Location::WriteFunctionName(const char* name, std::string* output) {
  for (; *name; ++name) {
    switch (*name) {
      case '<':
        output->append("&lt;");
        break;
      case '>':
        output->append("&gt;");
        break;
      default:
        output->push_back(*name);
        break;
    }
  }
}

LocationSnapshot::LocationSnapshot() : line_number(-1) {}

LocationSnapshot::LocationSnapshot(const Location& location)
    : file_name(location.file_name()),
      function_name(location.function_name()),
      line_number(location.line_number()) {}

__attribute__((noinline)) const void* GetProgramCounter() {
  return __builtin_return_address(0);
}

}  // namespace base
