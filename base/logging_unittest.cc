#include "base/logging.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/command_line.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// "[" pid ":" tid ":" MMDD/HHMMSS ":" ticks ":" severity ":" file "(" line
// ")] " text, LF only.
const char kFullPrefix[] =
    R"(^\[(\d+):(\d+):(\d{4}/\d{6}):(\d+):([A-Z_]+|VERBOSE\d+):([^\\/():]+)\((\d+)\)\] )";

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, buffer);
  return buffer;
}

std::wstring UniqueTempPath(const std::wstring& stem) {
  return TempFolder() + L"qv_logging_" + std::to_wstring(GetCurrentProcessId()) +
         L"_" + stem;
}

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(
      path.c_str(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string content;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    content.append(buffer, read);
  CloseHandle(file);
  return content;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));  // An unterminated tail.
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Every test of this program logs into one file of its own, set up before
// the first record, with verbose level 2 from the command line.
class LoggingEnvironment : public ::testing::Environment {
 public:
  static std::wstring log_path() { return UniqueTempPath(L"main.log"); }

  void SetUp() override {
    DeleteFileW(log_path().c_str());
    CommandLine::Init();
    CommandLine::ForCurrentProcess()->AppendSwitchASCII("v", "2");
    LoggingSettings settings;
    settings.log_file = path_.c_str();
    ASSERT_TRUE(InitLogging(settings));
    SetLogItems(true, true, true, true);
    // Later set-ups in these tests change only the file; without the
    // switches they do not touch verbose logging again.
    CommandLine::Reset();
    CommandLine::Init();
  }

 private:
  const std::wstring path_ = log_path();
};

const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new LoggingEnvironment);

// What the file gained while a test body ran.
class LogTail {
 public:
  LogTail() : start_(ReadWholeFile(LoggingEnvironment::log_path()).size()) {}
  std::string Text() const {
    return ReadWholeFile(LoggingEnvironment::log_path()).substr(start_);
  }

 private:
  size_t start_;
};

// Redirects the process's standard error handle into a file for a scope.
class ScopedStderrCapture {
 public:
  ScopedStderrCapture()
      : path_(UniqueTempPath(L"stderr.txt")),
        saved_(GetStdHandle(STD_ERROR_HANDLE)) {
    file_ = CreateFileW(path_.c_str(), GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetStdHandle(STD_ERROR_HANDLE, file_);
  }
  ~ScopedStderrCapture() {
    Restore();
    DeleteFileW(path_.c_str());
  }
  std::string Finish() {
    Restore();
    return ReadWholeFile(path_);
  }

 private:
  void Restore() {
    if (!file_) return;
    SetStdHandle(STD_ERROR_HANDLE, saved_);
    CloseHandle(file_);
    file_ = nullptr;
  }

  std::wstring path_;
  HANDLE saved_;
  HANDLE file_;
};

TEST(LoggingTest, RecordsFollowTheLineFormat) {
  struct Case {
    const char* severity;
    const char* text;
  };
  const Case kCases[] = {
      {"INFO", "information"},   {"WARNING", "careful"},
      {"ERROR", "went wrong"},   {"VERBOSE1", "verbose one"},
      {"VERBOSE2", "verbose two"}, {"INFO", ""},
  };

  LogTail tail;
  const int first_line = __LINE__ + 1;
  LOG(INFO) << kCases[0].text;
  LOG(WARNING) << kCases[1].text;
  LOG(ERROR) << kCases[2].text;
  VLOG(1) << kCases[3].text;
  VLOG(2) << kCases[4].text;
  LOG(INFO);
  const std::string text = tail.Text();

  ASSERT_FALSE(text.empty());
  EXPECT_EQ('\n', text.back());
  EXPECT_EQ(std::string::npos, text.find('\r'));
  const std::vector<std::string> lines = SplitLines(text);
  ASSERT_EQ(std::size(kCases), lines.size()) << text;

  const std::regex format(std::string(kFullPrefix) + "(.*)$");
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[i], match, format));
    EXPECT_EQ(std::to_string(GetCurrentProcessId()), match[1].str());
    EXPECT_EQ(std::to_string(GetCurrentThreadId()), match[2].str());
    EXPECT_EQ(kCases[i].severity, match[5].str());
    EXPECT_EQ("logging_unittest.cc", match[6].str());
    EXPECT_EQ(std::to_string(first_line + static_cast<int>(i)), match[7].str());
    EXPECT_EQ(kCases[i].text, match[8].str());
  }
}

