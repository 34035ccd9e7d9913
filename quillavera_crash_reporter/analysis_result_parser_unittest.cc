#include <windows.h>

#include <string>
#include <vector>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/analysis_result_parser.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

class AnalysisResultParserTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    path_ = folder_.Path(L"dump_analyse_result.txt");
  }

  // Writes |lines| as the stack walker's text: CR LF after each.
  void WriteAnalysis(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    WriteRaw(text);
  }
  void WriteRaw(const std::string& text) {
    ASSERT_EQ(static_cast<int>(text.size()),
              base::WriteFile(base::FilePath(path_), text.data(),
                              static_cast<int>(text.size())));
  }

  void Parse(const std::wstring& process_info = L"") {
    message_ = L"M:";
    crash_info_ = L"CI:";
    AnalysisResultParser parser;
    parser.Parse(&message_, &crash_info_, path_, process_info);
    page_ = parser.page();
  }

  ScopedTempFolder folder_{L"arp"};
  std::wstring path_;
  std::wstring message_, crash_info_, page_;
};

const std::vector<std::string> kWalkerText = {
    "Operating system: Windows NT",
    "Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE",
    "Crash address: 0x7ff6a1b2c3d4",
    "",
    "Thread 0 (crashed)",
    " 0  abcdef.dll + 0x1f",
    "    rip = 0x00007ff6a1b2c3d4",
    "    Found by: given as instruction pointer in context",
    " 1  quillavera.exe + 0x1234",
    "    Found by: stack scanning",
    "",
    "Thread 1",
    " 0  ntdll.dll + 0x9a0c4",
    "Crash reason:  SECOND",
};

TEST_F(AnalysisResultParserTest, PicksReasonAddressPageAndStack) {
  WriteAnalysis(kWalkerText);
  Parse(L"pid 42 main");
  EXPECT_EQ(L"M:Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE,"
            L"Crash address: 0x7ff6a1b2c3d4\", "
            L"\"page\": \"abcdef.d\", "
            L"\"stackTrace\": \"Thread 0 (crashed)\\n  0  abcdef.dll + 0x1f\\n "
            L"    rip = 0x00007ff6a1b2c3d4,"
            L"\\n pid 42 main",
            message_);
  EXPECT_EQ(L"CI:Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE,"
            L"Thread 0 (crashed), 0  abcdef.dll + 0x1f,",
            crash_info_);
  EXPECT_EQ(L"abcdef.d", page_);
}

TEST_F(AnalysisResultParserTest, WithoutACrashedThreadOnlyReasonAndAddress) {
  WriteAnalysis({"Crash reason:  EXCEPTION_BREAKPOINT", "Thread 0",
                 " 0  a.dll + 0x1", "Crash address: 0x10"});
  Parse(L"process info");
  EXPECT_EQ(L"M:Crash reason:  EXCEPTION_BREAKPOINT,Crash address: 0x10\", ",
            message_);
  EXPECT_EQ(L"CI:Crash reason:  EXCEPTION_BREAKPOINT,", crash_info_);
  EXPECT_EQ(L"", page_);
}

TEST_F(AnalysisResultParserTest, ReasonAndAddressAreTakenOnceEach) {
  WriteAnalysis({"Crash address: 0x1", "Crash reason:  FIRST",
                 "Crash reason:  SECOND", "Crash address: 0x2",
                 "Thread 3 (crashed)", " 0  b.dll + 0x2", "Found by: cfi"});
  Parse();
  EXPECT_EQ(L"M:Crash address: 0x1\", Crash reason:  FIRST,"
            L"\"page\": \"b.d\", "
            L"\"stackTrace\": \"Thread 3 (crashed)\\n  0  b.dll + 0x2\\n ",
            message_);
  EXPECT_EQ(L"CI:Crash reason:  FIRST,Thread 3 (crashed), 0  b.dll + 0x2,",
            crash_info_);
}

TEST_F(AnalysisResultParserTest, MissingFileGivesTheDefaultText) {
  Parse(L"process info");
  const std::wstring expected =
      L"M:Crash reason : UNKNOWN, Crash address : 0x0\", "
      L"\"stackTrace\":\"Thread 0 (crashed)\\n 0 UNKNOWN + 0x0\\n\","
      L"\"page\":\"UNKNOWN";
  EXPECT_EQ(expected, message_);
  EXPECT_EQ(115u, wcslen(kDefaultAnalysisText));
  EXPECT_EQ(L"CI:", crash_info_);
  EXPECT_EQ(L"", page_);
}

