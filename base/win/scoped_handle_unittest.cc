#include "base/win/scoped_handle.h"

#include <gtest/gtest.h>

#include <utility>

namespace base {
namespace win {
namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(ScopedHandleTest, ClosesWhatItOwnsOnce) {
  HANDLE raw = NewEvent();
  {
    ScopedHandle first(raw);
    ScopedHandle second(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(second.Get(), raw);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));
}

TEST(ScopedHandleTest, SetClosesTheOldHandleAndTakeGivesUpOwnership) {
  HANDLE old_raw = NewEvent();
  HANDLE new_raw = NewEvent();
  ScopedHandle handle(old_raw);
  handle.Set(new_raw);
  EXPECT_FALSE(IsOpen(old_raw));
  EXPECT_EQ(handle.Take(), new_raw);
  EXPECT_FALSE(handle.IsValid());
  handle.Close();
  EXPECT_TRUE(IsOpen(new_raw));
  CloseHandle(new_raw);
}

TEST(ScopedHandleTest, NullAndInvalidValueMeanNoHandle) {
  ScopedHandle handle(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(handle.IsValid());
  EXPECT_EQ(handle.Get(), nullptr);
  handle.Set(nullptr);
  EXPECT_FALSE(handle.IsValid());
}

}  // namespace
}  // namespace win
}  // namespace base