// MMDD/HHMMSS of a Windows time.
std::string StampOf(const SYSTEMTIME& t) {
  char text[16];
  snprintf(text, sizeof(text), "%02u%02u/%02u%02u%02u", t.wMonth, t.wDay,
           t.wHour, t.wMinute, t.wSecond);
  return text;
}

// The C runtime reads its zone from TZ; the record must show the time of
// Windows' own zone whatever TZ says.
TEST(LoggingTest, RecordTimeIsWindowsLocalTimeNotTheRuntimes) {
  TIME_ZONE_INFORMATION zone;
  GetTimeZoneInformation(&zone);
  // A zone of another offset than Windows' for the C runtime.
  const char* runtime_zone = zone.Bias == -540 ? "EST5EDT" : "JST-9";
  ASSERT_EQ(0, _putenv_s("TZ", runtime_zone));
  _tzset();

  SYSTEMTIME before, after;
  GetLocalTime(&before);
  LogTail tail;
  LOG(INFO) << "stamped";
  const std::string text = tail.Text();
  GetLocalTime(&after);
  _putenv_s("TZ", "");
  _tzset();

  std::smatch match;
  ASSERT_TRUE(std::regex_search(text, match, std::regex(kFullPrefix))) << text;
  const std::string stamp = match[3].str();
  EXPECT_TRUE(stamp == StampOf(before) || stamp == StampOf(after))
      << stamp << " against " << StampOf(before) << " (" << runtime_zone
      << " in the C runtime)";
}

TEST(LoggingTest, VerboseRecordsAboveTheLevelAreNotWritten) {
  LogTail tail;
  VLOG(3) << "too verbose";
  VLOG_IF(2, false) << "not wanted";
  EXPECT_EQ("", tail.Text());
  EXPECT_EQ(2, GetVlogVerbosity());
}

TEST(LoggingTest, OnlyErrorAndAboveGoToStandardError) {
  LogTail tail;
  ScopedStderrCapture capture;
  LOG(WARNING) << "warning only in the file";
  LOG(ERROR) << "error everywhere";
  const std::string err = capture.Finish();

  EXPECT_EQ(std::string::npos, err.find("warning only in the file"));
  const std::vector<std::string> lines = SplitLines(err);
  ASSERT_EQ(1u, lines.size()) << err;
  EXPECT_TRUE(std::regex_search(
      lines[0], std::regex(std::string(kFullPrefix) + "error everywhere$")));
  EXPECT_NE(std::string::npos, tail.Text().find("warning only in the file"));
}

TEST(LoggingTest, DefaultItemsAreTimestampOnly) {
  LogTail tail;
  SetLogItems(false, false, true, false);
  LOG(WARNING) << "short";
  SetLogItems(true, true, true, true);
  EXPECT_TRUE(std::regex_match(
      tail.Text(),
      std::regex(R"(\[\d{4}/\d{6}:WARNING:logging_unittest\.cc\(\d+\)\] short\n)")));
}

TEST(LoggingTest, WideTextIsWrittenAsUtf8) {
  LogTail tail;
  LOG(INFO) << L"caf\u00e9 " << std::wstring(L"\u4e2d");
  const std::string text = tail.Text();
  EXPECT_NE(std::string::npos, text.find("caf\xc3\xa9 \xe4\xb8\xad\n")) << text;
}

