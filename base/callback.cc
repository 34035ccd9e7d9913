#include "base/callback.h"

namespace base {

namespace {

class FunctionBindState : public BindStateBase {
 public:
  FunctionBindState(void (*function)(void*), void* param)
      : function_(function), param_(param) {}

  static void Invoke(BindStateBase* base) {
    FunctionBindState* state = static_cast<FunctionBindState*>(base);
    state->function_(state->param_);
  }

 private:
  ~FunctionBindState() override = default;

  void (*function_)(void*);
  void* param_;
};

}  // namespace

CallbackBase::CallbackBase(BindStateBase* state, InvokeFunc invoke)
    : state_(state), invoke_(state ? invoke : nullptr) {}

void CallbackBase::Reset() {
  state_ = nullptr;
  invoke_ = nullptr;
}

bool CallbackBase::Equals(const CallbackBase& other) const {
  return state_.get() == other.state_.get() && invoke_ == other.invoke_;
}

void Closure::Run() const {
  if (invoke_) invoke_(state_.get());
}

Closure BindFunction(void (*function)(void*), void* param) {
  return Closure(new FunctionBindState(function, param),
                 &FunctionBindState::Invoke);
}

}  // namespace base
