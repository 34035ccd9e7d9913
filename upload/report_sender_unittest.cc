#include "upload/report_sender.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace {

// A checkpoint file in a fresh folder of its own, removed afterwards.
class ReportSenderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    checkpoint_ = folder_.Path(L"checkpoint");
  }

  void WriteCheckpoint(const std::string& bytes) {
    FILE* file = _wfopen(checkpoint_.c_str(), L"wb");
    ASSERT_NE(nullptr, file);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }

  // A sender whose transport answers |ok| and |status| and counts calls.
  ReportSender::Options FakeOptions(bool ok, int status) {
    ReportSender::Options options;
    options.today = [this] { return today_; };
    options.transport = [this, ok, status](
                            const std::wstring&, const http_upload::StringMap&,
                            const http_upload::StringMap&,
                            const http_upload::StringMap&,
                            const int* timeout_ms, std::wstring*,
                            int* reply_status) {
      ++posts_;
      last_timeout_ms_ = timeout_ms ? *timeout_ms : -1;
      *reply_status = status;
      return ok;
    };
    return options;
  }

  int Send(ReportSender* sender) {
    std::wstring response;
    return sender->SendCrashReport(
        L"http://127.0.0.1:9/api/feedback/client/log", {{L"Cookie", L"uid=1"}},
        {}, {{L"crashInfo", L"C:\\BI.zip"}}, &response);
  }

  ScopedTempFolder folder_{L"report_sender"};
  std::wstring checkpoint_;
  int today_ = 20261210;
  int posts_ = 0;
  int last_timeout_ms_ = 0;
};

TEST_F(ReportSenderTest, ReadsWhatTheCheckpointHolds) {
  struct Case {
    const char* contents;
    int date;
    int count;
  } cases[] = {
      {"GBP1\n20261210\n3\n", 20261210, 3},
      {"GBP1\r\n20261210\r\n3\r\n", 20261210, 3},  // as text mode writes it
      {"GBP1\n20261210\n", 20261210, 0},
      {"GBP1\n20261210\nlots\n", 20261210, 0},
      {"GBP2\n20261210\n3\n", -1, 0},
      {"GBP1\nyesterday\n3\n", -1, 0},
      {"GBP1\n99999999999999999999\n3\n", -1, 0},
      {"", -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contents);
    WriteCheckpoint(c.contents);
    ReportSender sender(checkpoint_);
    EXPECT_EQ(c.date, sender.last_sent_date());
    EXPECT_EQ(c.count, sender.reports_sent());
  }
  DeleteFileW(checkpoint_.c_str());
  ReportSender missing(checkpoint_);
  EXPECT_EQ(-1, missing.last_sent_date());
  EXPECT_EQ(0, missing.reports_sent());
}

TEST_F(ReportSenderTest, DailyLimitHoldsAcrossRunsAndResetsOnANewDay) {
  ReportSender::Options options = FakeOptions(true, 200);
  options.max_reports_per_day = 2;
  {
    ReportSender sender(checkpoint_, options);
    EXPECT_EQ(kReportSent, Send(&sender));
    EXPECT_EQ(kReportSent, Send(&sender));
    EXPECT_EQ(kReportThrottled, Send(&sender));
    EXPECT_EQ(2, posts_);
  }
  {
    // A later run reads the day's count back and stays throttled.
    ReportSender sender(checkpoint_, options);
    EXPECT_EQ(20261210, sender.last_sent_date());
    EXPECT_EQ(2, sender.reports_sent());
    EXPECT_EQ(kReportThrottled, Send(&sender));
    EXPECT_EQ(2, posts_);

    today_ = 20261211;
    EXPECT_EQ(kReportSent, Send(&sender));
    EXPECT_EQ(3, posts_);
    EXPECT_EQ(1, sender.reports_sent());
  }
  ReportSender reread(checkpoint_);
  EXPECT_EQ(20261211, reread.last_sent_date());
  EXPECT_EQ(1, reread.reports_sent());
}

TEST_F(ReportSenderTest, FailedPostsAreNotCounted) {
  ReportSender::Options options = FakeOptions(false, 500);
  options.max_reports_per_day = 1;
  ReportSender sender(checkpoint_, options);
  EXPECT_EQ(kReportFailed, Send(&sender));
  EXPECT_EQ(kReportFailed, Send(&sender));
  EXPECT_EQ(2, posts_);
  EXPECT_EQ(-1, sender.last_sent_date());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(checkpoint_.c_str()));
}

TEST_F(ReportSenderTest, MapsTheOutcomeOfThePost) {
  struct Case {
    bool ok;
    int status;
    int result;
  } cases[] = {
      {true, 200, kReportSent},       {false, 400, kReportRejected},
      {false, 499, kReportRejected},  {false, 399, kReportFailed},
      {false, 500, kReportFailed},    {false, 200, kReportFailed},
      {false, 0, kReportFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    ReportSender sender(std::wstring(), FakeOptions(c.ok, c.status));
    EXPECT_EQ(c.result, Send(&sender));
  }
}

// The post gets the sender's time-out, and the sender the reporter makes
// (with the one-argument constructor, whose transport is the real one) has
// a finite one.
TEST_F(ReportSenderTest, AlwaysPostsWithAFiniteTimeOut) {
  ReportSender sender(std::wstring(), FakeOptions(true, 200));
  Send(&sender);
  EXPECT_EQ(sender.timeout_ms(), last_timeout_ms_);
  EXPECT_EQ(ReportSender::kDefaultTimeoutMs, last_timeout_ms_);
  const ReportSender reporters{std::wstring()};
  EXPECT_GT(reporters.timeout_ms(), 0);
  EXPECT_LE(reporters.timeout_ms(), 5 * 60 * 1000);
}

}  // namespace