TEST(LoggingTest, LoggingKeepsTheLastErrorCode) {
  SetLastError(1234);
  LOG(INFO) << "keeps the code";
  EXPECT_EQ(1234u, GetLastError());
  SetLastError(ERROR_FILE_NOT_FOUND);
  PLOG(WARNING) << "also with an error text";
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(LoggingTest, LastErrorCodeSurvivesAFailedFileOpen) {
  LoggingSettings settings;
  const std::wstring missing = TempFolder() + L"qv_no_such_folder\\x\\y.log";
  settings.log_file = missing.c_str();
  EXPECT_FALSE(InitLogging(settings));

  SetLastError(4321);
  LOG(INFO) << "goes nowhere";
  EXPECT_EQ(4321u, GetLastError());

  const std::wstring path = LoggingEnvironment::log_path();
  settings.log_file = path.c_str();
  EXPECT_TRUE(InitLogging(settings));
}

TEST(LoggingTest, Win32ErrorTextIsAppended) {
  LogTail tail;
  SetLastError(ERROR_ACCESS_DENIED);
  PLOG(ERROR) << "opening";
  // A code without a message text.
  SetLastError(0x2000FFFF);
  PLOG(ERROR) << "odd";
  const std::vector<std::string> lines = SplitLines(tail.Text());
  ASSERT_EQ(2u, lines.size());
  // The system's text, without its trailing line break.
  EXPECT_TRUE(std::regex_search(lines[0], std::regex(R"(\] opening: \S.*\S$)")))
      << lines[0];
  EXPECT_TRUE(std::regex_search(
      lines[1],
      std::regex(R"(\] odd: Error \d+ while retrieving error 536936447$)")))
      << lines[1];
}

TEST(LoggingTest, MutexIsNamedFromTheFirstLogPathAndKept) {
  std::wstring name = LoggingEnvironment::log_path();
  std::replace(name.begin(), name.end(), L'\\', L'/');
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, (L"Global\\" + name).c_str());
  ASSERT_NE(nullptr, mutex);
  CloseHandle(mutex);

  const std::wstring other = UniqueTempPath(L"other.log");
  LoggingSettings settings;
  settings.log_file = other.c_str();
  ASSERT_TRUE(InitLogging(settings));
  LOG(INFO) << "into the other file";
  EXPECT_EQ(other, GetLogFileFullPath());
  std::wstring other_name = other;
  std::replace(other_name.begin(), other_name.end(), L'\\', L'/');
  EXPECT_EQ(nullptr,
            OpenMutexW(SYNCHRONIZE, FALSE, (L"Global\\" + other_name).c_str()));

  const std::wstring path = LoggingEnvironment::log_path();
  settings.log_file = path.c_str();
  ASSERT_TRUE(InitLogging(settings));
  EXPECT_NE(std::string::npos,
            ReadWholeFile(other).find("] into the other file\n"));
  CloseLogFile();
  DeleteFileW(other.c_str());
}

TEST(LoggingTest, DeleteOldStartsAnEmptyFile) {
  const std::wstring path = UniqueTempPath(L"fresh.log");
  LoggingSettings settings;
  settings.log_file = path.c_str();
  ASSERT_TRUE(InitLogging(settings));
  LOG(INFO) << "old record";
  settings.delete_old = DELETE_OLD_LOG_FILE;
  ASSERT_TRUE(InitLogging(settings));
  LOG(INFO) << "new record";
  const std::string text = ReadWholeFile(path);
  EXPECT_EQ(std::string::npos, text.find("old record"));
  EXPECT_NE(std::string::npos, text.find("new record"));

  const std::wstring main_path = LoggingEnvironment::log_path();
  settings.log_file = main_path.c_str();
  settings.delete_old = APPEND_TO_OLD_LOG_FILE;
  ASSERT_TRUE(InitLogging(settings));
  DeleteFileW(path.c_str());
}

// Records written by other threads while the log set-up changes the file
// must each land whole, in one of the files, exactly once.
TEST(LoggingTest, SetUpIsSafeAgainstConcurrentRecords) {
  const std::wstring first = UniqueTempPath(L"race_a.log");
  const std::wstring second = UniqueTempPath(L"race_b.log");
  DeleteFileW(first.c_str());
  DeleteFileW(second.c_str());

  const int kThreads = 4;
  const int kRecordsPerThread = 400;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &go] {
      while (!go) std::this_thread::yield();
      for (int i = 0; i < kRecordsPerThread; ++i)
        LOG(INFO) << "race " << t << " " << i;
    });
  }
  go = true;
  LoggingSettings settings;
  for (int round = 0; round < 60; ++round) {
    settings.log_file = (round % 2 ? first : second).c_str();
    InitLogging(settings);
  }
  for (std::thread& thread : threads) thread.join();

  const std::wstring main_path = LoggingEnvironment::log_path();
  settings.log_file = main_path.c_str();
  ASSERT_TRUE(InitLogging(settings));

  std::vector<int> seen(kThreads * kRecordsPerThread, 0);
  const std::regex record(std::string(kFullPrefix) + R"(race (\d+) (\d+)$)");
  for (const std::wstring& path : {first, second, main_path}) {
    for (const std::string& line : SplitLines(ReadWholeFile(path))) {
      if (line.find("] race ") == std::string::npos) continue;
      std::smatch match;
      ASSERT_TRUE(std::regex_match(line, match, record)) << line;
      ++seen[std::stoi(match[8]) * kRecordsPerThread + std::stoi(match[9])];
    }
  }
  EXPECT_EQ(std::vector<int>(seen.size(), 1), seen);
  DeleteFileW(first.c_str());
  DeleteFileW(second.c_str());
}

