#include "base/lazy_instance.h"

#include "base/at_exit.h"
#include "base/threading/platform_thread.h"

namespace base {

namespace {
const uintptr_t kNone = 0;
const uintptr_t kBeingCreated = 1;
}  // namespace

bool NeedsLazyInstance(std::atomic<uintptr_t>* state) {
  uintptr_t expected = kNone;
  if (state->compare_exchange_strong(expected, kBeingCreated,
                                     std::memory_order_acq_rel))
    return true;
  WaitForInstance(state);
  return false;
}

void CompleteLazyInstance(std::atomic<uintptr_t>* state,
                          uintptr_t new_instance, void* lazy_instance,
                          void (*destructor)(void*)) {
  state->store(new_instance, std::memory_order_release);
  if (destructor) ExitCallbackStack::RegisterCallback(destructor, lazy_instance);
}

}  // namespace base
