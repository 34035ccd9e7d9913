#include "quillavera_crash_reporter/bi_records.h"

#include <memory>
#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "json/json.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "qzcrypto/crypt_file_helper.h"
#include "testing/crash_common/temp_app_data.h"
#include "upload/text_helpers.h"

namespace {

const char kAnalysis[] =
    "Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE\r\n"
    "Crash address: 0x10\r\n"
    "\r\n"
    "Thread 0 (crashed)\r\n"
    " 0  client.exe + 0x1a2b\r\n"
    "    rip = 0x0000000140001a2b\r\n"
    "    Found by: given as instruction pointer in context\r\n"
    " 1  client.exe + 0x2000\r\n";

CrashInfoParams Params() {
  return {{"appChannel", "stable"},   {"appVersion", "3.2.1"},
          {"appPlatform", "win64"},   {"buildVersion", "3201"},
          {"patchVersion", "7"},      {"host", "127.0.0.1:80"},
          {"model", "XPS"},           {"brand", "Dell"},
          {"osVersion", "10.0"},      {"startTime", "09:00"},
          {"GPU", "Iris"},            {"crashTime", "2026-12-10T10:00:00"},
          {"processInfo", "process:7 type:main,memory:5MB; "},
          {"searchTags", MakeSearchTags("main", 7, "t0")},
          {"trackid", "0"},           {"resource", "bucket/key.zip"}};
}

// Parses one record line: time, kind and the JSON object.
struct Record {
  std::string time, kind;
  Json::Value object;
};

::testing::AssertionResult ParseRecord(const std::string& line, Record* out) {
  const size_t first = line.find('\x01');
  const size_t second = line.find('\x01', first + 1);
  if (first == std::string::npos || second == std::string::npos)
    return ::testing::AssertionFailure() << "no separators: " << line;
  out->time = line.substr(0, first);
  out->kind = line.substr(first + 1, second - first - 1);
  const std::string json = line.substr(second + 1);
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  if (!reader->parse(json.data(), json.data() + json.size(), &out->object,
                     &errors))
    return ::testing::AssertionFailure() << errors << " in " << json;
  return ::testing::AssertionSuccess();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0, end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  EXPECT_EQ(text.size(), start) << "text ends inside a line";
  return lines;
}

class BiRecordsTest : public TempAppDataTest {
 protected:
  void SetUp() override {
    TempAppDataTest::SetUp();
    analysis_ = dir_.value() + L"\\dump_analyse_result.txt";
    Write(analysis_, kAnalysis);
  }
  static std::string ReadPlain() {
    std::string bytes;
    EXPECT_TRUE(base::ReadFileToString(
        base::FilePath(GetBiLogBackupPath() + L"de"), &bytes));
    return bytes;
  }