bool g_swallow_records = false;
std::vector<std::string>* g_handled_records = nullptr;

bool RecordingHandler(int, const char*, int, size_t message_start,
                      const std::string& str) {
  if (g_handled_records) g_handled_records->push_back(str.substr(message_start));
  return g_swallow_records;
}

TEST(LoggingTest, SwallowingHandlerStopsAllOutputEvenForFatal) {
  std::vector<std::string> handled;
  g_handled_records = &handled;
  g_swallow_records = true;
  SetLogMessageHandler(&RecordingHandler);
  LogTail tail;
  ScopedStderrCapture capture;
  LOG(ERROR) << "swallowed";
  LOG(FATAL) << "swallowed fatal";
  const std::string err = capture.Finish();
  SetLogMessageHandler(nullptr);
  g_handled_records = nullptr;

  EXPECT_EQ("", tail.Text());
  EXPECT_EQ("", err);
  EXPECT_EQ((std::vector<std::string>{"swallowed\n", "swallowed fatal\n"}),
            handled);
}

std::string* g_asserted = nullptr;
void RecordingAssertHandler(const std::string& str) {
  if (g_asserted) *g_asserted = str;
}

TEST(LoggingTest, AssertHandlerTakesAFailedCheckWithoutADebugger) {
  ASSERT_FALSE(IsDebuggerPresent());
  std::string asserted;
  g_asserted = &asserted;
  SetLogAssertHandler(&RecordingAssertHandler);
  LogTail tail;
  ScopedStderrCapture capture;
  const int a = 1;
  const int b = 2;
  CHECK_EQ(a, b) << " more";
  CHECK(a == 1) << "not written";
  CHECK(a > b);
  capture.Finish();
  SetLogAssertHandler(nullptr);
  g_asserted = nullptr;

  const std::vector<std::string> lines = SplitLines(tail.Text());
  ASSERT_EQ(2u, lines.size());
  EXPECT_TRUE(std::regex_search(
      lines[0], std::regex(R"(:FATAL:[^\]]+\] Check failed: a == b \(1 vs\. 2\) more$)")))
      << lines[0];
  EXPECT_TRUE(std::regex_search(
      lines[1], std::regex(R"(:FATAL:[^\]]+\] Check failed: a > b\. $)")))
      << lines[1];
  EXPECT_EQ(lines[1] + "\n", asserted);
}

TEST(LoggingTest, CheckOpTextsNameBothValues) {
  EXPECT_EQ(nullptr, CheckEQImpl(3, 3, "x == y"));
  struct Case {
    std::unique_ptr<std::string> result;
    const char* expected;
  };
  const Case kCases[] = {
      {CheckEQImpl(1, 2, "a == b"), "a == b (1 vs. 2)"},
      {CheckNEImpl(5u, 5u, "n != m"), "n != m (5 vs. 5)"},
      {CheckLTImpl(-1, -7, "p < q"), "p < q (-1 vs. -7)"},
      {CheckGEImpl(int64_t{1} << 40, int64_t{1} << 41, "big >= bigger"),
       "big >= bigger (1099511627776 vs. 2199023255552)"},
  };
  for (const Case& c : kCases) {
    ASSERT_NE(nullptr, c.result);
    EXPECT_EQ(c.expected, *c.result);
  }
}

TEST(LoggingTest, MinimumLevelFiltersButNeverFatal) {
  const int saved_level = GetMinLogLevel();
  SetLogAssertHandler(&RecordingAssertHandler);
  LogTail tail;
  ScopedStderrCapture capture;
  SetMinLogLevel(10);
  EXPECT_EQ(LOG_ERROR_REPORT, GetMinLogLevel());
  LOG(ERROR) << "filtered";
  LOG(FATAL) << "fatal passes";
  CHECK(saved_level > 100) << "check passes";
  SetMinLogLevel(saved_level);
  capture.Finish();
  SetLogAssertHandler(nullptr);

  const std::vector<std::string> lines = SplitLines(tail.Text());
  ASSERT_EQ(2u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find(":FATAL:"));
  EXPECT_NE(std::string::npos, lines[0].find("] fatal passes"));
  EXPECT_NE(std::string::npos,
            lines[1].find("] Check failed: saved_level > 100. check passes"));
}


