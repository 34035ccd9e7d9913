#include "base/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

typedef CommandLine::StringVector Args;

TEST(CommandLineTest, ParsesSwitchesAndArguments) {
  struct Case {
    const wchar_t* text;
    CommandLine::SwitchMap switches;
    Args args;
  };
  const Case kCases[] = {
      {L"a.exe --V=2 -vmodule=foo=1 /x",
       {{"v", L"2"}, {"vmodule", L"foo=1"}, {"x", L""}},
       {}},
      {L"a.exe -- --v=1", {}, {L"--", L"--v=1"}},
      {L"a.exe - / plain", {}, {L"-", L"/", L"plain"}},
      {L"a.exe --k=one arg --k=two --Mixed-Case",
       {{"k", L"two"}, {"mixed-case", L""}},
       {L"arg"}},
      {L"a.exe \"--path=C:\\Program Files\\x\" \"two words\"",
       {{"path", L"C:\\Program Files\\x"}},
       {L"two words"}},
      {L"   ", {}, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const CommandLine cl = CommandLine::FromString(c.text);
    EXPECT_EQ(c.switches, cl.GetSwitches());
    EXPECT_EQ(c.args, cl.GetArgs());
  }
}

TEST(CommandLineTest, SwitchLookupIgnoresCase) {
  const CommandLine cl = CommandLine::FromString(L"a.exe --V=2 /X");
  EXPECT_TRUE(cl.HasSwitch("V"));
  EXPECT_TRUE(cl.HasSwitch("v"));
  EXPECT_TRUE(cl.HasSwitch("x"));
  EXPECT_FALSE(cl.HasSwitch("y"));
  EXPECT_EQ("2", cl.GetSwitchValueASCII("V"));
  EXPECT_EQ(L"", cl.GetSwitchValueNative("y"));
  EXPECT_EQ(L"a.exe", cl.GetProgram().value());
}

TEST(CommandLineTest, NonAsciiValueIsEmptyAsAscii) {
  const CommandLine cl = CommandLine::FromString(L"a.exe --name=caf\u00e9");
  EXPECT_EQ(L"caf\u00e9", cl.GetSwitchValueNative("name"));
  EXPECT_EQ("", cl.GetSwitchValueASCII("name"));
}

TEST(CommandLineTest, InitMakesTheProcessInstanceOnce) {
  CommandLine::Reset();
  EXPECT_FALSE(CommandLine::InitializedForCurrentProcess());
  ASSERT_TRUE(CommandLine::Init());
  CommandLine* first = CommandLine::ForCurrentProcess();
  ASSERT_NE(nullptr, first);
  EXPECT_NE(L"", first->GetProgram().value());
  first->AppendSwitch("marker");
  EXPECT_FALSE(CommandLine::Init());
  EXPECT_EQ(first, CommandLine::ForCurrentProcess());
  EXPECT_TRUE(CommandLine::ForCurrentProcess()->HasSwitch("marker"));
  CommandLine::Reset();
}

// What CommandLineToArgvW makes of one quoted argument.
std::wstring RoundTrip(const std::wstring& arg) {
  const std::wstring line = L"p.exe " + QuoteForCommandLineToArgvW(arg);
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
  std::wstring result = count == 2 ? argv[1] : L"<split into pieces>";
  LocalFree(argv);
  return result;
}

TEST(CommandLineTest, QuotingSurvivesTheSystemSplit) {
  EXPECT_EQ(L"\"a\\b c\\\\\"", QuoteForCommandLineToArgvW(L"a\\b c\\"));
  EXPECT_EQ(L"plain", QuoteForCommandLineToArgvW(L"plain"));
  const wchar_t* const kTexts[] = {
      L"a\\b c\\", L"say \"hi\"", L"\\\\server\\share\\", L"back\\\\\"quote",
      L"tab\there", L"", L"C:\\Program Files\\",
  };
  for (const wchar_t* text : kTexts) EXPECT_EQ(text, RoundTrip(text));
}

TEST(CommandLineTest, PrintsWhatParsesBack) {
  CommandLine cl(FilePath(L" C:\\Program Files\\p.exe "));
  cl.AppendArg("first arg");
  cl.AppendSwitchASCII("Level", "3");
  cl.AppendSwitchNative("dir", L"C:\\My Files\\");
  cl.AppendSwitch("-short");
  cl.AppendArgNative(L"--");
  cl.AppendArgPath(FilePath(L"--not-a-switch"));
  EXPECT_EQ(L"\"C:\\Program Files\\p.exe\" --level=3 "
            L"--dir=\"C:\\My Files\\\\\" -short \"first arg\" -- "
            L"--not-a-switch",
            cl.GetCommandLineString());

  const CommandLine parsed = CommandLine::FromString(cl.GetCommandLineString());
  EXPECT_EQ(cl.argv(), parsed.argv());
  EXPECT_EQ(cl.GetSwitches(), parsed.GetSwitches());
  EXPECT_EQ((Args{L"first arg", L"--", L"--not-a-switch"}), parsed.GetArgs());
  EXPECT_EQ(L"C:\\My Files\\", parsed.GetSwitchValuePath("DIR").value());
}

TEST(CommandLineTest, CopySwitchesAndPrependWrapper) {
  const CommandLine source = CommandLine::FromString(L"s.exe --a=1 --b");
  CommandLine target(CommandLine::NO_PROGRAM);
  target.SetProgram(FilePath(L"t.exe"));
  const char* const kNames[] = {"a", "b", "c"};
  target.CopySwitchesFrom(source, kNames, 3);
  EXPECT_EQ((CommandLine::SwitchMap{{"a", L"1"}, {"b", L""}}),
            target.GetSwitches());

  target.PrependWrapper(L"gdb  --args");
  EXPECT_EQ((Args{L"gdb", L"--args", L"t.exe", L"--a=1", L"--b"}),
            target.argv());
}

}  // namespace
}  // namespace base
