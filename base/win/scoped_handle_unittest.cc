#include "base/win/scoped_handle.h"

#include <string>
#include <vector>

#include "base/debugger.h"
#include "base/logging.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

std::vector<std::string>* g_records = nullptr;

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

// Keeps FATAL records from stopping the test process and remembers them.
bool CaptureRecord(int severity, const char*, int, size_t,
                   const std::string& record) {
  if (severity == LOG_FATAL && g_records) {
    g_records->push_back(record);
    return true;
  }
  return false;
}

class ScopedHandleTest : public testing::Test {
 protected:
  void SetUp() override {
    g_records = &records_;
    SetLogMessageHandler(&CaptureRecord);
  }
  void TearDown() override {
    SetLogMessageHandler(nullptr);
    g_records = nullptr;
  }

  static HANDLE NewEvent() {
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }

  // True when the only fatal record so far came from |line| of the
  // verifier with the check text.
  ::testing::AssertionResult OneFatalAt(int line) {
    const std::string where =
        ":FATAL:scoped_handle.cc(" + std::to_string(line) + ")] ";
    if (records_.size() != 1)
      return ::testing::AssertionFailure()
             << records_.size() << " fatal records";
    const std::string& record = records_[0];
    if (record.find(where + "Check failed: false. \n") == std::string::npos)
      return ::testing::AssertionFailure() << record;
    return ::testing::AssertionSuccess();
  }

  std::vector<std::string> records_;
};

TEST_F(ScopedHandleTest, OwnsClosesAndMovesWithoutComplaint) {
  HANDLE raw = NewEvent();
  {
    ScopedHandle first(raw);
    EXPECT_TRUE(first.IsValid());
    ScopedHandle second(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(raw, second.Get());
    ScopedHandle third;
    third = std::move(second);
    EXPECT_EQ(raw, third.Get());
  }
  EXPECT_TRUE(records_.empty());
  // Closed exactly once, by the last owner.
  EXPECT_FALSE(IsOpen(raw));
}

TEST_F(ScopedHandleTest, SetClosesTheOldHandleAndTakeGivesUpOwnership) {
  HANDLE old_raw = NewEvent();
  HANDLE new_raw = NewEvent();
  ScopedHandle handle(old_raw);
  handle.Set(new_raw);
  EXPECT_FALSE(IsOpen(old_raw));
  EXPECT_EQ(new_raw, handle.Take());
  EXPECT_FALSE(handle.IsValid());
  handle.Close();
  EXPECT_TRUE(IsOpen(new_raw));
  ::CloseHandle(new_raw);
  EXPECT_TRUE(records_.empty());
}

TEST_F(ScopedHandleTest, InvalidValuesAreNotOwned) {
  ScopedHandle null_handle(nullptr);
  ScopedHandle invalid(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(null_handle.IsValid());
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_EQ(nullptr, invalid.Get());
  invalid.Set(nullptr);
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_TRUE(records_.empty());
}

TEST_F(ScopedHandleTest, TakenValueCanBeOwnedAgain) {
  ScopedHandle first(NewEvent());
  HANDLE raw = first.Take();
  EXPECT_FALSE(first.IsValid());
  {
    ScopedHandle second(raw);
    EXPECT_EQ(raw, second.Get());
  }
  EXPECT_TRUE(records_.empty());
}

TEST_F(ScopedHandleTest, ReusedValueAfterTakeAndCloseIsAccepted) {
  ScopedHandle first(NewEvent());
  HANDLE raw = first.Take();
  ::CloseHandle(raw);
  // The system hands out the freed value again.
  ScopedHandle second(NewEvent());
  EXPECT_EQ(raw, second.Get());
  EXPECT_TRUE(records_.empty());
}

TEST_F(ScopedHandleTest, TwoOwnersOfOneHandleAreFatal) {
  HANDLE raw = NewEvent();
  ScopedHandle first(raw);
  {
    ScopedHandle second(raw);
    EXPECT_TRUE(OneFatalAt(46));
    second.Take();  // Stops as "not tracked by this owner".
  }
  records_.clear();
}

TEST_F(ScopedHandleTest, StoppingAnUntrackedHandleIsFatal) {
  int owner = 0;
  StopTracking(reinterpret_cast<HANDLE>(0x7654), &owner, nullptr, nullptr);
  EXPECT_TRUE(OneFatalAt(56));
}

TEST_F(ScopedHandleTest, StoppingSomeoneElsesHandleIsFatal) {
  ScopedHandle owned(NewEvent());
  int stranger = 0;
  StopTracking(owned.Get(), &stranger, nullptr, nullptr);
  EXPECT_TRUE(OneFatalAt(61));
}

TEST_F(ScopedHandleTest, FailedCloseIsFatal) {
  HANDLE raw = NewEvent();
  {
    ScopedHandle owned(raw);
    ::CloseHandle(raw);  // Behind the owner's back.
  }
  EXPECT_TRUE(OneFatalAt(136));
}

// Without a handler, a fatal record stops the process.
TEST(ScopedHandleDeathTest, TwoOwnersStopTheProcess) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_DEATH(
      {
        SetSuppressDebugUI(true);  // End at once instead of at the trap.
        HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ScopedHandle first(raw);
        ScopedHandle second(raw);
      },
      "scoped_handle.cc\\(46\\)\\] Check failed: false\\.");
}

}  // namespace
}  // namespace win
}  // namespace base