int g_evaluations = 0;
int CountedValue() {
  ++g_evaluations;
  return 1;
}

// Debug checks compile in every build but evaluate only when switched on.
TEST(LoggingTest, DebugChecksEvaluateOnlyWhenOn) {
  g_evaluations = 0;
  DCHECK(CountedValue() == 1) << "text";
  DCHECK_EQ(CountedValue(), 1);
  DLOG(INFO) << CountedValue();
  EXPECT_EQ(DCHECK_IS_ON() ? 3 : 0, g_evaluations);
}

TEST(LoggingTest, ChecksBindNoForeignElse) {
  bool else_taken = false;
  const int one = 1;
  if (one == 2)
    CHECK_EQ(one, 1);
  else
    else_taken = true;
  EXPECT_TRUE(else_taken);
}


std::string* g_reported = nullptr;
void RecordingReportHandler(const std::string& str) {
  if (g_reported) *g_reported = str;
}

TEST(LoggingTest, ErrorReportGoesToTheReportHandlerAndGoesOn) {
  std::string reported;
  g_reported = &reported;
  SetLogReportHandler(&RecordingReportHandler);
  LogTail tail;
  ScopedStderrCapture capture;
  LOG(ERROR_REPORT) << "shown to a person";
  const std::string err = capture.Finish();
  SetLogReportHandler(nullptr);
  g_reported = nullptr;

  EXPECT_TRUE(std::regex_match(
      reported, std::regex(std::string(kFullPrefix) + "shown to a person\n")))
      << reported;
  EXPECT_EQ(reported, err);
  EXPECT_EQ(reported, tail.Text());
  // Without a handler the dialog road stays silent while dialogs are off.
  LOG(ERROR_REPORT) << "no dialog";
}

TEST(LoggingTest, RawLogEndsEachMessageWithOneLineFeed) {
  ScopedStderrCapture capture;
  RawLog(LOG_WARNING, "raw");
  RawLog(LOG_WARNING, "ends already\n");
  EXPECT_EQ("raw\nends already\n", capture.Finish());
}


// Stands in for the encryption: same byte count, different bytes.
bool RotateLetters(char* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (data[i] >= 'a' && data[i] <= 'z')
      data[i] = static_cast<char>('a' + (data[i] - 'a' + 13) % 26);
  }
  return true;
}

// An encryption that gave up half-way through the record.
bool FailHalfWay(char* data, size_t length) {
  for (size_t i = 0; i < length / 2; ++i) data[i] = '#';
  return false;
}

TEST(LoggingTest, FileRecordsPassThroughTheTransformOthersStayPlain) {
  LogTail tail;
  ScopedStderrCapture capture;
  SetLogRecordTransform(&RotateLetters);
  LOG(ERROR) << "secret";
  SetLogRecordTransform(nullptr);
  LOG(ERROR) << "plain again";
  const std::string err = capture.Finish();

  const std::vector<std::string> lines = SplitLines(tail.Text());
  ASSERT_EQ(2u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("] frperg")) << lines[0];
  EXPECT_NE(std::string::npos, lines[1].find("] plain again"));
  EXPECT_NE(std::string::npos, err.find("] secret\n"));
}

TEST(LoggingTest, RecordTheTransformFailsOnIsNotWritten) {
  LogTail tail;
  ScopedStderrCapture capture;
  SetLogRecordTransform(&FailHalfWay);
  LOG(ERROR) << "never half plain";
  SetLogRecordTransform(nullptr);
  LOG(ERROR) << "the next one";
  const std::string err = capture.Finish();

  const std::vector<std::string> lines = SplitLines(tail.Text());
  ASSERT_EQ(1u, lines.size()) << tail.Text();
  EXPECT_NE(std::string::npos, lines[0].find("] the next one"));
  // Other destinations still get it.
  EXPECT_NE(std::string::npos, err.find("] never half plain\n"));
}

}  // namespace
}  // namespace base
