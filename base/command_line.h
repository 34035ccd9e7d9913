// The process's command line split into the program, the switches and the
// plain arguments. Switches begin with "--", "-" or "/" (tried in that order)
// and may carry a value after "="; switch names are lower-cased. After an
// argument "--" nothing more is read as a switch.

#ifndef BASE_COMMAND_LINE_H_
#define BASE_COMMAND_LINE_H_

#include <stddef.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/file_path.h"

namespace base {

class CommandLine {
 public:
  typedef std::wstring StringType;
  typedef std::vector<StringType> StringVector;
  typedef std::map<std::string, StringType> SwitchMap;

  enum NoProgram { NO_PROGRAM };

  // argv holds one empty program.
  explicit CommandLine(NoProgram no_program);
  explicit CommandLine(const FilePath& program);
  CommandLine(int argc, const wchar_t* const* argv);
  explicit CommandLine(const StringVector& argv);

  // Makes the process-wide instance from GetCommandLineW(). False, keeping
  // the first instance, when it exists already.
  static bool Init();
  // Deletes the process-wide instance.
  static void Reset();
  // The process-wide instance, or null before Init.
  static CommandLine* ForCurrentProcess();
  static bool InitializedForCurrentProcess();

  static CommandLine FromString(const StringType& command_line);

  void InitFromArgv(int argc, const wchar_t* const* argv);
  void InitFromArgv(const StringVector& argv);
  // Splits |command_line| as CommandLineToArgvW does. Empty text (after
  // trimming white space) leaves this object unchanged.
  void ParseFromString(const StringType& command_line);

  // The quoted program followed by the arguments string.
  StringType GetCommandLineString() const;
  // Everything after the program, each element quoted so that
  // CommandLineToArgvW gives it back.
  StringType GetArgumentsString() const;

  const StringVector& argv() const { return argv_; }

  FilePath GetProgram() const;
  // White space at both ends is trimmed.
  void SetProgram(const FilePath& program);

  // |switch_string| without prefix; case does not matter.
  bool HasSwitch(const std::string& switch_string) const;
  // Empty when the value holds anything beyond ASCII.
  std::string GetSwitchValueASCII(const std::string& switch_string) const;
  StringType GetSwitchValueNative(const std::string& switch_string) const;
  FilePath GetSwitchValuePath(const std::string& switch_string) const;
  const SwitchMap& GetSwitches() const { return switches_; }

  void AppendSwitch(const std::string& switch_string);
  void AppendSwitchNative(const std::string& switch_string,
                          const StringType& value);
  void AppendSwitchASCII(const std::string& switch_string,
                         const std::string& value);
  // Copies each of the |count| named switches that |source| has, with its
  // value.
  void CopySwitchesFrom(const CommandLine& source,
                        const char* const switches[], size_t count);

  // The plain arguments, in order (a "--" among them included).
  StringVector GetArgs() const;
  // |value| is UTF-8.
  void AppendArg(const std::string& value);
  void AppendArgNative(const StringType& value);
  void AppendArgPath(const FilePath& value);

  // Inserts the blank-separated words of |wrapper| before the program.
  void PrependWrapper(const StringType& wrapper);

 private:
  CommandLine() = delete;

  void AppendSwitchesAndArguments(const StringVector& argv);

  StringVector argv_;
  SwitchMap switches_;
  // Index in argv_ of the first plain argument; switches go before it.
  size_t begin_args_;
};

// Quotes |arg| so that CommandLineToArgvW yields it unchanged.
std::wstring QuoteForCommandLineToArgvW(const std::wstring& arg);

}  // namespace base

#endif  // BASE_COMMAND_LINE_H_