  std::wstring analysis_;
};

TEST_F(BiRecordsTest, PlainAsciiRecordsAreTheFixedFormat) {
  CrashBiWriter writer;
  const std::wstring records =
      MakeCrashBiRecords(&writer, 1765360000, analysis_, Params(), L"");
  const std::string tags = "{\\\"process\\\": \\\"main_7_t0\\\"}";
  const std::string expected =
      "1765360000\x01mobile_monitor\x01{\"language\": \"Native\", "
      "\"type\": \"Crash\", \"mspm\": \"NativeApplication\", "
      "\"category\": \"Error\", \"_model\": \"Iris\", \"_brand\": "
      "\"Dell_XPS\", \"searchTags\": \"" + tags + "\", \"appVersion\": "
      "\"3.2.1\", \"buildver\": \"3201\", \"patchversion\": \"7\", "
      "\"osVersion\": \"10.0\", \"startTime\": \"09:00\", \"crashTime\": "
      "\"2026-12-10T10:00:00\", \"_appChannel\": \"stable\", \"runtime\": "
      "\"win64\", \"resource\": \"bucket/key.zip\", \"message\": "
      "\"Crash reason:  EXCEPTION_ACCESS_VIOLATION_WRITE,Crash address: "
      "0x10\", \"page\": \"client.e\", \"stackTrace\": \"Thread 0 "
      "(crashed)\\n  0  client.exe + 0x1a2b\\n     rip = "
      "0x0000000140001a2b,\\n process:7 type:main,memory:5MB; \\n\"}\n"
      "1765360000\x01" "crash\x01{\"searchTags\": \"" + tags + "\", "
      "\"crashdata\": \"bucket/key.zip\", \"trackid\": \"0\", "
      "\"patchversion\": \"7\", \"crashinfo\": \"Crash reason:  "
      "EXCEPTION_ACCESS_VIOLATION_WRITE,Thread 0 (crashed), 0  client.exe + "
      "0x1a2b,\"}\n";
  EXPECT_EQ(expected, BiRecordBytes(records));
  std::wstring page;
  writer.GetCrashPage(&page);
  EXPECT_EQ(L"client.e", page);
}

TEST_F(BiRecordsTest, OddValuesStillGiveValidJson) {
  CrashInfoParams params = Params();
  // Quotes, backslashes, a control character, a character above 0xFF and
  // one outside the basic plane (Latin-1 is written a byte a character).
  const std::string odd = "a\"b\\c\td \xe2\x9c\x93 \xf0\x9f\x98\x80 \\n";
  for (const char* key : {"GPU", "appVersion", "resource", "trackid",
                          "processInfo", "crashTime"})
    params[key] = odd;
  params["searchTags"] = MakeSearchTags("ren\"der\\er", 7, odd);
  CrashBiWriter writer;
  const std::string bytes = BiRecordBytes(
      MakeCrashBiRecords(&writer, 5, analysis_, params, L""));
  const std::vector<std::string> lines = Lines(bytes);
  ASSERT_EQ(2u, lines.size());
  Record monitor, crash;
  ASSERT_TRUE(ParseRecord(lines[0], &monitor));
  ASSERT_TRUE(ParseRecord(lines[1], &crash));
  EXPECT_EQ("mobile_monitor", monitor.kind);
  EXPECT_EQ("crash", crash.kind);
  EXPECT_EQ("5", crash.time);
  EXPECT_EQ(odd, monitor.object["_model"].asString());
  EXPECT_EQ(odd, monitor.object["appVersion"].asString());
  EXPECT_EQ(odd, crash.object["crashdata"].asString());
  EXPECT_EQ(odd, crash.object["trackid"].asString());
  EXPECT_NE(std::string::npos,
            monitor.object["stackTrace"].asString().find("\n " + odd + "\n"))
      << monitor.object["stackTrace"].asString();
  // searchTags is JSON inside the string, and decodes once more.
  Json::Value tags;
  Json::Reader reader;
  ASSERT_TRUE(reader.parse(crash.object["searchTags"].asString(), tags));
  EXPECT_EQ("ren\"der\\er_7_" + odd, tags["process"].asString());
}

TEST_F(BiRecordsTest, MissingAnalysisGivesTheDefaultTextAsValidJson) {
  CrashBiWriter writer;
  const std::string bytes = BiRecordBytes(MakeCrashBiRecords(
      &writer, 5, dir_.value() + L"\\gone.txt", Params(), L""));
  const std::vector<std::string> lines = Lines(bytes);
  ASSERT_EQ(2u, lines.size());
  Record monitor, crash;
  ASSERT_TRUE(ParseRecord(lines[0], &monitor));
  ASSERT_TRUE(ParseRecord(lines[1], &crash));
  EXPECT_EQ("UNKNOWN", monitor.object["page"].asString());
  EXPECT_EQ("", crash.object["crashinfo"].asString());
}

TEST_F(BiRecordsTest, RecordsAreAppendedBehindEarlierOnesInANewLogFolder) {
  CrashBiWriter writer;
  WriteCrashBiRecord(&writer, analysis_, Params(), L"");
  // A record holding a character the old wide stream could not write.
  CrashInfoParams params = Params();
  params["GPU"] = "\xe2\x9c\x93";
  WriteCrashBiRecord(&writer, analysis_, params, L"");
  const std::vector<std::string> lines = Lines(ReadPlain());
  ASSERT_EQ(4u, lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    Record record;
    ASSERT_TRUE(ParseRecord(lines[i], &record)) << i;
    EXPECT_EQ(i % 2 ? "crash" : "mobile_monitor", record.kind);
  }
  Record last;
  ASSERT_TRUE(ParseRecord(lines[2], &last));
  EXPECT_EQ("\xe2\x9c\x93", last.object["_model"].asString());
}

std::string Encrypted(std::string bytes) {
  EXPECT_EQ(0, CryptFileHelper::GetInstance()->ForceEncryptBuffer(bytes));
  return bytes;
}

// A backup left unsent (its post failed, and the next start could not hand
// it to the BI log) holds records the plain file does not: they must stay.
TEST_F(BiRecordsTest, RecordsJoinWhatAnUnsentBackupHolds) {
  const std::wstring backup = GetBiLogBackupPath();
  const std::string earlier = "1\x01" "crash\x01{\"run\": \"1\"}\n";
  ASSERT_TRUE(base::CreateDirectory(base::FilePath(backup).DirName()));
  Write(backup, Encrypted(earlier));
  CrashBiWriter writer;
  WriteMemoryMonitorRecord(&writer, 1, 42, 60, {7});
  const std::string record = ReadPlain();
  std::string kept;
  ASSERT_TRUE(base::ReadFileToString(base::FilePath(backup), &kept));
  EXPECT_EQ(Encrypted(earlier + record), kept);
  // Without a backup, the backup is the plain file encrypted.
  ASSERT_TRUE(base::Delete(base::FilePath(backup), false));
  WriteMemoryMonitorRecord(&writer, 1, 42, 60, {8});
  std::string rewritten;
  ASSERT_TRUE(base::ReadFileToString(base::FilePath(backup), &rewritten));
  EXPECT_EQ(Encrypted(ReadPlain()), rewritten);
}

bool UnknownAppData(std::wstring*) { return false; }

TEST_F(BiRecordsTest, NothingIsWrittenWithoutADataFolder) {
  SetAppDataFolderQueryForTesting(&UnknownAppData);
  EXPECT_FALSE(AppendBiRecords(L"1\x01" L"crash\x01{}\n"));
  // Joined to "", the plain file would be "de" in the working folder.
  EXPECT_FALSE(base::PathExists(base::FilePath(L"de")));
}

TEST_F(BiRecordsTest, ExtraInformationFollowsTheProcessInformation) {
  const std::wstring extra = dir_.value() + L"\\extra.txt";
  Write(extra, "gpu \"hung\"\nline two\n");
  CrashBiWriter writer;
  Record monitor;
  ASSERT_TRUE(ParseRecord(
      Lines(BiRecordBytes(MakeCrashBiRecords(&writer, 5, analysis_, Params(),
                                             extra)))[0],
      &monitor));
  EXPECT_NE(std::string::npos,
            monitor.object["stackTrace"].asString().find(
                "memory:5MB; \ngpu \"hung\"line two"));
}

TEST_F(BiRecordsTest, MemoryMonitorRecord) {
  EXPECT_EQ(L"", MakeMemoryMonitorRecord(5, 1, 2, 3, {}));
  EXPECT_EQ(
      "9\x01" "error\x01{\"errorType\": \"MemoryMonitor\", \"processType\": "
      "\"1\", \"processID\": \"42\", \"period\": \"60\", \"memory\": "
      "\"100_250_4000000000\"}\n",
      BiRecordBytes(
          MakeMemoryMonitorRecord(9, 1, 42, 60, {100, 250, 4000000000u})));
  CrashBiWriter writer;
  WriteMemoryMonitorRecord(&writer, 1, 42, 60, {});
  EXPECT_FALSE(base::PathExists(base::FilePath(GetBiLogBackupPath() + L"de")));
  WriteMemoryMonitorRecord(&writer, 1, 42, 60, {7});
  Record record;
  ASSERT_TRUE(ParseRecord(Lines(ReadPlain())[0], &record));
  EXPECT_EQ("7", record.object["memory"].asString());
}

TEST(BiRecordBytesTest, UnitsUpTo0xFFAreBytesOthersUtf8) {
  EXPECT_EQ(std::string("a\xe9\xff\x01", 4), BiRecordBytes(L"a\u00e9\u00ff\x01"));
  EXPECT_EQ("\xe2\x9c\x93", BiRecordBytes(L"\u2713"));
  EXPECT_EQ("\xf0\x9f\x98\x80", BiRecordBytes(L"\xd83d\xde00"));
}

}  // namespace
