#ifndef BASE_CALLBACK_H_
#define BASE_CALLBACK_H_

#include "base/ref_counted.h"

namespace base {

// The reference-counted state a callback runs over. Subclasses add what the
// invoker needs; the virtual destructor is the only virtual operation.
class BindStateBase : public RefCountedThreadSafeBase {
 public:
  void AddRef() const { RefCountedThreadSafeBase::AddRef(); }
  void Release() const {
    if (RefCountedThreadSafeBase::Release()) delete this;
  }

 protected:
  BindStateBase() = default;
  virtual ~BindStateBase() = default;
};

// A closure: one reference to a bound state and the function that runs it.
class CallbackBase {
 public:
  typedef void (*InvokeFunc)(BindStateBase* state);

  bool is_null() const { return !state_; }
  void Reset();
  // Same state and same invoker.
  bool Equals(const CallbackBase& other) const;

 protected:
  CallbackBase() : invoke_(nullptr) {}
  // Takes a reference to state; a null state leaves the invoker null too.
  CallbackBase(BindStateBase* state, InvokeFunc invoke);
  ~CallbackBase() = default;

  scoped_refptr<BindStateBase> state_;
  InvokeFunc invoke_;
};

// A callback taking no arguments.
class Closure : public CallbackBase {
 public:
  Closure() = default;
  Closure(BindStateBase* state, InvokeFunc invoke)
      : CallbackBase(state, invoke) {}

  // Runs the bound function; a null closure does nothing.
  void Run() const;
};

// A closure that calls function(param) when run.
Closure BindFunction(void (*function)(void*), void* param);

}  // namespace base

#endif  // BASE_CALLBACK_H_
