#include "quillavera_crash_reporter/ipc_notice_queue.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

// A client application that takes its time: the first notice waits until
// the test lets it go.
struct SlowReceiver {
  base::LockImpl lock;
  std::vector<std::string> received;
  HANDLE release = nullptr;
  HANDLE first_arrived = nullptr;
};
SlowReceiver* g_receiver = nullptr;

void SlowSend(int code, const std::string& data) {
  bool first = false;
  {
    base::AutoLock hold(g_receiver->lock);
    first = g_receiver->received.empty();
  }
  if (first) {
    ::SetEvent(g_receiver->first_arrived);
    ::WaitForSingleObject(g_receiver->release, 30000);
  }
  base::AutoLock hold(g_receiver->lock);
  g_receiver->received.push_back(std::to_string(code) + ":" + data);
}

class IpcNoticeQueueTest : public testing::Test {
 protected:
  void SetUp() override {
    receiver_.release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    receiver_.first_arrived = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_receiver = &receiver_;
  }
  void TearDown() override {
    ::SetEvent(receiver_.release);
    queue_.Flush(30000);
    g_receiver = nullptr;
    ::CloseHandle(receiver_.release);
    ::CloseHandle(receiver_.first_arrived);
  }

  std::vector<std::string> Received() {
    base::AutoLock hold(receiver_.lock);
    return receiver_.received;
  }

  SlowReceiver receiver_;
  IpcNoticeQueue queue_{&SlowSend};
};

TEST_F(IpcNoticeQueueTest, PostingNeverWaitsForTheReceiver) {
  queue_.Post(7, "10_renderer");
  ASSERT_EQ(WAIT_OBJECT_0,
            ::WaitForSingleObject(receiver_.first_arrived, 30000));
  // The receiver is stuck on the first notice; more posts still return.
  queue_.Post(7, "11_renderer");
  queue_.Post(8, "10_renderer");
  EXPECT_FALSE(queue_.Flush(200));
  EXPECT_TRUE(Received().empty());

  ::SetEvent(receiver_.release);
  ASSERT_TRUE(queue_.Flush(30000));
  EXPECT_EQ((std::vector<std::string>{"7:10_renderer", "7:11_renderer",
                                      "8:10_renderer"}),
            Received());
}

TEST_F(IpcNoticeQueueTest, EmptyQueueIsFlushedAtOnce) {
  EXPECT_TRUE(queue_.Flush(0));
  ::SetEvent(receiver_.release);
  for (int i = 0; i < 50; ++i) queue_.Post(7, std::to_string(i));
  ASSERT_TRUE(queue_.Flush(30000));
  const std::vector<std::string> received = Received();
  ASSERT_EQ(50u, received.size());
  for (int i = 0; i < 50; ++i) EXPECT_EQ("7:" + std::to_string(i), received[i]);
}

}  // namespace
