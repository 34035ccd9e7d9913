// The log lock's set-up in a process of its own: no record may have been
// written before these tests run.

#include <windows.h>

#include <algorithm>
#include <string>

#include "base/logging.h"
#include "gtest/gtest.h"
#include "testing/test_support/program_beside.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace base {
namespace {

std::wstring MutexNameFor(std::wstring path) {
  std::replace(path.begin(), path.end(), L'\\', L'/');
  return L"Global\\" + path;
}

// When the set-up cannot make the mutex (its name is taken by an object of
// another kind), a later record makes it under the set-up's log file name,
// the one other processes writing that file use, not the default file's.
TEST(LoggingLockTest, MutexMissedBySetUpIsMadeLaterUnderTheLogsName) {
  ScopedTempFolder folder(L"logging_lock");
  ASSERT_TRUE(folder.valid());
  const std::wstring path = folder.Path(L"lock.log");
  const std::wstring name = MutexNameFor(path);
  HANDLE blocker = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  ASSERT_NE(nullptr, blocker);

  LoggingSettings settings;
  settings.log_file = path.c_str();
  ASSERT_TRUE(InitLogging(settings));
  EXPECT_EQ(nullptr, OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  LOG(INFO) << "while the name is taken";
  CloseHandle(blocker);
  LOG(INFO) << "once it is free";

  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
  EXPECT_NE(nullptr, mutex);
  if (mutex) CloseHandle(mutex);
  HANDLE default_mutex =
      OpenMutexW(SYNCHRONIZE, FALSE, MutexNameFor(ProgramBesideThisOne(L"debug.log")).c_str());
  EXPECT_EQ(nullptr, default_mutex);
  if (default_mutex) CloseHandle(default_mutex);

  CloseLogFile();
}

}  // namespace
}  // namespace base
