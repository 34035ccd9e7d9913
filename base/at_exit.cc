#include "base/at_exit.h"

#include <atomic>

namespace base {

namespace {
std::atomic<ExitCallbackStack*> g_top_stack{nullptr};
}  // namespace

ExitCallbackStack::ExitCallbackStack() : next_(g_top_stack.load()) {
  g_top_stack.store(this);
}

ExitCallbackStack::~ExitCallbackStack() {
  if (!g_top_stack.load()) return;
  ProcessCallbacksNow();
  g_top_stack.store(next_);
}

// static
void ExitCallbackStack::RegisterCallback(Callback function, void* param) {
  RegisterTask(BindFunction(function, param));
}

// static
void ExitCallbackStack::RegisterTask(const Closure& task) {
  ExitCallbackStack* top = g_top_stack.load();
  if (!top) return;
  AutoLock lock(top->lock_);
  top->stack_.push_back(task);
}

// static
void ExitCallbackStack::ProcessCallbacksNow() {
  ExitCallbackStack* top = g_top_stack.load();
  if (!top) return;
  AutoLock lock(top->lock_);
  while (!top->stack_.empty()) {
    // Pop before running, so that a callback registered by this one is the
    // next to run and this one never runs twice.
    Closure task = top->stack_.back();
    top->stack_.pop_back();
    task.Run();
  }
}

}  // namespace base
