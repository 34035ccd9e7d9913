#include "quillavera_crash_reporter/reporter_globals.h"

#include "gtest/gtest.h"

namespace {

TEST(ReportSenderGlobalTest, OneSenderUntilDestroyed) {
  EXPECT_EQ(nullptr, GetReportSender());
  ASSERT_TRUE(CreateReportSender());
  ReportSender* first = GetReportSender();
  EXPECT_NE(nullptr, first);
  EXPECT_FALSE(CreateReportSender());
  EXPECT_EQ(first, GetReportSender());
  DestroyReportSender();
  EXPECT_EQ(nullptr, GetReportSender());
  DestroyReportSender();
  EXPECT_TRUE(CreateReportSender());
  DestroyReportSender();
}

}  // namespace
