// Sends IPC notices one at a time, in the order they were posted, on a
// thread-pool thread. The crash server calls its connect hook while it holds
// its pipe and client list; a notice sent right there would keep every other
// client from registering for as long as the client application takes to
// answer (up to the send's bound, longer than a client waits for the pipe).
#ifndef QUILLAVERA_CRASH_REPORTER_IPC_NOTICE_QUEUE_H_
#define QUILLAVERA_CRASH_REPORTER_IPC_NOTICE_QUEUE_H_

#include <windows.h>

#include <deque>
#include <string>
#include <utility>

#include "base/lock.h"
#include "base/win/scoped_handle.h"

class IpcNoticeQueue {
 public:
  typedef void (*SendFunction)(int code, const std::string& data);

  explicit IpcNoticeQueue(SendFunction send);
  // Waits for the notices still queued to be sent.
  ~IpcNoticeQueue();
  IpcNoticeQueue(const IpcNoticeQueue&) = delete;
  IpcNoticeQueue& operator=(const IpcNoticeQueue&) = delete;

  // Returns at once; the notice goes after every notice posted before it.
  void Post(int code, const std::string& data);

  // Waits up to |timeout_ms| until every posted notice has been sent; true
  // when none is left.
  bool Flush(DWORD timeout_ms);

 private:
  static DWORD WINAPI DrainThunk(void* queue);
  void Drain();

  const SendFunction send_;
  base::LockImpl lock_;
  std::deque<std::pair<int, std::string>> notices_;
  bool draining_ = false;
  // Set while nothing is queued or being sent.
  base::win::ScopedHandle idle_;
};

#endif  // QUILLAVERA_CRASH_REPORTER_IPC_NOTICE_QUEUE_H_
