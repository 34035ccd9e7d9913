#include "quillavera_crash_reporter/ipc_notice_queue.h"

IpcNoticeQueue::IpcNoticeQueue(SendFunction send)
    : send_(send), idle_(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

IpcNoticeQueue::~IpcNoticeQueue() { Flush(INFINITE); }

void IpcNoticeQueue::Post(int code, const std::string& data) {
  {
    base::AutoLock hold(lock_);
    notices_.emplace_back(code, data);
    ::ResetEvent(idle_.Get());
    if (draining_) return;
    draining_ = true;
  }
  if (::QueueUserWorkItem(&DrainThunk, this, WT_EXECUTELONGFUNCTION)) return;
  // No pool thread to be had: send here rather than lose the notice.
  Drain();
}

bool IpcNoticeQueue::Flush(DWORD timeout_ms) {
  return ::WaitForSingleObject(idle_.Get(), timeout_ms) == WAIT_OBJECT_0;
}

DWORD WINAPI IpcNoticeQueue::DrainThunk(void* queue) {
  static_cast<IpcNoticeQueue*>(queue)->Drain();
  return 0;
}

void IpcNoticeQueue::Drain() {
  for (;;) {
    std::pair<int, std::string> notice;
    {
      base::AutoLock hold(lock_);
      if (notices_.empty()) {
        draining_ = false;
        ::SetEvent(idle_.Get());
        return;
      }
      notice = std::move(notices_.front());
      notices_.pop_front();
    }
    send_(notice.first, notice.second);
  }
}
