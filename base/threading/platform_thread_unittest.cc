#include "base/threading/platform_thread.h"

#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <string>

#include "base/threading/thread_id_name_manager.h"
#include "base/time.h"
#include "base/tracked_objects.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Records what it saw on its thread; optionally names itself and then
// waits for |release| so the name can be read from outside.
class Recorder : public PlatformThread::Delegate {
 public:
  explicit Recorder(const char* name = nullptr)
      : name_(name),
        named_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        release_(CreateEventW(nullptr, TRUE, !name, nullptr)) {}
  ~Recorder() override {
    CloseHandle(named_);
    CloseHandle(release_);
  }

  void ThreadMain() override {
    id_ = PlatformThread::CurrentId();
    name_before_ = PlatformThread::GetName();
    if (name_) PlatformThread::SetName(name_);
    name_after_ = PlatformThread::GetName();
    SetEvent(named_);
    WaitForSingleObject(release_, INFINITE);
    ran_ = true;
  }

  const char* name_;
  HANDLE named_;
  HANDLE release_;
  std::atomic<PlatformThreadId> id_{0};
  std::string name_before_;
  std::string name_after_;
  std::atomic<bool> ran_{false};
};

TEST(PlatformThreadTest, CreateJoinAndName) {
  Recorder recorder("worker-one");
  PlatformThreadHandle handle;
  ASSERT_TRUE(PlatformThread::Create(0, &recorder, &handle));
  EXPECT_FALSE(handle.is_null());
  EXPECT_EQ(0u, handle.id);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(recorder.named_, 10000));
  // The name is registered under the thread's id while it runs.
  EXPECT_STREQ("worker-one",
               ThreadIdNameManager::GetInstance()->GetName(recorder.id_));
  SetEvent(recorder.release_);
  PlatformThread::Join(handle);
  EXPECT_TRUE(recorder.ran_);
  EXPECT_NE(PlatformThread::CurrentId(), recorder.id_.load());
  EXPECT_EQ("", recorder.name_before_);
  EXPECT_EQ("worker-one", recorder.name_after_);
  // Forgotten once the thread has ended.
  EXPECT_STREQ("", ThreadIdNameManager::GetInstance()->GetName(recorder.id_));
  // The task tracker gave the thread a record under that name.
  EXPECT_TRUE(ThreadData::TrackingStatus());
}

TEST(PlatformThreadTest, StackSizePriorityAndNonJoinable) {
  Recorder sized;
  PlatformThreadHandle handle;
  ASSERT_TRUE(PlatformThread::CreateWithPriority(
      256 * 1024, &sized, &handle, kThreadPriority_RealtimeAudio));
  PlatformThread::Join(handle);
  EXPECT_TRUE(sized.ran_);

  Recorder loose;
  ASSERT_TRUE(PlatformThread::CreateNonJoinable(0, &loose));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(loose.named_, 10000));

  // A joinable thread needs somewhere to put its handle.
  Recorder unused;
  EXPECT_FALSE(PlatformThread::Create(0, &unused, nullptr));
  EXPECT_FALSE(PlatformThread::CreateWithPriority(0, &unused, nullptr,
                                                  kThreadPriority_Normal));
  EXPECT_FALSE(unused.ran_);
}

TEST(PlatformThreadTest, MainThreadNameAndSleep) {
  PlatformThread::SetName("BrokerEvent");
  EXPECT_STREQ("BrokerEvent", PlatformThread::GetName());
  PlatformThread::SetName("main");
  EXPECT_STREQ("main", PlatformThread::GetName());

  const TimeTicks start = TimeTicks::Now();
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(30));
  EXPECT_GE((TimeTicks::Now() - start).InMilliseconds(), 30);
  PlatformThread::YieldCurrentThread();
}

// What the debugger would read from the naming exception.
struct SeenName {
  int count = 0;
  DWORD arguments = 0;
  ULONG_PTR type = 0;
  std::string name;
  ULONG_PTR thread_id = 0;
};
SeenName g_seen;

LONG CALLBACK WatchThreadName(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != 0x406D1388) return EXCEPTION_CONTINUE_SEARCH;
  ++g_seen.count;
  g_seen.arguments = record->NumberParameters;
  // The record's fields as packed on a 64-bit stack: type, name pointer,
  // then the thread id in the low half of the third argument.
  g_seen.type = record->ExceptionInformation[0] & 0xFFFFFFFF;
  g_seen.name = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
  g_seen.thread_id = record->ExceptionInformation[2] & 0xFFFFFFFF;
  return EXCEPTION_CONTINUE_SEARCH;  // the thread layer swallows it
}

// Pretends a debugger is attached, as IsDebuggerPresent reads it.
class FakeDebugger {
 public:
  FakeDebugger() {
    // The process block's address sits at gs:0x60 on 64-bit Windows.
    __asm__("movq %%gs:0x60, %0" : "=r"(peb_));
    peb_->BeingDebugged = 1;
  }
  ~FakeDebugger() { peb_->BeingDebugged = 0; }

 private:
  PEB* peb_;
};

TEST(PlatformThreadTest, NameReachesAnAttachedDebugger) {
  PVOID watcher = AddVectoredExceptionHandler(1, &WatchThreadName);
  ASSERT_NE(nullptr, watcher);

  PlatformThread::SetName("no-debugger");
  EXPECT_EQ(0, g_seen.count);

  {
    FakeDebugger debugger;
    ASSERT_TRUE(IsDebuggerPresent());
    PlatformThread::SetName("seen-by-debugger");
  }
  RemoveVectoredExceptionHandler(watcher);
  ASSERT_EQ(1, g_seen.count);
  // Three pointer-sized arguments: no reading past the record.
  EXPECT_EQ(3u, g_seen.arguments);
  EXPECT_EQ(0x1000u, g_seen.type);
  EXPECT_EQ("seen-by-debugger", g_seen.name);
  EXPECT_EQ(GetCurrentThreadId(), g_seen.thread_id);
  EXPECT_STREQ("seen-by-debugger", PlatformThread::GetName());
}

}  // namespace
}  // namespace base
