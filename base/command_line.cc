#include "base/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "base/string_util.h"
#include "base/utf_string_conversions.h"

namespace base {

namespace {

const wchar_t kSwitchTerminator[] = L"--";
const wchar_t kSwitchValueSeparator = L'=';
// Order matters: "--" must be tried before "-".
const wchar_t* const kSwitchPrefixes[] = {L"--", L"-", L"/"};

std::unique_ptr<CommandLine>& CurrentProcessCommandLine() {
  static std::unique_ptr<CommandLine> command_line;
  return command_line;
}

std::wstring TrimWide(const std::wstring& text) {
  std::wstring trimmed;
  TrimWhitespace(text, TRIM_ALL, &trimmed);
  return trimmed;
}

size_t GetSwitchPrefixLength(const std::wstring& text) {
  for (const wchar_t* prefix : kSwitchPrefixes) {
    const std::wstring prefix_text(prefix);
    if (text.compare(0, prefix_text.size(), prefix_text) == 0)
      return prefix_text.size();
  }
  return 0;
}

// Splits a switch argument into its switch string (prefix kept, up to the
// first "=") and its value. A lone prefix is not a switch.
bool IsSwitch(const std::wstring& text, std::wstring* switch_string,
              std::wstring* switch_value) {
  switch_string->clear();
  switch_value->clear();
  const size_t prefix_length = GetSwitchPrefixLength(text);
  if (prefix_length == 0 || prefix_length == text.size()) return false;
  const size_t equals_position = text.find(kSwitchValueSeparator);
  *switch_string = text.substr(0, equals_position);
  if (equals_position != std::wstring::npos)
    *switch_value = text.substr(equals_position + 1);
  return true;
}

}  // namespace

std::wstring QuoteForCommandLineToArgvW(const std::wstring& arg) {
  // An empty or tab-holding text must be quoted too, or the split drops or
  // cuts it.
  if (!arg.empty() && arg.find_first_of(L" \t\\\"") == std::wstring::npos)
    return arg;

  std::wstring out(1, L'"');
  for (size_t i = 0; i < arg.size(); ++i) {
    if (arg[i] == L'\\') {
      size_t end = i + 1;
      while (end < arg.size() && arg[end] == L'\\') ++end;
      size_t backslash_count = end - i;
      // Backslashes are literal unless a quote follows, and the closing
      // quote follows the last run.
      if (end == arg.size() || arg[end] == L'"') backslash_count *= 2;
      out.append(backslash_count, L'\\');
      i = end - 1;
    } else if (arg[i] == L'"') {
      out += L"\\\"";
    } else {
      out += arg[i];
    }
  }
  out += L'"';
  return out;
}

CommandLine::CommandLine(NoProgram) : argv_(1), begin_args_(1) {}

CommandLine::CommandLine(const FilePath& program) : argv_(1), begin_args_(1) {
  SetProgram(program);
}

CommandLine::CommandLine(int argc, const wchar_t* const* argv)
    : argv_(1), begin_args_(1) {
  InitFromArgv(argc, argv);
}

CommandLine::CommandLine(const StringVector& argv) : argv_(1), begin_args_(1) {
  InitFromArgv(argv);
}

bool CommandLine::Init() {
  std::unique_ptr<CommandLine>& current = CurrentProcessCommandLine();
  if (current) return false;
  current = std::make_unique<CommandLine>(NO_PROGRAM);
  current->ParseFromString(::GetCommandLineW());
  return true;
}

void CommandLine::Reset() { CurrentProcessCommandLine().reset(); }

CommandLine* CommandLine::ForCurrentProcess() {
  return CurrentProcessCommandLine().get();
}

bool CommandLine::InitializedForCurrentProcess() {
  return ForCurrentProcess() != nullptr;
}

CommandLine CommandLine::FromString(const StringType& command_line) {
  CommandLine cmd(NO_PROGRAM);
  cmd.ParseFromString(command_line);
  return cmd;
}

void CommandLine::InitFromArgv(int argc, const wchar_t* const* argv) {
  StringVector new_argv;
  for (int i = 0; i < argc; ++i) new_argv.push_back(argv[i]);
  InitFromArgv(new_argv);
}

void CommandLine::InitFromArgv(const StringVector& argv) {
  argv_ = StringVector(1);
  switches_.clear();
  begin_args_ = 1;
  SetProgram(FilePath(argv.empty() ? StringType() : argv[0]));
  AppendSwitchesAndArguments(argv);
}

void CommandLine::ParseFromString(const StringType& command_line) {
  const StringType text = TrimWide(command_line);
  if (text.empty()) return;

  int num_args = 0;
  wchar_t** args = ::CommandLineToArgvW(text.c_str(), &num_args);
  if (!args) return;
  InitFromArgv(num_args, args);
  ::LocalFree(args);
}

void CommandLine::AppendSwitchesAndArguments(const StringVector& argv) {
  bool parse_switches = true;
  for (size_t i = 1; i < argv.size(); ++i) {
    const StringType arg = TrimWide(argv[i]);
    StringType switch_string;
    StringType switch_value;
    parse_switches &= arg != kSwitchTerminator;
    if (parse_switches && IsSwitch(arg, &switch_string, &switch_value)) {
      AppendSwitchNative(WideToUTF8(switch_string), switch_value);
    } else {
      AppendArgNative(arg);
    }
  }
}

CommandLine::StringType CommandLine::GetCommandLineString() const {
  StringType string = QuoteForCommandLineToArgvW(GetProgram().value());
  const StringType arguments = GetArgumentsString();
  if (!arguments.empty()) string += L' ' + arguments;
  return string;
}

CommandLine::StringType CommandLine::GetArgumentsString() const {
  StringType params;
  bool parse_switches = true;
  for (size_t i = 1; i < argv_.size(); ++i) {
    const StringType& arg = argv_[i];
    StringType switch_string;
    StringType switch_value;
    parse_switches &= arg != kSwitchTerminator;
    if (i > 1) params += L' ';
    if (parse_switches && IsSwitch(arg, &switch_string, &switch_value)) {
      params += switch_string;
      if (!switch_value.empty()) {
        params += kSwitchValueSeparator;
        params += QuoteForCommandLineToArgvW(switch_value);
      }
    } else {
      params += QuoteForCommandLineToArgvW(arg);
    }
  }
  return params;
}

FilePath CommandLine::GetProgram() const { return FilePath(argv_[0]); }

void CommandLine::SetProgram(const FilePath& program) {
  argv_[0] = TrimWide(program.value());
}

bool CommandLine::HasSwitch(const std::string& switch_string) const {
  return switches_.find(StringToLowerASCII(switch_string)) != switches_.end();
}

std::string CommandLine::GetSwitchValueASCII(
    const std::string& switch_string) const {
  const StringType value = GetSwitchValueNative(switch_string);
  if (!IsStringASCII(value)) return std::string();
  return WideToASCII(value);
}

CommandLine::StringType CommandLine::GetSwitchValueNative(
    const std::string& switch_string) const {
  const SwitchMap::const_iterator result =
      switches_.find(StringToLowerASCII(switch_string));
  return result == switches_.end() ? StringType() : result->second;
}

FilePath CommandLine::GetSwitchValuePath(
    const std::string& switch_string) const {
  return FilePath(GetSwitchValueNative(switch_string));
}

void CommandLine::AppendSwitch(const std::string& switch_string) {
  AppendSwitchNative(switch_string, StringType());
}

void CommandLine::AppendSwitchNative(const std::string& switch_string,
                                     const StringType& value) {
  const std::string switch_key = StringToLowerASCII(switch_string);
  StringType combined_switch_string = UTF8ToWide(switch_key);
  const size_t prefix_length = GetSwitchPrefixLength(combined_switch_string);
  switches_[switch_key.substr(prefix_length)] = value;
  if (prefix_length == 0)
    combined_switch_string = kSwitchPrefixes[0] + combined_switch_string;
  if (!value.empty())
    combined_switch_string += kSwitchValueSeparator + value;
  argv_.insert(argv_.begin() + begin_args_, combined_switch_string);
  ++begin_args_;
}

void CommandLine::AppendSwitchASCII(const std::string& switch_string,
                                    const std::string& value) {
  AppendSwitchNative(switch_string, ASCIIToWide(value));
}

void CommandLine::CopySwitchesFrom(const CommandLine& source,
                                   const char* const switches[],
                                   size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (source.HasSwitch(switches[i]))
      AppendSwitchNative(switches[i], source.GetSwitchValueNative(switches[i]));
  }
}

CommandLine::StringVector CommandLine::GetArgs() const {
  return StringVector(argv_.begin() + begin_args_, argv_.end());
}

void CommandLine::AppendArg(const std::string& value) {
  AppendArgNative(UTF8ToWide(value));
}

void CommandLine::AppendArgNative(const StringType& value) {
  argv_.push_back(value);
}

void CommandLine::AppendArgPath(const FilePath& value) {
  AppendArgNative(value.value());
}

void CommandLine::PrependWrapper(const StringType& wrapper) {
  StringVector words;
  size_t start = 0;
  while (start <= wrapper.size()) {
    const size_t blank = wrapper.find(L' ', start);
    const size_t end = blank == StringType::npos ? wrapper.size() : blank;
    if (end > start) words.push_back(wrapper.substr(start, end - start));
    start = end + 1;
  }
  argv_.insert(argv_.begin(), words.begin(), words.end());
  begin_args_ += words.size();
}

}  // namespace base
