// Runs a function on a thread of the base library's own and waits for the
// thread to end, its thread-local destructors included. Test-only.

#ifndef TESTING_TEST_SUPPORT_FUNCTION_THREAD_H_
#define TESTING_TEST_SUPPORT_FUNCTION_THREAD_H_

#include <functional>
#include <utility>

#include "base/threading/platform_thread.h"

namespace test_support {

class FunctionThread : public base::PlatformThread::Delegate {
 public:
  explicit FunctionThread(std::function<void()> body)
      : body_(std::move(body)) {}
  void ThreadMain() override { body_(); }

  // False when the thread could not start.
  bool RunAndJoin() {
    base::PlatformThreadHandle handle;
    if (!base::PlatformThread::Create(0, this, &handle)) return false;
    base::PlatformThread::Join(handle);
    return true;
  }

 private:
  std::function<void()> body_;
};

}  // namespace test_support

#endif  // TESTING_TEST_SUPPORT_FUNCTION_THREAD_H_
