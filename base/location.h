// Where a piece of code is: function, file, line and program counter. The
// task tracker records these; FROM_HERE makes one for the current spot.

#ifndef BASE_LOCATION_H_
#define BASE_LOCATION_H_

#include <string>

namespace base {

class Location {
 public:
  // The strings must outlive the location (literals in practice).
  Location(const char* function_name, const char* file_name, int line_number,
           const void* program_counter);
  // "Unknown", "Unknown", line -1, no program counter.
  Location();

  const char* function_name() const { return function_name_; }
  const char* file_name() const { return file_name_; }
  int line_number() const { return line_number_; }
  const void* program_counter() const { return program_counter_; }

  // function "@" file ":" line.
  std::string ToString() const;

  // Appends "<file or "line">[<line>] " and, when asked, the function name
  // with '<' and '>' escaped for HTML, followed by a blank.
  void Write(bool display_filename, bool display_function_name,
             std::string* output) const;

  // Appends |name| with '<' as "&lt;" and '>' as "&gt;".
  static void WriteFunctionName(const char* name, std::string* output);

 private:
  const char* function_name_;
  const char* file_name_;
  int line_number_;
  const void* program_counter_;
};

// A location's names copied into owned strings.
struct LocationSnapshot {
  LocationSnapshot();
  explicit LocationSnapshot(const Location& location);

  std::string file_name;
  std::string function_name;
  int line_number;
};

// The code address its caller returns to.
const void* GetProgramCounter();

}  // namespace base

#define FROM_HERE \
  ::base::Location(__func__, __FILE__, __LINE__, ::base::GetProgramCounter())

#endif  // BASE_LOCATION_H_