TEST_F(AnalysisResultParserTest, PageFollowsTheSubstringRule) {
  const struct {
    const char* frame;
    const wchar_t* page;
  } cases[] = {
      {" 0  abcdef.dll + 0x1f", L"abcdef.d"},
      {" 0  quillavera_crash_reporter.exe + 0x4a2", L"quillavera_crash_reporter.e"},
      {" 0  kernelbase.dll!RaiseException + 0x69", L"kernelbase.dll!RaiseExcepti"},
      {" 0  nosign.dll", L"nosign.dll"},            // no " + ": to the end
      {"nozero.dll + 0x1", L"ero."},                // no " 0  ": from 3
      {" 0  ab + 0x1", L""},                        // " + " at 6: nothing
      {" 0  a + 0x1", L"a + 0x1"},                  // " + " before 6: the rest
      {"ab", L""},                                  // start past the end
      {"", L""},
  };
  for (const auto& c : cases) {
    WriteAnalysis({"Thread 0 (crashed)", c.frame});
    Parse();
    EXPECT_EQ(c.page, page_) << c.frame;
  }
}

TEST_F(AnalysisResultParserTest, ShortAndOddTextsNeverFail) {
  const std::string kNul(1, '\0');
  const std::string texts[] = {
      "",
      "\r\n",
      "Thread 0 (crashed)",        // no frame line, no line end
      "Thread 0 (crashed)\r\n",    // frame line missing
      "Crash reason:\r\nCrash address:\r\n(crashed)\r\n\r\n\r\n",
      "\n\n\n(crashed)\n 0  x.dll + 0x1\nFound by",
      "\xff\xfe" + kNul + "\x80(crashed)\r\n 0  \xe4\xb8\xad.dll + 0x1\r\n",
  };
  for (const std::string& text : texts) {
    WriteRaw(text);
    Parse(L"p");
    EXPECT_EQ(0u, message_.find(L"M:"));
  }
}

TEST_F(AnalysisResultParserTest, LinesWithoutCrKeepTheirLastCharacter) {
  WriteRaw("Crash reason:  X\nThread 0 (crashed)\n 0  abcdef.dll + 0x1f\n");
  Parse();
  EXPECT_EQ(L"M:Crash reason:  X,\"page\": \"abcdef.d\", "
            L"\"stackTrace\": \"Thread 0 (crashed)\\n  0  abcdef.dll + 0x1f\\n ",
            message_);
}

TEST_F(AnalysisResultParserTest, BytesAboveAsciiBecomeOneCharacterEach) {
  WriteAnalysis({"Crash reason:  \xe9t\xe9"});
  Parse();
  EXPECT_EQ(L"M:Crash reason:  \x00e9t\x00e9,", message_);
}

// A walker gone wrong: the parser holds no more than a capped line, and
// reads no more than a capped amount of text.
TEST_F(AnalysisResultParserTest, LongLinesAreCutAndLongTextsLeftUnread) {
  const size_t kLineCap = 64 * 1024;
  WriteRaw("Crash reason:  " + std::string(1 << 20, 'x') + "\r\n");
  Parse();
  const std::wstring line =
      (L"Crash reason:  " + std::wstring(1 << 20, L'x')).substr(0, kLineCap);
  EXPECT_EQ(L"M:" + line + L",", message_);

  const std::string filler_line(1023, 'f');
  std::string text;
  while (text.size() < 17u * 1024 * 1024) text += filler_line + "\n";
  WriteRaw(text + "Crash reason:  too late\r\n");
  Parse();
  EXPECT_EQ(L"M:", message_);
}

}  // namespace

namespace {

TEST_F(AnalysisResultParserTest, QuotesBackslashesAndControlsAreEscaped) {
  WriteAnalysis({"Crash reason:  \"odd\"", "Crash address: C:\\x\t",
                 "Thread 0 (crashed)", " 0  a\"b\\c.dll + 0x1",
                 "    x = \"1\"", "    Found by: scanning"});
  Parse();
  EXPECT_EQ(L"M:Crash reason:  \\\"odd\\\",Crash address: C:\\\\x\\u0009\", "
            L"\"page\": \"a\\\"b\\\\c.d\", "
            L"\"stackTrace\": \"Thread 0 (crashed)\\n  0  a\\\"b\\\\c.dll + "
            L"0x1\\n     x = \\\"1\\\",",
            message_);
  EXPECT_EQ(L"CI:Crash reason:  \\\"odd\\\",Thread 0 (crashed), 0  "
            L"a\\\"b\\\\c.dll + 0x1,",
            crash_info_);
  // The page itself is the plain text.
  EXPECT_EQ(L"a\"b\\c.d", page_);
}

}  // namespace
