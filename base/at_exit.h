#ifndef BASE_AT_EXIT_H_
#define BASE_AT_EXIT_H_

#include <vector>

#include "base/callback.h"
#include "base/lock.h"

namespace base {

// The process-wide stack of exit callbacks. The program makes one on the
// main function's frame before anything else; when it is destroyed, the
// callbacks registered with it run last-registered first. A stack made while
// another exists shadows it until it is destroyed itself. Registrations made
// while no stack exists are dropped.
class ExitCallbackStack {
 public:
  typedef void (*Callback)(void*);

  ExitCallbackStack();
  ~ExitCallbackStack();
  ExitCallbackStack(const ExitCallbackStack&) = delete;
  ExitCallbackStack& operator=(const ExitCallbackStack&) = delete;

  // Registers function(param) with the top stack, from any thread.
  static void RegisterCallback(Callback function, void* param);
  static void RegisterTask(const Closure& task);

  // Runs the top stack's callbacks now. A callback may register further
  // callbacks; each runs once, the newest first.
  static void ProcessCallbacksNow();

 private:
  LockImpl lock_;
  std::vector<Closure> stack_;
  ExitCallbackStack* next_;
};

}  // namespace base

#endif  // BASE_AT_EXIT_H_
